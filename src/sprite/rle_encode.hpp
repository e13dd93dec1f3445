// The run-length encoder of .ART frames, the decoder's inverse (for vostrel-pack).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vostrel {

// Encodes pixels as the run-length stream that DecodeRleSilently reads back: a fill run for
// every repeat of three or more equal bytes (two bytes for up to 127 pixels), literal runs for
// everything else. No run is empty and none is longer than kMaxRleRun.
std::vector<std::uint8_t> EncodeRle(std::span<const std::uint8_t> pixels);

// The data block of a frame of pixels.size() pixels. A raw frame is the pixels themselves. A
// run-length frame is its encoded stream, unless that stream is exactly as long as the pixels:
// a frame whose data size equals width x height is read as raw, so it is stored raw.
std::vector<std::uint8_t> EncodeFrameData(std::span<const std::uint8_t> pixels, bool raw);

}  // namespace vostrel
