// The sizes of the BMP format's headers, for the writer and for the reader of edited pictures.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sprite/palette.hpp"

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

// The words vostrel's BMPs carry. bfType: "BM".
inline constexpr std::uint16_t kBmpType = 0x4D42;
// bfReserved1 and bfReserved2 carry "qzv" and a zero byte.
inline constexpr std::uint16_t kBmpReserved1 = 'q' | ('z' << 8);
inline constexpr std::uint16_t kBmpReserved2 = 'v';
// biPlanes: 1; biBitCount: 8 bits a pixel, an index into the colour table.
inline constexpr std::uint16_t kBmpPlanes = 1;
inline constexpr std::uint16_t kBmpBitsPerPixel = 8;
// biCompression: BI_RGB, the rows as they are.
inline constexpr std::uint32_t kBmpCompressionNone = 0;
// Twelve bytes of the info header that no reader needs (biSizeImage, biXPelsPerMeter and
// biYPelsPerMeter) carry the watermark "palomexvind" and a zero byte.
inline constexpr std::array<std::uint8_t, 12> kBmpWatermark{'p', 'a', 'l', 'o', 'm', 'e',
                                                            'x', 'v', 'i', 'n', 'd', 0};
// The same twelve bytes as the three little-endian words those fields hold.
inline constexpr std::array<std::uint32_t, 3> kBmpWatermarkWords = [] {
  std::array<std::uint32_t, 3> words{};
  for (std::size_t w = 0; w < words.size(); ++w) {
    for (std::size_t b = 0; b < 4; ++b) {
      words[w] |= std::uint32_t{kBmpWatermark[w * 4 + b]} << (8 * b);
    }
  }
  return words;
}();
// Rows are padded to four bytes with the first letters of "QZV".
inline constexpr std::array<std::uint8_t, 3> kBmpPadLetters{'Q', 'Z', 'V'};

}  // namespace vostrel
