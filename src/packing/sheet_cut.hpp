// A frame's rectangle cut out of a sheet and read against a palette: what packing from sheets
// and making a new sprite of them share, with the words their messages name frames and colours in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/manifest/manifest_read.hpp"
#include "formats/picture/picture.hpp"
#include "packing/colour_map.hpp"

namespace vostrel {

// "#RRGGBB": a colour in messages.
std::string ColourText(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// A frame's name in messages: its index in the manifest and its picture and frame, from 0 as in
// the pictures' names.
std::string FrameText(std::size_t i, std::int32_t framesPerPicture);

// The sheet's pixels in one rectangle (inside it), as a picture of its own.
RgbPicture CutRect(const RgbPicture& sheet, const SheetRect& rect);

struct Mapped {
  std::vector<std::uint8_t> indices;
  MissingColours missing;
};

// The rectangle's pixels as indices of palette. Transparency comes from the sheet alone: a pixel
// whose alpha is 0 (its own, or its index's through tRNS) takes the transparent index, whatever
// index the sheet gave it, and an opaque pixel never does for its index's number, since an editor
// may have saved the palette in another order. Where the sheet is indexed with the palette's
// colours at every index its opaque pixels use, those indices are kept; the rest is mapped by
// colour as the picture reader maps a picture, keeping hint's index (one per pixel, or none)
// where it holds the colour.
Mapped MapCut(RgbPicture cut, std::span<const std::uint8_t> palette,
              std::optional<std::uint8_t> transparent, std::span<const std::uint8_t> hint);

}  // namespace vostrel
