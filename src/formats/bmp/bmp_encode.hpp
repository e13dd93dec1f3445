// The bytes of an 8-bit BMP as vostrel writes it, made from a plane, a size and a palette: the
// one place they are put together (BmpFile, the packer's pictures and every other front end).
//
//   offset 0     file header, 14 bytes: "BM", file size, "qz", "v\0", data offset 1078
//   offset 14    info header, 40 bytes: 40, width, height (> 0: rows bottom-up), planes 1,
//                8 bits a pixel, no compression, the watermark "palomexvind\0" in the 12 bytes
//                of image size and resolutions, 0 colours used, 0 important
//   offset 54    colour table: 256 entries of blue, green, red, fourth byte (the palette)
//   offset 1078  rows, last row of the plane first, each padded with "QZV" to 4 bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "formats/bmp/bmp_format.hpp"

namespace vostrel {

// The largest piece a file is handed on in, and the largest file laid out whole.
inline constexpr std::size_t kBmpPieceBytes = std::size_t{1} << 20;

// Receives the bytes of a BMP in file order; returns false when they could not be stored.
using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;

// Bytes of padding that bring a row of width one-byte pixels to a multiple of four.
std::uint32_t RowPadding(std::int32_t width);

// The size of the BMP of a width x height plane; nothing for a negative size or a file past
// 4 GiB, which no header could describe.
std::optional<std::uint64_t> BmpFileSize(std::int32_t width, std::int32_t height);

// A plane to be written as a BMP: width x height indices, rows top first, and a palette of up
// to 256 entries of 4 bytes (a shorter one is completed with zero entries).
struct BmpImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::span<const std::uint8_t> plane;
  std::span<const std::uint8_t> palette;
};

// Where the headers end and the colour table starts.
inline constexpr std::size_t kBmpHeadersSize = kBmpFileHeaderSize + kBmpInfoHeaderSize;

// The fields of the file header (BITMAPFILEHEADER), in file order; by default those of
// vostrel's BMPs but the size.
struct BmpFileHeader {
  std::uint16_t type = kBmpType;
  std::uint32_t size = 0;
  std::uint16_t reserved1 = kBmpReserved1;
  std::uint16_t reserved2 = kBmpReserved2;
  std::uint32_t dataOffset = kBmpDataOffset;
};

// The fields of the info header (BITMAPINFOHEADER), in file order; by default those of
// vostrel's BMPs but the size.
struct BmpInfoHeader {
  std::uint32_t headerSize = kBmpInfoHeaderSize;
  std::int32_t width = 0;
  std::int32_t height = 0;  // > 0: rows bottom-up
  std::uint16_t planes = kBmpPlanes;
  std::uint16_t bitsPerPixel = kBmpBitsPerPixel;
  std::uint32_t compression = kBmpCompressionNone;
  // The watermark's twelve bytes, as three little-endian words.
  std::uint32_t imageSize = kBmpWatermarkWords[0];
  std::uint32_t horizontalResolution = kBmpWatermarkWords[1];
  std::uint32_t verticalResolution = kBmpWatermarkWords[2];
  std::uint32_t coloursUsed = 0;
  std::uint32_t importantColours = 0;
};

// The one writer of BMP headers: the fields, little-endian, into the first 14 bytes of out (the
// file header) and the first 40 (the info header).
void WriteBmpFileHeader(const BmpFileHeader& header, std::span<std::uint8_t> out);
void WriteBmpInfoHeader(const BmpInfoHeader& header, std::span<std::uint8_t> out);

// The headers of vostrel's width x height BMP of fileSize bytes, into the first 54 bytes of out.
void WriteBmpHeaders(std::int32_t width, std::int32_t height, std::uint32_t fileSize,
                     std::span<std::uint8_t> out);

// EncodeBmp with the 54 bytes of both headers given rather than made from the image's size (the
// converter's BmpFile writes the headers it was given); everything else as EncodeBmp.
bool EncodeBmpWithHeaders(std::span<const std::uint8_t> headers, const BmpImage& image,
                          std::vector<std::uint8_t>& buffer, const ByteSink& sink);

// Produces the whole file into sink, in pieces of at most a megabyte (a sprite in one), so that
// a huge picture never needs a second copy of its plane. False, having produced nothing, when
// the image cannot make a valid file (a negative size, a plane shorter than width x height, a
// file past 4 GiB); false as soon as sink refuses bytes.
bool EncodeBmp(const BmpImage& image, const ByteSink& sink);

// The whole file laid out at the start of buffer (grown to fit, never shrunk), returned there;
// nothing when the image cannot make a valid file or the file is larger than a piece. The
// converter lays out a frame once and only rewrites the colour table for each further palette.
std::span<std::uint8_t> EncodeBmpWhole(const BmpImage& image, std::vector<std::uint8_t>& buffer);

// The whole file as bytes; empty when the image cannot make a valid file.
std::vector<std::uint8_t> EncodeBmp(const BmpImage& image);

// Writes palette over the colour table of a file that EncodeBmpWhole laid out.
void RewriteBmpColourTable(std::span<std::uint8_t> file, std::span<const std::uint8_t> palette);

}  // namespace vostrel
