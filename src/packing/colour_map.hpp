// Mapping a picture's colours to a palette's indices: what vostrel-pack stores of an edited
// picture, and what it reports of the colours the palette does not hold.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/picture/picture.hpp"

namespace vostrel {

// Colours of a picture that a palette does not hold: how many pixels have one, and the first of
// them (rows top first, each left to right).
struct MissingColours {
  std::uint64_t pixels = 0;
  std::uint64_t x = 0;
  std::uint64_t y = 0;
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

struct PaletteMapping {
  std::vector<std::uint8_t> indices;  // one per pixel; 0 where the colour is missing
  MissingColours missing;
};

// Maps each pixel (channels bytes: red, green, blue, then anything) of a picture width pixels
// wide to the index of palette (entries of 4 bytes: blue, green, red and a fourth byte, which is
// ignored) that holds its colour. Where several entries hold it, the index of original at that
// pixel is kept if it is one of them, else the lowest is taken. original is either empty or one
// index per pixel: the frame's own indices when the picture has the frame's size.
PaletteMapping MapToPalette(std::span<const std::uint8_t> pixels, std::size_t width,
                            std::size_t channels, std::span<const std::uint8_t> palette,
                            std::span<const std::uint8_t> original);

// Whether a colour table (entries laid out as a palette's) gives, at every index marked used, the
// colour of palette at that index.
bool TableAgrees(std::span<const bool, 256> used, std::span<const std::uint8_t> table,
                 std::span<const std::uint8_t> palette);

// Maps a decoded picture to palette. An indexed picture whose colour table gives, for every
// index it uses, the colour of palette at that index keeps its indices as they stand (an index
// painted as a copy of another's colour stays itself); any other picture is mapped by colour,
// as above.
PaletteMapping MapToPalette(const RgbPicture& picture, std::span<const std::uint8_t> palette,
                            std::span<const std::uint8_t> original);

}  // namespace vostrel
