// Everything vostrel-sheet makes of one .ART file: its sheets, manifest, palette files and
// animations, written into the destination directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "formats/manifest/manifest_schema.hpp"
#include "formats/png/deflate.hpp"
#include "sheets/sheet_layout.hpp"

namespace vostrel {

class Files;

struct SheetRequest {
  std::string artPath;
  std::string destDir;  // an existing directory
  std::int32_t padding = 1;
  std::optional<std::int32_t> columns;  // nothing: a picture's frames all in one row
  std::optional<std::uint8_t> transparent = 0;
  std::int32_t fps = manifest::kDefaultFps;
  bool gif = false;
  bool apng = false;
  std::string version;
};

// What one file gave: the lines for standard output (one a file written) and for standard
// error (warnings, and the failure that ended it), each line ending in a line end.
struct SheetOutcome {
  bool ok = true;
  std::string out;
  std::string err;
};

// What a thread keeps from one file to the next: its compressor and the sheet's buffers, so that
// a run of files faults their memory in once.
struct SheetWorkspace {
  ZlibCompressor compressor;
  SheetRows sheet;
};

// Reads request.artPath and writes its files through files. Every limit of its outputs is
// checked before the sheet is made, and a write that fails removes the files already written
// for it: a file's outputs are all there or none is. Throws std::bad_alloc when memory runs out
// (after removing what it had written).
SheetOutcome MakeSheets(const SheetRequest& request, Files& files, SheetWorkspace& workspace);

// Why an animation on a canvas of width x height pixels cannot be a GIF ("a canvas of W x H
// pixels, more than a GIF can hold ..."), or nothing when it can.
std::optional<std::string> GifCanvasRefusal(std::int32_t width, std::int32_t height);

// The .ART files of artPaths (by index) whose files would have the same names, as MakeSheets
// names them: those whose stems agree when compared without case, wherever they are. Each
// group is in the order given, and the groups in the order of their first file. Made one after
// another in that order, the last one's files are what stays.
std::vector<std::vector<std::size_t>> SameNameGroups(std::span<const std::string> artPaths);

}  // namespace vostrel
