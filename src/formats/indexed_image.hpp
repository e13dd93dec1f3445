// The plain values the sheet's encoders take: a rectangle of palette indices, a palette, and an
// animation of such rectangles. The page can hand them in as well as the command line.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vostrel {

// Entries of a palette and the bytes of each as an .ART file (and a BMP colour table) stores
// it: blue, green, red, then a byte no picture format here uses.
inline constexpr std::size_t kIndexedColours = 256;
inline constexpr std::size_t kStoredEntryBytes = 4;
inline constexpr std::size_t kStoredPaletteBytes = kIndexedColours * kStoredEntryBytes;

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
  std::span<const std::uint8_t> palette;  // kStoredPaletteBytes bytes: blue, green, red, unused
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

// The red, green and blue of entry index of a stored palette.
struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};
inline Rgb ColourAt(std::span<const std::uint8_t> palette, std::size_t index) {
  const std::size_t at = index * kStoredEntryBytes;
  return {palette[at + 2], palette[at + 1], palette[at]};
}

// The index outside the frames: the transparent one, or 0 when there is none.
inline std::uint8_t BackgroundIndex(const IndexedColours& colours) {
  return colours.transparent.value_or(0);
}

// Copies frame onto a width x height canvas filled with background, at its top left; canvas is
// resized to fit.
inline void PaintOnCanvas(const IndexedPlane& frame, std::int32_t width, std::int32_t height,
                          std::uint8_t background, std::vector<std::uint8_t>& canvas) {
  const auto w = static_cast<std::size_t>(width);
  canvas.assign(w * static_cast<std::size_t>(height), background);
  const std::int32_t rows = std::min(frame.height, height);
  const auto columns = static_cast<std::size_t>(std::min(frame.width, width));
  for (std::int32_t y = 0; y < rows; ++y) {
    std::copy_n(frame.Row(y).begin(), columns,
                canvas.begin() + static_cast<std::ptrdiff_t>(y) * width);
  }
}

}  // namespace vostrel
