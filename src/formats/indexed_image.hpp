// The plain values the sheet's encoders take: a rectangle of palette indices, a palette (in the
// sprite model's layout, sprite/palette.hpp, with its colours read by ColourAt), and an
// animation of such rectangles. The page can hand them in as well as the command line.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sprite/palette.hpp"

namespace vostrel {

// width x height indices, rows top first, each row starting stride indices after the one above
// (stride >= width): a frame on its own, or a frame's rectangle inside a sheet.
struct IndexedPlane {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::size_t stride = 0;
  std::span<const std::uint8_t> indices;

  std::span<const std::uint8_t> Row(std::int32_t y) const {
    return indices.subspan(static_cast<std::size_t>(y) * stride, static_cast<std::size_t>(width));
  }
};

// The colours of an indexed picture and the index shown as transparent, if any.
struct IndexedColours {
  std::span<const std::uint8_t> palette;  // kPaletteBytes, in the layout of sprite/palette.hpp
  std::optional<std::uint8_t> transparent;
};

// Frames shown one after another on a canvas of width x height, each at its top left; the rest
// of the canvas is the transparent index, or index 0 when there is none.
struct Animation {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<IndexedPlane> frames;  // each at most width x height (an empty one shows nothing)
  IndexedColours colours;
  std::int32_t fps = 8;
};

// The index outside the frames: the transparent one, or 0 when there is none.
inline std::uint8_t BackgroundIndex(const IndexedColours& colours) {
  return colours.transparent.value_or(0);
}

// Copies frame onto a width x height canvas filled with background, at its top left; canvas is
// resized to fit.
void PaintOnCanvas(const IndexedPlane& frame, std::int32_t width, std::int32_t height,
                   std::uint8_t background, std::vector<std::uint8_t>& canvas);

}  // namespace vostrel
