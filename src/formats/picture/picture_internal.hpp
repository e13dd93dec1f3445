// What the BMP and PNG readers share: their refusals, worded alike, and the checks behind them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/picture/picture.hpp"

namespace vostrel::picture_detail {

// The advice that ends the refusal of a damaged file: an editor writes a sound one.
inline constexpr const char* kSaveAgain = "; save it again as BMP or PNG";

[[noreturn]] void Refuse(const std::string& text);
// "is a damaged KIND: WHAT; save it again as BMP or PNG".
[[noreturn]] void RefuseDamaged(const char* kind, const std::string& what);

// Refuses a size with no pixels or more than maxPixels.
void CheckPixelCount(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels);

// Refuses indices (width a row) that a colour table of `entries` entries does not reach,
// naming the first of them.
void CheckIndices(const char* kind, std::span<const std::uint8_t> indices, std::size_t width,
                  std::size_t entries);

// A colour table (blue, green, red, 0 an entry) from `count` entries of `entryBytes` bytes each,
// whose first three bytes are blue, green, red, or red, green, blue when rgbOrder.
std::vector<std::uint8_t> ColourTable(std::span<const std::uint8_t> entries, std::size_t count,
                                      std::size_t entryBytes, bool rgbOrder);

// Fills the picture's RGB pixels from its indices and colour table.
void ColourIndexed(RgbPicture& picture);

// BMP of every kind we take, read by our own decoder.
RgbPicture DecodeBmp(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels);

// What a PNG's chunks say before its pixels, from our own walk over them, which refuses a chunk
// that runs past the end of the file and a file without pixel data before any library sees it.
// The walk does not check what the library checks (chunk order, sizes, values).
struct PngChunks {
  bool hasHeader = false;   // an IHDR chunk of its full size comes first
  std::uint32_t width = 0;  // from IHDR, when hasHeader
  std::uint32_t height = 0;
  std::uint8_t colourType = 0;         // from IHDR, when hasHeader
  std::span<const std::uint8_t> plte;  // the first PLTE's data
  std::size_t plteAt = 0;              // where that chunk starts; 0 when there is none
  std::span<const std::uint8_t> trns;  // the first tRNS's data
  bool hasTrns = false;
  std::size_t emptyIdatAt = 0;  // where the first empty IDAT starts; 0 when none is
};
PngChunks ScanPng(std::span<const std::uint8_t> bytes);

// The colour type of an indexed PNG, in IHDR.
inline constexpr std::uint8_t kPngIndexed = 3;

// A PNG's pixels from the image library: for an indexed PNG an index a pixel (picture.indices,
// checked against nothing yet, no colours), for any other `channels` (3 or 4) bytes a pixel, red,
// green, blue and alpha, a transparent colour told by tRNS given alpha 0. Refuses 16 bits a
// channel, more than maxPixels and anything the library cannot read. One source a library,
// chosen by the build.
RgbPicture DecodePngPixels(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                           std::uint64_t maxPixels, std::int32_t channels);

// Refuses a picture with `transparent` pixels not fully opaque, the first at index first.
void RefuseTransparent(std::uint64_t transparent, std::size_t first, std::size_t width);

// Refuses pixels (width a row) whose alpha, alphaAt(i) for pixel i, is not 255.
template <typename AlphaAt>
void CheckOpaque(std::size_t count, std::size_t width, AlphaAt alphaAt) {
  std::uint64_t transparent = 0;
  std::size_t first = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (alphaAt(i) != 255 && transparent++ == 0) {
      first = i;
    }
  }
  if (transparent > 0) {
    RefuseTransparent(transparent, first, width);
  }
}

}  // namespace vostrel::picture_detail
