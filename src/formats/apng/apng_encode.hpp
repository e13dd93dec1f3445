// Animated PNGs of indexed frames, from plain values: an 8-bit indexed PNG (see png_encode.hpp)
// whose frames follow its first one through acTL, fcTL and fdAT chunks.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/indexed_image.hpp"
#include "formats/png/deflate.hpp"

namespace vostrel {

// An animated PNG that plays forever: every frame painted on the whole canvas, shown for
// 1 / fps seconds, then cleared (disposal to background). The canvas must be 1 x 1 or more and
// fps 1 to 65535, with at least one frame.
std::vector<std::uint8_t> EncodeApng(const Animation& animation, ZlibCompressor& compressor);

}  // namespace vostrel
