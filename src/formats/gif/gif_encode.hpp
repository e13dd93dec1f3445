// Animated GIF files from plain values: one global colour table of the whole 256-colour
// palette, every frame's indices stored as given on the whole canvas, looping forever.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/indexed_image.hpp"

namespace vostrel {

// The largest canvas side a GIF can describe (its logical screen fields are 16 bits).
inline constexpr std::int32_t kGifMaxSide = 0xFFFF;

// The delay between frames in hundredths of a second for fps frames a second: rounded, and at
// least 2, as many viewers take a smaller delay for "as fast as you can".
std::uint16_t GifDelay(std::int32_t fps);

// The GIF of animation. Each frame is painted on the whole canvas (the rest the transparent
// index, or index 0 without one); with a transparent index each frame is cleared to the
// background before the next (disposal method 2). The canvas must be 1 x 1 to kGifMaxSide on
// each side and fps 1 or more, with at least one frame; throws std::invalid_argument otherwise.
std::vector<std::uint8_t> EncodeGif(const Animation& animation);

}  // namespace vostrel
