// The manifest's reader (schema in manifest_schema.hpp, writer in manifest_write.hpp): the
// manifest that vostrel-sheet writes beside its sheets read back: where each frame lies in them,
// which sheet shows which palette, and what the sprite was when they were made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/json_text.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

// Raised for a manifest that cannot be used. The text follows the manifest's name: what is
// wrong and what to do, the names it quotes with their control characters escaped (ShownText).
class ManifestError : public std::runtime_error {
 public:
  explicit ManifestError(const std::string& what) : std::runtime_error(ShownText(what)) {}
};

// A rectangle of a sheet, in pixels from its top left.
struct SheetRect {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t w = 0;
  std::int64_t h = 0;
};

struct ManifestSheet {
  std::string image;  // a file name, in the manifest's directory
  std::size_t palette = 0;
};

struct ManifestFrame {
  SheetRect rect;  // "frame": where the frame lies now (w and h changed when it was resized)
  // The frame as it was stored when the sheets were made.
  std::int64_t storedWidth = 0;
  std::int64_t storedHeight = 0;
};

struct Manifest {
  std::string source;  // the .ART file's name
  std::int64_t pictures = 0;
  std::int64_t framesPerPicture = 0;
  std::int64_t palettes = 0;
  std::optional<std::uint8_t> transparent;  // the transparent index, if any
  std::int64_t padding = 0;
  std::int64_t columns = 0;
  std::int64_t sheetWidth = 0;  // meta.size: every sheet's size
  std::int64_t sheetHeight = 0;
  std::vector<ManifestSheet> sheets;
  std::vector<ManifestFrame> frames;  // picture-major
  // Kept for writing the manifest again: the version of the program that made it (meta.version)
  // and the frames per second of its durations (meta.vostrel.fps).
  std::string version;
  std::int64_t fps = 0;
};

// What the manifest must describe: the .ART file it is packed against.
struct ManifestExpectation {
  std::string source;  // the file's name, without its directory
  std::int64_t pictures = 0;
  std::int64_t framesPerPicture = 0;
  std::int64_t palettes = 0;
};

// The most bytes a manifest of `frames` frames may have: room for every entry written with
// generous indentation, so that a file far larger is refused before it is parsed at all.
std::uint64_t MaxManifestBytes(std::uint64_t frames);

// Reads a manifest and checks it against the file it must describe (its name and counts) before
// anything is sized from it: as many frames as pictures x frames per picture, every sheet's
// palette among the file's and named once. Throws ManifestError.
Manifest ReadManifest(std::span<const std::uint8_t> bytes, const ManifestExpectation& expected);

// ---- a manifest read to make a new sprite from ------------------------------------------------

// The most bytes and values (numbers, strings, objects, ...) such a manifest may have, with no
// original to bound it: some 17,000 frames as vostrel-sheet writes them, parsed into some 40 MB.
inline constexpr std::uint64_t kMaxNewManifestBytes = std::uint64_t{8} << 20;
inline constexpr std::uint64_t kMaxNewManifestValues = std::uint64_t{1} << 19;

// Where the pixels of a frame that a sprite editor trimmed go: its rectangle is the part of a
// width x height frame at x, y; the rest of it was transparent.
struct TrimmedFrame {
  std::int64_t x = 0;
  std::int64_t y = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
};

struct NewManifestFrame {
  SheetRect rect;                       // "frame"
  std::optional<TrimmedFrame> trimmed;  // a sprite editor's manifest only
  // From meta.vostrel.frames, each when given: the size stored, the words, the storage.
  std::optional<std::int32_t> storedWidth;
  std::optional<std::int32_t> storedHeight;
  std::optional<ArtFrameWords> words;
  std::optional<FrameStorage> storage;
};

struct NewManifestSheet {
  std::string image;  // a file name, in the manifest's directory
  std::size_t palette = 0;
  std::optional<std::vector<std::uint8_t>> fourthBytes;  // 256 of them when given
};

// Frames from to to of the manifest's list, both included: a picture.
struct FrameTag {
  std::int64_t from = 0;
  std::int64_t to = 0;
};

struct NewManifest {
  bool ours = false;  // whether it has meta.vostrel
  // meta.vostrel: the table, the palettes, the header's words and the transparent index.
  std::int64_t pictures = 0;
  std::int64_t framesPerPicture = 0;
  std::int64_t palettes = 0;  // 0 when not given
  std::optional<ArtHeaderWords> header;
  std::optional<std::uint8_t> transparent;
  // Without meta.vostrel: meta.frameTags, each a picture, in order; every frame in one of them.
  std::vector<FrameTag> tags;
  // meta.vostrel.sheets; without it, the sheet meta.image names, as palette 0.
  std::vector<NewManifestSheet> sheets;
  // In the manifest's order: with meta.vostrel pictures x framesPerPicture of them, picture-major.
  std::vector<NewManifestFrame> frames;
};

// Reads a manifest to make a new sprite from: ours (with meta.vostrel), or one that a sprite
// editor exported, "frames" as a list or as an object of frames by name (taken in the order the
// text gives them). Every value is checked for type and range, and sized only from what the text
// holds: frames listed and meta.vostrel's table agree, tags cover every frame once, names are
// files beside the manifest. Throws ManifestError.
NewManifest ReadNewManifest(std::span<const std::uint8_t> bytes);

}  // namespace vostrel
