// The run-length compressed pixel data of BMPs (BI_RLE8 and BI_RLE4), which image editors
// write for a plain re-save of an indexed picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vostrel {

// Decodes a compressed BMP's pixel data into width x height indices, rows top first (the
// stream starts at the bottom row, as such a BMP stores its rows). bits is 8 (each run repeats
// one index) or 4 (each run alternates the two indices of its byte, high nibble first; absolute
// runs pack two indices a byte). Pixels the stream never writes, those skipped by a delta or
// left by an end of line or of the bitmap, are index 0. A stream that writes past the end of a
// row or of the bitmap, or ends before its end-of-bitmap mark, is refused with PictureError.
// width x height must have been checked: it is allocated as it stands.
std::vector<std::uint8_t> DecodeBmpRle(std::span<const std::uint8_t> stream, std::size_t width,
                                       std::size_t height, unsigned bits);

}  // namespace vostrel
