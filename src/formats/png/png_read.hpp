// The PNG reader's parts: our own walk over a PNG's chunks, which every build runs before an image
// library sees the file, and the two libraries that decode the pixels behind one interface.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/picture/picture_internal.hpp"
#include "formats/png/png_format.hpp"

namespace vostrel::picture_detail {

// What a PNG's chunks say before its pixels. The walk refuses a chunk that runs past the end of
// the file and a file without pixel data; it does not check what the libraries check (chunk
// order, sizes, values).
struct PngChunks {
  bool hasHeader = false;              // an IHDR chunk of its full size comes first
  PngHeader header;                    // when hasHeader
  std::span<const std::uint8_t> plte;  // the first PLTE's data
  std::size_t plteAt = 0;              // where that chunk starts; 0 when there is none
  std::span<const std::uint8_t> trns;  // the first tRNS's data
  bool hasTrns = false;
  std::size_t emptyIdatAt = 0;  // where the first empty IDAT starts; 0 when none is
  std::size_t firstIdatAt = 0;  // where the first IDAT starts
  std::size_t lastIdatEnd = 0;  // where the last IDAT ends
  std::uint64_t idatBytes = 0;  // the image data of all IDAT chunks together
};
PngChunks ScanPng(std::span<const std::uint8_t> bytes);

// The image data of the IDAT chunks that the walk found, one after the other.
std::vector<std::uint8_t> PngImageData(std::span<const std::uint8_t> bytes,
                                       const PngChunks& chunks);

// A PNG's pixels from an image library: for an indexed PNG an index a pixel (picture.indices,
// checked against nothing yet, no colours), for any other `channels` (3 or 4) bytes a pixel,
// red, green, blue and alpha, a transparent colour told by tRNS given alpha 0. Refuses 16 bits a
// channel, more than maxPixels and anything the library cannot read. A PNG is read when its data
// holds all its rows, whatever follows them (more data, no end chunk).
RgbPicture DecodePngWithLibspng(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                                std::uint64_t maxPixels, std::int32_t channels);
RgbPicture DecodePngWithStbImage(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                                 std::uint64_t maxPixels, std::int32_t channels);

// A PNG of every kind we take, through the decoder given, after the walk over its chunks and the
// checks of its size: against maxPixels, and its rows against what its image data can unpack
// to.
RgbPicture DecodePng(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels,
                     bool keepTransparency, PngDecoder decoder);

}  // namespace vostrel::picture_detail
