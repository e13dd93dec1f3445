// The packing of one .ART file, without its command line.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/palette_files/palette_files.hpp"
#include "io/files.hpp"
#include "io/json_text.hpp"

namespace vostrel {

// A reason the packing cannot go on. Its text names the file concerned and says what to do. A
// name may hold any byte (a manifest's names, a path): the text keeps its control characters
// escaped (ShownText), so that no name can cut it short or break its line.
class PackError : public std::runtime_error {
 public:
  explicit PackError(const std::string& what) : std::runtime_error(ShownText(what)) {}
};

// A palette of the file to be given the colours of a palette file (.gpl, .pal, .act, or one
// RRGGBB a line).
struct PaletteFile {
  std::size_t palette = 0;
  std::string path;
};

struct PackJob {
  std::string original;  // the .ART file the pictures were extracted from
  // Where the pictures are, under the names the converter gives; or the manifest of the sheets
  // that vostrel-sheet made (a file rather than a directory).
  std::string picturesDir;
  std::string output;  // the .ART file to write; may be original itself
  std::vector<PaletteFile> paletteFiles;
};

// A frame of the file: picture p, frame f, both counted from 0.
struct FramePosition {
  std::size_t picture = 0;
  std::size_t frame = 0;
  friend bool operator==(const FramePosition&, const FramePosition&) = default;
};

struct PackOutcome {
  std::uint64_t frames = 0;                   // frames of the file
  std::uint64_t replaced = 0;                 // frames that took an edited picture
  std::vector<FramePosition> replacedFrames;  // those frames, in the file's order
  std::vector<std::string> updatedPictures;   // pictures rewritten to show them, in order
  std::vector<std::size_t> palettesReplaced;  // palettes that took a palette file's colours
};

// Something worth telling the user that does not stop the run.
using PackWarning = std::function<void(const std::string&)>;

struct PackReport {
  PackWarning warn;
  // job.output is complete; the pictures are brought up to date after this.
  std::function<void(const PackOutcome&)> written;
  // A picture of a replaced frame rewritten to show the frame as job.output now holds it.
  std::function<void(const std::string& path)> updated;
};

// The colours of the palette file at path (a GIMP, JASC or Adobe palette, or one RRGGBB a line).
// Throws PackError naming it.
PaletteColours ReadPaletteColours(Files& files, const std::string& path);

// Writes job.output: job.original with every frame whose pictures (or sheets) were edited
// replaced by them, then the palettes of job.paletteFiles replaced, everything else copied
// unchanged (job.original byte for byte when no frame was), then rewrites the other pictures of the
// replaced frames, so that the directory describes job.output. Every file is reached through files.
// Throws PackError before job.output is written, leaving it as it was; a picture that cannot be
// rewritten only gives a warning.
PackOutcome PackArt(const PackJob& job, const PackReport& report, Files& files);

}  // namespace vostrel
