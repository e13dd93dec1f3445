// One .ART file's sheets, manifest, palette files and animations (see sheet_job.hpp).
#include "sheets/sheet_job.hpp"

#include <algorithm>
#include <map>
#include <span>
#include <vector>

#include "formats/apng/apng_encode.hpp"
#include "formats/gif/gif_encode.hpp"
#include "formats/manifest/manifest_write.hpp"
#include "formats/palette_files/palette_files_write.hpp"
#include "formats/png/png_encode.hpp"
#include "io/files.hpp"
#include "io/path.hpp"
#include "sheets/sheet_layout.hpp"
#include "sprite/picture_names.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

namespace {

constexpr std::string_view kProgram = "vostrel-sheet";

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The files written for one .ART file. Unless Keep is called, leaving scope removes them again
// (a write that failed, exhausted memory), so that a file's outputs are there all together or
// not at all, and the lines that name them are printed only then.
class Outputs {
 public:
  Outputs(const SheetRequest& request, Files& files, SheetOutcome& outcome)
      : request_(request), files_(files), outcome_(outcome) {}
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;

  ~Outputs() {
    if (kept_) {
      return;
    }
    for (const std::string& path : written_) {
      try {
        files_.RemoveFile(path);
      } catch (...) {
        // Nothing more can be done for it while leaving; the failure is told already.
      }
    }
  }

  std::string PathOf(const std::string& name) const { return JoinPath(request_.destDir, name); }

  // Writes the file; false, with the failure told, when it could not be written.
  bool Write(const std::string& name, std::span<const std::uint8_t> bytes) {
    const std::string path = PathOf(name);
    const std::unique_ptr<FileWriter> writer = files_.Create(path);
    if (writer) {
      // Ours from here on (a path that could not be created is left as it was).
      written_.push_back(path);
    }
    const std::span<const std::uint8_t> pieces[] = {bytes};
    const bool written = writer && writer->Write(pieces);
    if (!(writer && writer->Close() && written)) {
      outcome_.ok = false;
      outcome_.err += std::string(kProgram) + ": " + path +
                      ": could not write it; check that the directory is writable and has room\n";
      return false;
    }
    return true;
  }

  // Every output was written: they stay, each named on a line of its own.
  void Keep() {
    kept_ = true;
    for (const std::string& path : written_) {
      outcome_.out += path + '\n';
    }
  }

 private:
  const SheetRequest& request_;
  Files& files_;
  SheetOutcome& outcome_;
  std::vector<std::string> written_;
  bool kept_ = false;
};

void Fail(SheetOutcome& outcome, const std::string& path, const std::string& problem) {
  outcome.ok = false;
  outcome.err += std::string(kProgram) + ": " + path + ": " + problem + '\n';
}

// The animation of one picture: its frames' rectangles inside the sheet.
Animation PictureAnimation(const SheetLayout& layout, const IndexedPlane& sheet,
                           std::int32_t picture, const IndexedColours& colours, std::int32_t fps) {
  Animation animation;
  animation.width = layout.cellWidth;
  animation.height = layout.cellHeight;
  animation.colours = colours;
  animation.fps = fps;
  for (std::int32_t f = 0; f < layout.framesPerPicture; ++f) {
    const FramePlace& place = layout.frames[static_cast<std::size_t>(picture) *
                                                static_cast<std::size_t>(layout.framesPerPicture) +
                                            static_cast<std::size_t>(f)];
    IndexedPlane plane;
    if (place.placed()) {
      plane.width = place.width;
      plane.height = place.height;
      plane.stride = sheet.stride;
      plane.indices = sheet.indices.subspan(static_cast<std::size_t>(place.y) * sheet.stride +
                                            static_cast<std::size_t>(place.x));
    }
    animation.frames.push_back(plane);
  }
  return animation;
}

}  // namespace

