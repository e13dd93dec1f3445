// Picture files by their signature: BMPs to our own reader, PNGs to the PNG reader (png_read.cpp),
// and what both readers share: their refusals, colour tables, the unpacking of indices of fewer
// than 8 bits, and the checks of indices and transparency.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "formats/picture/picture_internal.hpp"
#include "formats/png/png_read.hpp"
#include "io/checked.hpp"
#include "sprite/palette.hpp"

namespace vostrel {

namespace picture_detail {

void Refuse(const std::string& text) { throw PictureError(text); }

void RefuseDamaged(const char* kind, const std::string& what) {
  Refuse(std::string("is a damaged ") + kind + ": " + what + kSaveAgain);
}

void CheckPixelCount(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels) {
  if (width == 0 || height == 0) {
    Refuse("has no pixels (" + std::to_string(width) + " x " + std::to_string(height) +
           "); save it again with at least one pixel");
  }
  const auto pixels = CheckedMul(width, height);
  if (!pixels || *pixels > maxPixels) {
    Refuse("is too large: " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, more than " + std::to_string(maxPixels) + "; make it smaller");
  }
}

void CheckIndices(const char* kind, std::span<const std::uint8_t> indices, std::size_t width,
                  std::size_t entries) {
  std::uint64_t outside = 0;
  std::size_t first = 0;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    if (indices[i] >= entries && outside++ == 0) {
      first = i;
    }
  }
  if (outside > 0) {
    RefuseDamaged(kind, PixelsText(outside) + " past its colour table of " +
                            std::to_string(entries) + (entries == 1 ? " entry" : " entries") +
                            ", the first at " + PositionText(first % width, first / width) +
                            " (index " + std::to_string(indices[first]) + ")");
  }
}

void RefuseTransparent(std::uint64_t transparent, std::size_t first, std::size_t width) {
  Refuse("has " + PixelsText(transparent) + " not fully opaque (alpha below 255), the first at " +
         PositionText(first % width, first / width) + "; make every pixel opaque");
}

std::vector<std::uint8_t> ColourTable(std::span<const std::uint8_t> entries, std::size_t count,
                                      std::size_t entryBytes, bool rgbOrder) {
  constexpr auto kEntryBytes = static_cast<std::size_t>(kPaletteEntryBytes);
  // Where the file's entry holds red and blue; green is between them either way.
  const std::size_t redFrom = rgbOrder ? 0 : 2;
  const std::size_t blueFrom = rgbOrder ? 2 : 0;
  std::vector<std::uint8_t> table(count * kEntryBytes, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const auto entry = entries.subspan(i * entryBytes, 3);
    const auto out = std::span(table).subspan(i * kEntryBytes, kEntryBytes);
    out[kPaletteRedAt] = entry[redFrom];
    out[kPaletteGreenAt] = entry[1];
    out[kPaletteBlueAt] = entry[blueFrom];
  }
  return table;
}

void ColourIndexed(RgbPicture& picture) {
  constexpr auto kEntryBytes = static_cast<std::size_t>(kPaletteEntryBytes);
  picture.channels = 3;
  picture.pixels.resize(picture.indices.size() * 3);
  for (std::size_t i = 0; i < picture.indices.size(); ++i) {
    const auto entry = std::span(picture.colourTable)
                           .subspan(std::size_t{picture.indices[i]} * kEntryBytes, kEntryBytes);
    picture.pixels[i * 3] = entry[kPaletteRedAt];
    picture.pixels[i * 3 + 1] = entry[kPaletteGreenAt];
    picture.pixels[i * 3 + 2] = entry[kPaletteBlueAt];
  }
}

}  // namespace picture_detail

namespace {

using namespace picture_detail;

constexpr std::array<std::uint8_t, 2> kBmpSignature{'B', 'M'};

constexpr std::uint8_t kOpaque = 255;
constexpr std::int32_t kRgb = 3;
constexpr std::int32_t kRgba = 4;

template <std::size_t N>
bool StartsWith(std::span<const std::uint8_t> bytes, const std::array<std::uint8_t, N>& prefix) {
  return bytes.size() >= N && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// The picture as 4 channels: an indexed one's alpha from its table's entries, everything else
// opaque where the file gave no alpha.
RgbPicture WithAlpha(RgbPicture picture) {
  if (!picture.indices.empty() && picture.entryAlphas.empty()) {
    picture.entryAlphas.assign(picture.colourTable.size() / kPaletteEntryBytes, kOpaque);
  }
  if (picture.channels == kRgba) {
    return picture;
  }
  const std::size_t count = picture.PixelCount();
  std::vector<std::uint8_t> rgba(count * kRgba);
  for (std::size_t i = 0; i < count; ++i) {
    std::copy_n(picture.pixels.begin() + static_cast<std::ptrdiff_t>(i * kRgb), kRgb,
                rgba.begin() + static_cast<std::ptrdiff_t>(i * kRgba));
    rgba[i * kRgba + kRgb] =
        picture.indices.empty() ? kOpaque : picture.entryAlphas[picture.indices[i]];
  }
  picture.pixels = std::move(rgba);
  picture.channels = kRgba;
  return picture;
}

}  // namespace

RgbPicture DecodePicture(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels,
                         PictureOptions options) {
  RgbPicture picture;
  if (StartsWith(bytes, kBmpSignature)) {
    picture = DecodeBmp(bytes, maxPixels);
  } else if (StartsWith(bytes, kPngSignature)) {
    picture = DecodePng(bytes, maxPixels, options.keepTransparency,
                        options.pngDecoder.value_or(BuildPngDecoder()));
  } else {
    Refuse("is not a BMP or PNG picture; save it as BMP or PNG");
  }
  return options.keepTransparency ? WithAlpha(std::move(picture)) : picture;
}

}  // namespace vostrel
