// The rules about a sprite's frames that every program shares, each written once: the limits
// of a frame's size and data, whether its size makes a picture, the replacing of its pixels and
// a new frame made of pixels. (How a frame is stored and decoded is in sprite/sprite.hpp:
// StorageOf, DecodeFrame.)
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "sprite/sprite.hpp"

namespace vostrel {

// The most pixels a frame may have: width x height is a 32-bit signed product for every reader
// of the file, the converter first.
inline constexpr std::int64_t kMaxFramePixels = std::numeric_limits<std::int32_t>::max();
// The largest data block of a frame: its dataSize is a 32-bit signed word.
inline constexpr std::int64_t kMaxFrameDataSize = std::numeric_limits<std::int32_t>::max();

// What a frame's size makes of it.
enum class FrameShape {
  kPicture,   // a width and height above 0, at most kMaxFramePixels pixels: a picture
  kNoPixels,  // a width or height of 0, neither negative: decodes to no pixel at all
  kInvalid,   // a negative width or height, or more pixels than kMaxFramePixels
};
FrameShape ShapeOf(const ArtFrameHeader& header);

// Whether a frame makes a picture (ShapeOf gives kPicture): the frames that are shown, laid
// out on sheets, given layers and replaced by edited pictures. The others are kept as they are.
bool MakesPicture(const ArtFrameHeader& header);

// Gives frame width x height new indices (rows top first), stored as the frame's storage asks
// (StorageOf: a raw frame stays raw, a run-length one is encoded again; EncodeFrame), and keeps
// its other words. False, the frame untouched, when they make no picture a frame may hold: more
// pixels than kMaxFramePixels (refused before the indices are looked at), or data past
// kMaxFrameDataSize. Throws std::invalid_argument for a width or height below 1 or indices of
// another count.
bool ReplaceFramePixels(SpriteFrame& frame, std::int32_t width, std::int32_t height,
                        std::span<const std::uint8_t> indices);

// A new frame of width x height indices (top row first) with the given words, stored as storage
// asks or, without it, in whichever of the two is smaller: run-length when its stream is
// shorter than the pixels, raw otherwise (on a tie too). Nothing when its data would be larger
// than kMaxFrameDataSize.
std::optional<SpriteFrame> FrameOfPixels(std::int32_t width, std::int32_t height,
                                         std::span<const std::uint8_t> indices,
                                         std::optional<FrameStorage> storage,
                                         const ArtFrameWords& words);

}  // namespace vostrel
