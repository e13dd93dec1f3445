// Frames cut out of sheets and read against a palette (see sheet_cut.hpp).
#include "packing/sheet_cut.hpp"

#include <array>
#include <cstdio>
#include <utility>

#include "sprite/palette.hpp"

namespace vostrel {

namespace {

// An RGBA pixel's alpha, after its red, green and blue.
constexpr std::size_t kAlphaAt = 3;
constexpr std::size_t kRgbaChannels = 4;

}  // namespace

std::string ColourText(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  std::array<char, 8> text{};
  std::snprintf(text.data(), text.size(), "#%02X%02X%02X", red, green, blue);
  return text.data();
}

std::string FrameText(std::size_t i, std::int32_t framesPerPicture) {
  const auto perPicture = static_cast<std::size_t>(framesPerPicture);
  return "frame " + std::to_string(i) + " (picture " + std::to_string(i / perPicture) + ", frame " +
         std::to_string(i % perPicture) + ")";
}

RgbPicture CutRect(const RgbPicture& sheet, const SheetRect& rect) {
  RgbPicture cut;
  cut.width = static_cast<std::int32_t>(rect.w);
  cut.height = static_cast<std::int32_t>(rect.h);
  cut.channels = sheet.channels;
  const auto channels = static_cast<std::size_t>(sheet.channels);
  const auto sheetWidth = static_cast<std::size_t>(sheet.width);
  const auto x = static_cast<std::size_t>(rect.x);
  const auto w = static_cast<std::size_t>(rect.w);
  cut.pixels.reserve(cut.PixelCount() * channels);
  const bool indexed = !sheet.indices.empty();
  if (indexed) {
    cut.indices.reserve(cut.PixelCount());
    cut.colourTable = sheet.colourTable;
  }
  for (std::size_t row = 0; row < static_cast<std::size_t>(rect.h); ++row) {
    const std::size_t start = (static_cast<std::size_t>(rect.y) + row) * sheetWidth + x;
    const auto pixels = std::span(sheet.pixels).subspan(start * channels, w * channels);
    cut.pixels.insert(cut.pixels.end(), pixels.begin(), pixels.end());
    if (indexed) {
      const auto indices = std::span(sheet.indices).subspan(start, w);
      cut.indices.insert(cut.indices.end(), indices.begin(), indices.end());
    }
  }
  return cut;
}

Mapped MapCut(RgbPicture cut, std::span<const std::uint8_t> palette,
              std::optional<std::uint8_t> transparent, std::span<const std::uint8_t> hint) {
  const std::size_t count = cut.PixelCount();
  std::vector<bool> clear(count, false);
  if (cut.channels == static_cast<std::int32_t>(kRgbaChannels) && transparent) {
    const auto entry =
        palette.subspan(std::size_t{*transparent} * kPaletteEntryBytes, kPaletteEntryBytes);
    for (std::size_t i = 0; i < count; ++i) {
      if (cut.pixels[i * kRgbaChannels + kAlphaAt] == 0) {
        clear[i] = true;
        // Given the transparent entry's own colour, the pixel can never be missing from the
        // palette when the cut is mapped by colour.
        cut.pixels[i * kRgbaChannels] = entry[kPaletteRedAt];
        cut.pixels[i * kRgbaChannels + 1] = entry[kPaletteGreenAt];
        cut.pixels[i * kRgbaChannels + 2] = entry[kPaletteBlueAt];
      }
    }
  }
  if (!cut.indices.empty()) {
    std::array<bool, kPaletteEntries> used{};
    for (std::size_t i = 0; i < count; ++i) {
      used[cut.indices[i]] = used[cut.indices[i]] || !clear[i];
    }
    if (TableAgrees(used, cut.colourTable, palette)) {
      for (std::size_t i = 0; i < count; ++i) {
        if (clear[i]) {
          cut.indices[i] = *transparent;
        }
      }
      return {std::move(cut.indices), {}};
    }
    cut.indices.clear();  // mapped by colour
  }
  PaletteMapping mapping = MapToPalette(cut, palette, hint);
  for (std::size_t i = 0; i < count; ++i) {
    if (clear[i]) {
      mapping.indices[i] = *transparent;
    }
  }
  return {std::move(mapping.indices), mapping.missing};
}

}  // namespace vostrel
