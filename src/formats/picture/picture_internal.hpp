// What the BMP and PNG readers share: their refusals, worded alike, the checks behind them, and
// the unpacking of indices packed several to a byte.
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

// The index of pixel i in a row of indices of `bits` bits each (1, 2, 4 or 8), packed high bits
// first, as BMP and PNG both store them.
inline std::uint8_t PackedIndex(std::span<const std::uint8_t> row, std::size_t i, unsigned bits) {
  const std::size_t bit = i * bits;
  const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
  return static_cast<std::uint8_t>((unsigned{row[bit / 8]} >> shift) & ((1U << bits) - 1));
}

// The first out.size() indices of such a row, a byte each.
inline void UnpackIndices(std::span<const std::uint8_t> row, unsigned bits,
                          std::span<std::uint8_t> out) {
  for (std::size_t x = 0; x < out.size(); ++x) {
    out[x] = PackedIndex(row, x, bits);
  }
}

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
