// A palette's colours as red, green and blue, and back (see palette.hpp).
#include "sprite/palette.hpp"

#include <algorithm>

namespace vostrel {

PaletteRgb RgbOf(std::span<const std::uint8_t, kPaletteBytes> palette) {
  PaletteRgb rgb{};
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const Rgb colour = ColourAt(palette, i);
    rgb[i * kRgbBytes] = colour.red;
    rgb[i * kRgbBytes + 1] = colour.green;
    rgb[i * kRgbBytes + 2] = colour.blue;
  }
  return rgb;
}

void SetRgb(std::span<std::uint8_t, kPaletteBytes> palette,
            std::span<const std::uint8_t, kPaletteEntries * kRgbBytes> rgb) {
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const std::size_t at = i * kPaletteEntryBytes;
    palette[at + kPaletteRedAt] = rgb[i * kRgbBytes];
    palette[at + kPaletteGreenAt] = rgb[i * kRgbBytes + 1];
    palette[at + kPaletteBlueAt] = rgb[i * kRgbBytes + 2];
  }
}

std::array<std::uint8_t, kPaletteBytes> PaletteOfColours(
    std::span<const std::uint8_t> rgb, std::span<const std::uint8_t> fourthBytes) {
  std::array<std::uint8_t, kPaletteBytes> palette{};
  const std::size_t colours = std::min(rgb.size() / kRgbBytes, kPaletteEntries);
  for (std::size_t i = 0; i < colours; ++i) {
    const std::size_t at = i * kPaletteEntryBytes;
    palette[at + kPaletteRedAt] = rgb[i * kRgbBytes];
    palette[at + kPaletteGreenAt] = rgb[i * kRgbBytes + 1];
    palette[at + kPaletteBlueAt] = rgb[i * kRgbBytes + 2];
  }
  for (std::size_t i = 0; i < std::min(fourthBytes.size(), kPaletteEntries); ++i) {
    palette[i * kPaletteEntryBytes + kPaletteFourthAt] = fourthBytes[i];
  }
  return palette;
}

std::vector<std::uint8_t> FourthBytesOf(std::span<const std::uint8_t, kPaletteBytes> palette) {
  std::vector<std::uint8_t> fourth(kPaletteEntries);
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    fourth[i] = palette[i * kPaletteEntryBytes + kPaletteFourthAt];
  }
  return fourth;
}

}  // namespace vostrel
