// A palette's colours as red, green and blue, and back (see palette.hpp).
#include "sprite/palette.hpp"

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

}  // namespace vostrel
