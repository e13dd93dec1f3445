// Where every frame of a sprite goes on its sheet: one row of cells per picture (more when its
// frames wrap), all cells the size of the file's largest frame, a border and gaps of padding
// pixels, each frame at the top left of its cell. And the sheet's indices themselves.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/indexed_image.hpp"
#include "sprite/frame_rules.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

// The most pixels a sheet may hold: the largest picture a frame may make, and what every
// 32-bit reader of the sheet can index.
inline constexpr std::int64_t kMaxSheetPixels = kMaxFramePixels;

// A frame's rectangle on the sheet. A frame that makes no picture (MakesPicture) has a width and
// height of 0 at its cell's position.
struct FramePlace {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool placed() const { return width > 0 && height > 0; }
};

struct SheetLayout {
  std::int32_t pictures = 0;
  std::int32_t framesPerPicture = 0;
  std::int32_t columns = 0;         // cells a row: min(the columns asked for, frames per picture)
  std::int32_t rowsPerPicture = 0;  // ceil(framesPerPicture / columns)
  std::int32_t cellWidth = 0;       // the largest width among the frames that make a picture
  std::int32_t cellHeight = 0;      // the largest height among them
  std::int32_t padding = 0;
  std::int32_t width = 0;          // padding + columns * (cellWidth + padding)
  std::int32_t height = 0;         // padding + pictures * rowsPerPicture * (cellHeight + padding)
  std::vector<FramePlace> frames;  // picture-major, as Sprite::frames
};

// A layout, or why there can be none: a sheet past kMaxSheetPixels or with no pixels at all.
struct SheetLayoutResult {
  std::optional<SheetLayout> layout;
  std::string problem;  // says what makes it so and what to do
};

// Lays out frames (picture-major, pictures x framesPerPicture of them) with the given padding
// (0 or more) and, when given, at most maxColumns (1 or more) cells a row.
SheetLayoutResult LayOutSheet(std::int32_t pictures, std::int32_t framesPerPicture,
                              std::span<const ArtFrameHeader> frames, std::int32_t padding,
                              std::optional<std::int32_t> maxColumns);

// The sheet laid out as the rows of a PNG, ready to compress: each row a filter byte of 0 and
// then its indices, background everywhere but in the placed frames, which hold their indices
// as DecodeFrame gives them. rows and plane are reused from one sheet to the next.
struct SheetRows {
  std::vector<std::uint8_t> rows;   // height x (1 + width) bytes
  std::vector<std::uint8_t> plane;  // a frame's decoded indices, between frames
  // The indices alone, rows skipping the filter bytes.
  IndexedPlane Indices(const SheetLayout& layout) const;
};
void ComposeSheet(const SheetLayout& layout, const Sprite& sprite, std::uint8_t background,
                  SheetRows& sheet);

}  // namespace vostrel
