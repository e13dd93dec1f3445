// A 256-colour palette: its layout, shared by .ART files, BMP colour tables and the pictures
// vostrel-pack maps to them (256 entries of four bytes: blue, green, red, and a fourth byte that
// means nothing to the colour), and its colours as red, green and blue, the order image
// editors, PNG, GIF and palette files keep them in, and back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vostrel {

inline constexpr std::size_t kPaletteEntries = 256;
inline constexpr std::size_t kPaletteEntryBytes = 4;
inline constexpr std::size_t kPaletteBytes = kPaletteEntries * kPaletteEntryBytes;
// Where each byte of an entry sits.
inline constexpr std::size_t kPaletteBlueAt = 0;
inline constexpr std::size_t kPaletteGreenAt = 1;
inline constexpr std::size_t kPaletteRedAt = 2;
inline constexpr std::size_t kPaletteFourthAt = 3;

// One colour: red, green, blue.
struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};
inline constexpr std::size_t kRgbBytes = 3;

// The colour of entry index of a palette in the layout above.
inline Rgb ColourAt(std::span<const std::uint8_t> palette, std::size_t index) {
  const std::size_t at = index * kPaletteEntryBytes;
  return {palette[at + kPaletteRedAt], palette[at + kPaletteGreenAt], palette[at + kPaletteBlueAt]};
}

// A palette's colours: red, green, blue for each entry in order.
using PaletteRgb = std::array<std::uint8_t, kPaletteEntries * kRgbBytes>;

// The colours of a palette.
PaletteRgb RgbOf(std::span<const std::uint8_t, kPaletteBytes> palette);

// Gives every entry of palette the colour of rgb, keeping its fourth byte.
void SetRgb(std::span<std::uint8_t, kPaletteBytes> palette,
            std::span<const std::uint8_t, kPaletteEntries * kRgbBytes> rgb);

// A palette of the given colours (red, green and blue each, at most 256 of them; the entries
// after them black), each entry's fourth byte from fourthBytes (256 of them) or 0 without it.
std::array<std::uint8_t, kPaletteBytes> PaletteOfColours(
    std::span<const std::uint8_t> rgb, std::span<const std::uint8_t> fourthBytes = {});

// The fourth bytes of a palette's entries.
std::vector<std::uint8_t> FourthBytesOf(std::span<const std::uint8_t, kPaletteBytes> palette);

}  // namespace vostrel
