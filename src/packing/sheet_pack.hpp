// Reading edits back from the sheets that vostrel-sheet makes (one PNG a palette, every frame in
// a rectangle that the manifest gives), and bringing the sheets up to date with the file packed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/manifest/manifest_read.hpp"
#include "io/files.hpp"

namespace vostrel {

// The sprite that the sheets were made from, as far as cutting them needs it.
struct SheetSprite {
  std::string name;  // the .ART file's name, without its directory
  std::int32_t pictures = 0;
  std::int32_t framesPerPicture = 0;
  // Each 256 entries of blue, green, red and a fourth byte.
  std::vector<std::span<const std::uint8_t>> palettes;
  struct Frame {
    std::int32_t width = 0;  // as its header says
    std::int32_t height = 0;
    bool shown = false;  // whether it makes a picture (a size of pixels that fits 32 bits)
  };
  std::vector<Frame> frames;  // picture-major
  // The indices of a shown frame (width x height, top row first), as the converter shows them.
  std::function<std::vector<std::uint8_t>(std::size_t frame)> indicesOf;
};

// A frame that takes what the sheets show.
struct SheetEdit {
  std::size_t frame = 0;  // picture-major
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> indices;
  std::string from;  // the sheet it was taken from
};

struct SheetReading {
  Manifest manifest;
  std::string manifestPath;
  std::vector<SheetEdit> edits;  // in frame order
  // For each sheet of the manifest: the frames where it still shows the frame as it was.
  std::vector<std::vector<std::size_t>> untouched;
  bool resized = false;  // whether a frame changes size
  // Whether a frame loses rows or columns: every sheet still shows them, edited or not.
  bool shrunk = false;
};

// Reads the manifest at manifestPath and every sheet it names (beside it), and gives the frames
// edited there: a sheet whose rectangle of a frame differs from what vostrel-sheet wrote for it
// gives the frame those pixels (colours of the sheet's palette, transparent pixels as the
// transparent index), and a rectangle whose w or h was changed gives the frame that size. Sheets
// edited for one frame must agree. Throws PackError, naming the file and what to do, before
// anything is sized from a number the sprite did not confirm.
SheetReading ReadSheetEdits(const std::string& manifestPath, const SheetSprite& sprite,
                            Files& files);

// The bytes of a sheet: a width x height plane of indices as an 8-bit indexed PNG with the 256
// entries of palette (blue, green, red, fourth byte) and, when there is one, index transparent
// alone transparent.
using SheetEncoder = std::function<std::vector<std::uint8_t>(
    std::span<const std::uint8_t> plane, std::int64_t width, std::int64_t height,
    std::span<const std::uint8_t> palette, std::optional<std::uint8_t> transparent)>;

}  // namespace vostrel
