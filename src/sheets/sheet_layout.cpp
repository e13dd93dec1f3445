// The sheet's layout and its indices (see sheet_layout.hpp).
#include "sheets/sheet_layout.hpp"

#include <algorithm>
#include <cstring>

#include "formats/png/png_encode.hpp"
#include "io/checked.hpp"
#include "sprite/frame_rules.hpp"

namespace vostrel {

namespace {

// The sheet's side: padding + cells * (cell + padding); nothing past 32 bits.
std::optional<std::int64_t> Side(std::int64_t padding, std::int64_t cells, std::int64_t cell) {
  // Each operand is below 2^31, so cell + padding and the sum below cannot overflow 64 bits;
  // the product is checked.
  const auto span = CheckedMul<std::int64_t>(cells, cell + padding);
  if (!span || *span + padding > INT32_MAX) {
    return std::nullopt;
  }
  return *span + padding;
}

// Whether a width x height sheet holds at most kMaxSheetPixels (both below 2^31: the product
// fits 64 bits).
bool Fits(std::optional<std::int64_t> width, std::optional<std::int64_t> height) {
  return width && height && *width * *height <= kMaxSheetPixels;
}

}  // namespace

SheetLayoutResult LayOutSheet(std::int32_t pictures, std::int32_t framesPerPicture,
                              std::span<const ArtFrameHeader> frames, std::int32_t padding,
                              std::optional<std::int32_t> maxColumns) {
  SheetLayout layout;
  layout.pictures = pictures;
  layout.framesPerPicture = framesPerPicture;
  layout.padding = padding;
  layout.columns = std::min(maxColumns.value_or(framesPerPicture), framesPerPicture);
  layout.rowsPerPicture =
      layout.columns == 0 ? 0 : (framesPerPicture + layout.columns - 1) / layout.columns;
  for (const ArtFrameHeader& header : frames) {
    if (MakesPicture(header)) {
      layout.cellWidth = std::max(layout.cellWidth, header.width);
      layout.cellHeight = std::max(layout.cellHeight, header.height);
    }
  }
  // pictures and rowsPerPicture are each below 2^31: their product fits 64 bits.
  const std::int64_t rows = std::int64_t{pictures} * layout.rowsPerPicture;
  const auto width = Side(padding, layout.columns, layout.cellWidth);
  const auto height = Side(padding, rows, layout.cellHeight);
  if (!Fits(width, height)) {
    SheetLayoutResult refused;
    const std::string cells = std::to_string(layout.columns) + " x " + std::to_string(rows) +
                              " cells of " + std::to_string(layout.cellWidth) + " x " +
                              std::to_string(layout.cellHeight) + " pixels";
    if (padding > 0 &&
        Fits(Side(0, layout.columns, layout.cellWidth), Side(0, rows, layout.cellHeight))) {
      refused.problem = "the padding of " + std::to_string(padding) +
                        " pixels makes the sheet of " + cells +
                        " hold more than 2147483647 pixels; give a smaller --padding";
    } else {
      refused.problem = "its largest frames make " + cells +
                        ", more than the 2147483647 pixels a sheet may hold; it cannot be shown "
                        "as a sheet (vostrel converts it into one picture a frame)";
    }
    return refused;
  }
  layout.width = static_cast<std::int32_t>(*width);
  layout.height = static_cast<std::int32_t>(*height);
  if (layout.width == 0 || layout.height == 0) {
    SheetLayoutResult refused;
    refused.problem =
        "no frame has pixels and the padding is 0, so the sheet would be empty; "
        "give --padding 1 or more";
    return refused;
  }

  layout.frames.reserve(frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    // i is below pictures x framesPerPicture, and every position below is inside the sheet,
    // whose sides fit 32 bits.
    const auto picture = static_cast<std::int64_t>(i) / framesPerPicture;
    const auto frame = static_cast<std::int64_t>(i) % framesPerPicture;
    const std::int64_t column = frame % layout.columns;
    const std::int64_t row = picture * layout.rowsPerPicture + frame / layout.columns;
    FramePlace place;
    place.x = static_cast<std::int32_t>(padding + column * (layout.cellWidth + padding));
    place.y = static_cast<std::int32_t>(padding + row * (layout.cellHeight + padding));
    if (MakesPicture(frames[i])) {
      place.width = frames[i].width;
      place.height = frames[i].height;
    }
    layout.frames.push_back(place);
  }
  return {std::move(layout), {}};
}

IndexedPlane SheetRows::Indices(const SheetLayout& layout) const {
  return {layout.width, layout.height, static_cast<std::size_t>(layout.width) + 1,
          std::span<const std::uint8_t>(rows).subspan(rows.empty() ? 0 : 1)};
}

void ComposeSheet(const SheetLayout& layout, const Sprite& sprite, std::uint8_t background,
                  SheetRows& sheet) {
  const std::size_t stride = static_cast<std::size_t>(layout.width) + 1;
  sheet.rows.assign(stride * static_cast<std::size_t>(layout.height), background);
  for (std::size_t y = 0; y < static_cast<std::size_t>(layout.height); ++y) {
    sheet.rows[y * stride] = kPngFilterNone;
  }
  for (std::size_t i = 0; i < layout.frames.size() && i < sprite.frames.size(); ++i) {
    const FramePlace& place = layout.frames[i];
    if (!place.placed()) {
      continue;
    }
    const SpriteFrame& frame = sprite.frames[i];
    // A raw frame's block is its indices already: copied straight from it, not through plane.
    std::span<const std::uint8_t> pixels = frame.data;
    const std::size_t count =
        static_cast<std::size_t>(place.width) * static_cast<std::size_t>(place.height);
    if (StorageOf(frame.header) != FrameStorage::kRaw || frame.data.size() < count) {
      if (!DecodeFrame(frame.header, frame.data, sheet.plane)) {
        continue;
      }
      pixels = sheet.plane;
    }
    const auto width = static_cast<std::size_t>(place.width);
    std::uint8_t* target = sheet.rows.data() + static_cast<std::size_t>(place.y) * stride + 1 +
                           static_cast<std::size_t>(place.x);
    for (std::size_t y = 0; y < static_cast<std::size_t>(place.height); ++y) {
      std::memcpy(target + y * stride, pixels.data() + y * width, width);
    }
  }
}

}  // namespace vostrel