SheetOutcome MakeSheets(const SheetRequest& request, Files& files, SheetWorkspace& workspace) {
  SheetOutcome outcome;
  const std::string& path = request.artPath;
  const ReadResult read = ReadWholeFile(files, path);
  if (read.status == ReadStatus::kCannotOpen) {
    Fail(outcome, path, "cannot open it; check that it exists, is a file and may be read");
    return outcome;
  }
  if (read.status != ReadStatus::kOk) {
    Fail(outcome, path, "could not read it through; check the disk or copy the file again");
    return outcome;
  }
  const SpriteLoad load = ParseSprite(read.bytes);
  if (!load.sprite) {
    Fail(outcome, path,
         std::string("could not load the .ART file: ") + ArtLoadErrorText(load.error) +
             "; it is damaged, and vostrel refuses it too");
    return outcome;
  }
  const Sprite& sprite = *load.sprite;
  if (sprite.palettes.empty()) {
    Fail(outcome, path,
         "has no palette, so its frames have no colours to show; nothing was written for it");
    return outcome;
  }
  if (sprite.missingBytes > 0) {
    outcome.err += std::string(kProgram) + ": warning: " + path + ": ends " +
                   std::to_string(sprite.missingBytes) +
                   " bytes early; the missing pixels show as index 0, as vostrel shows them\n";
  }
  const SheetLayoutResult laid = LayOutSheet(
      sprite.pictures, sprite.framesPerPicture,
      [&sprite] {
        std::vector<ArtFrameHeader> headers;
        headers.reserve(sprite.frames.size());
        for (const SpriteFrame& frame : sprite.frames) {
          headers.push_back(frame.header);
        }
        return headers;
      }(),
      request.padding, request.columns);
  if (!laid.layout) {
    Fail(outcome, path, "cannot make a sheet: " + laid.problem);
    return outcome;
  }
  const SheetLayout& layout = *laid.layout;
  // Every limit of the outputs is checked before the sheet is made or anything written.
  const bool animated =
      (request.gif || request.apng) && layout.cellWidth > 0 && layout.cellHeight > 0;
  if (animated && request.gif) {
    if (const auto refusal = GifCanvasRefusal(layout.cellWidth, layout.cellHeight)) {
      Fail(outcome, path, "its frames need " + *refusal + "; use --apng instead");
      return outcome;
    }
  }
  if ((request.gif || request.apng) && !animated) {
    outcome.err += std::string(kProgram) + ": warning: " + path +
                   ": no frame has pixels, so no animation was written\n";
  }

  const std::uint8_t background = request.transparent.value_or(0);
  ComposeSheet(layout, sprite, background, workspace.sheet);
  const IndexedPlane sheet = workspace.sheet.Indices(layout);

  const PathParts art = SplitPath(path);
  const std::string name(art.name);
  const std::string stem(art.stem);
  Outputs outputs(request, files, outcome);

  // The sheets differ only in their palette: the rows are compressed once for all of them.
  const std::span<const std::uint8_t> rows = workspace.compressor.Compress(workspace.sheet.rows);
  for (std::int32_t k = 0; k < sprite.PaletteCount(); ++k) {
    const IndexedColours colours{sprite.palettes[static_cast<std::size_t>(k)], request.transparent};
    if (!outputs.Write(SheetName(stem, k),
                       AssembleIndexedPng(layout.width, layout.height, rows, colours))) {
      return outcome;
    }
  }
  const ManifestFacts facts{name, stem, request.version, request.transparent, request.fps};
  if (!outputs.Write(stem + ".json", Bytes(SheetManifest(sprite, layout, facts)))) {
    return outcome;
  }
  for (std::int32_t k = 0; k < sprite.PaletteCount(); ++k) {
    const auto& palette = sprite.palettes[static_cast<std::size_t>(k)];
    const std::string base = SheetBaseName(stem, k);
    if (!outputs.Write(base + ".gpl", Bytes(GimpPalette(palette, base))) ||
        !outputs.Write(base + ".pal", Bytes(JascPalette(palette))) ||
        !outputs.Write(base + ".act", AdobeColourTable(palette))) {
      return outcome;
    }
  }
  for (std::int32_t p = 0; animated && p < layout.pictures; ++p) {
    for (std::int32_t k = 0; k < sprite.PaletteCount(); ++k) {
      const IndexedColours colours{sprite.palettes[static_cast<std::size_t>(k)],
                                   request.transparent};
      const Animation animation = PictureAnimation(layout, sheet, p, colours, request.fps);
      const std::string base = AnimationBaseName(stem, p, k);
      if (request.gif && !outputs.Write(base + ".gif", EncodeGif(animation))) {
        return outcome;
      }
      if (request.apng &&
          !outputs.Write(base + ".apng", EncodeApng(animation, workspace.compressor))) {
        return outcome;
      }
    }
  }
  outputs.Keep();
  return outcome;
}

std::vector<std::vector<std::size_t>> SameNameGroups(std::span<const std::string> artPaths) {
  std::vector<std::vector<std::size_t>> groups;
  std::map<std::string, std::size_t> groupOf;
  for (std::size_t i = 0; i < artPaths.size(); ++i) {
    std::string stem(SplitPath(artPaths[i]).stem);
    std::transform(stem.begin(), stem.end(), stem.begin(), LowerAscii);
    const auto [at, added] = groupOf.emplace(std::move(stem), groups.size());
    if (added) {
      groups.emplace_back();
    }
    groups[at->second].push_back(i);
  }
  return groups;
}

std::optional<std::string> GifCanvasRefusal(std::int32_t width, std::int32_t height) {
  if (width <= kGifMaxSide && height <= kGifMaxSide) {
    return std::nullopt;
  }
  return "a canvas of " + std::to_string(width) + " x " + std::to_string(height) +
         " pixels, more than a GIF can hold (" + std::to_string(kGifMaxSide) + " a side)";
}

}  // namespace vostrel
