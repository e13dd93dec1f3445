// The sizes of the BMP format's headers, for the writer and for the reader of edited pictures.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/palette.hpp"

namespace vostrel {

// BITMAPFILEHEADER: type, file size, two reserved words, offset of the pixel rows.
inline constexpr std::size_t kBmpFileHeaderSize = 14;
// BITMAPINFOHEADER, the 40-byte info header (its longer successors start the same way).
inline constexpr std::size_t kBmpInfoHeaderSize = 40;
// A colour table of 256 entries in the palette layout.
inline constexpr std::size_t kBmpColourTableSize =
    static_cast<std::size_t>(kPaletteEntries) * kPaletteEntryBytes;
// Where the rows of an 8-bit BMP with a full colour table start: 1078.
inline constexpr std::uint32_t kBmpDataOffset =
    kBmpFileHeaderSize + kBmpInfoHeaderSize + kBmpColourTableSize;

}  // namespace vostrel
