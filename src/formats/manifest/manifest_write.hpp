// The manifest's writer (schema in manifest_schema.hpp, reader in manifest_read.hpp): the sheet's
// manifest: the JSON-array form that sprite editors export and game engines import
// (frames with their rectangles and durations, one frame tag a picture), with our own record of
// the source file under meta.vostrel, from which vostrel-pack reads the sheet back: with the
// sheets, it holds the whole file (the header's words, each frame's words and storage, and the
// palettes' fourth bytes too).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formats/manifest/manifest_schema.hpp"
#include "sheets/sheet_layout.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

struct ManifestFacts {
  std::string source;   // the .ART file's name, without its directory
  std::string stem;     // what the sheets' names start with
  std::string version;  // of the program that wrote it
  std::optional<std::uint8_t> transparent;
  std::int32_t fps = manifest::kDefaultFps;
};

// How long each frame shows, in milliseconds: 1000 / fps, rounded.
std::int32_t FrameDuration(std::int32_t fps);

// The manifest of sprite laid out as layout, ending with a line end.
std::string SheetManifest(const Sprite& sprite, const SheetLayout& layout,
                          const ManifestFacts& facts);

}  // namespace vostrel
