// Pictures as image editors save them (BMP of every kind read, PNG) for the packer's tests,
// and a reader of the converter's own BMPs.
#pragma once

#include <cstdint>
#include <span>

#include "support/art_writer.hpp"

// Writes the pictures an image editor might save, and reads back the converter's BMPs.
namespace vostrel::test {

// An 8-bit indexed picture: indices top row first, a colour table of 4-byte entries (blue,
// green, red, fourth byte).
struct IndexedPicture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  Bytes indices;
  Bytes table;
};

Bytes WriteBmp8(const IndexedPicture& picture, bool topDown = false);
// bits 1, 4 or 8, the indices packed high bits first; the whole table is written.
Bytes WriteBmpIndexed(const IndexedPicture& picture, int bits);
// A compressed BMP (bits 8: BI_RLE8, 4: BI_RLE4) of the picture's size and table, with the
// given stream as its pixel data; the picture's indices are not used.
Bytes WriteBmpRle(const IndexedPicture& picture, int bits, std::span<const std::uint8_t> stream);
// A 32-bit BMP with colour masks (red in the first byte of a pixel, then green, blue) and an
// info header of headerSize bytes, the masks inside it or, for 40, after it.
Bytes WriteBmpMasked(std::int32_t width, std::int32_t height, std::span<const std::uint8_t> rgb,
                     std::uint32_t headerSize);
// rgb: 3 bytes a pixel, top row first; bits 24 or 32 (the fourth byte written as fourth).
Bytes WriteBmpRgb(std::int32_t width, std::int32_t height, std::span<const std::uint8_t> rgb,
                  int bits, bool topDown = false, std::uint8_t fourth = 0);
// pixels: channels bytes a pixel (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA), top row first.
Bytes WritePng(std::int32_t width, std::int32_t height, int channels,
               std::span<const std::uint8_t> pixels);

// An 8-bit indexed PNG of the picture whose palette has the first `entries` entries of its table.
Bytes WritePalettePng(const IndexedPicture& picture, std::size_t entries);
// The PNG with a chunk of the given type and data added before its first data chunk.
Bytes WithPngChunk(std::span<const std::uint8_t> png, const char* type,
                   std::span<const std::uint8_t> data);
// A PNG written sample by sample: samples (a byte each, top row first, every channel of a pixel
// in turn) packed at `bits` bits, with the colour type and palette (PLTE data) given.
Bytes WritePackedPng(std::int32_t width, std::int32_t height, int bits, int colourType,
                     std::span<const std::uint8_t> samples, std::span<const std::uint8_t> plte);
// A PNG whose image data is `rows` compressed as they are: each row's filter byte and samples,
// every pass's rows in turn when interlace is 1 (Adam7). Nothing is checked, so that a test may
// give too few rows or too many.
Bytes WritePngRows(std::int32_t width, std::int32_t height, int bits, int colourType,
                   std::span<const std::uint8_t> rows, std::span<const std::uint8_t> plte,
                   int interlace = 0);
// The PNG with the data of its first chunk of the given type replaced (and its CRC made anew).
Bytes WithPngChunkData(std::span<const std::uint8_t> png, const char* type,
                       std::span<const std::uint8_t> data);
// The PNG with the length field of its first chunk of the given type set to length.
Bytes WithPngChunkLength(Bytes png, const char* type, std::uint32_t length);

// Reads an 8-bit bottom-up BMP such as the converter writes.
IndexedPicture ReadBmp8(std::span<const std::uint8_t> file);

// The colours of indices in table, channels bytes a pixel (red, green, blue, then 255).
Bytes Colours(std::span<const std::uint8_t> indices, std::span<const std::uint8_t> table,
              int channels = 3);

}  // namespace vostrel::test
