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

class Writer {
 public:
  Writer(const SheetRequest& request, Files& files, SheetOutcome& outcome)
      : request_(request), files_(files), outcome_(outcome) {}

  std::string PathOf(const std::string& name) const { return JoinPath(request_.destDir, name); }

  // Writes the file and says so; false, with the failure told, when it could not be written.
  bool Write(const std::string& name, std::span<const std::uint8_t> bytes) {
    const std::string path = PathOf(name);
    const std::unique_ptr<FileWriter> writer = files_.Create(path);
    const std::span<const std::uint8_t> pieces[] = {bytes};
    const bool written = writer && writer->Write(pieces);
    if (!(writer && writer->Close() && written)) {
      if (writer) {
        files_.RemoveFile(path);
      }
      outcome_.ok = false;
      outcome_.err += std::string(kProgram) + ": " + path +
                      ": could not write it; check that the directory is writable and has room\n";
      return false;
    }
    outcome_.out += path + '\n';
    return true;
  }

 private:
  const SheetRequest& request_;
  Files& files_;
  SheetOutcome& outcome_;
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
  const std::uint8_t background = request.transparent.value_or(0);
  ComposeSheet(layout, sprite, background, workspace.sheet);
  const IndexedPlane sheet = workspace.sheet.Indices(layout);

  const PathParts art = SplitPath(path);
  const std::string name(art.name);
  const std::string stem(art.stem);
  Writer writer(request, files, outcome);

  // The sheets differ only in their palette: the rows are compressed once for all of them.
  const std::span<const std::uint8_t> rows = workspace.compressor.Compress(workspace.sheet.rows);
  for (std::int32_t k = 0; k < sprite.PaletteCount(); ++k) {
    const IndexedColours colours{sprite.palettes[static_cast<std::size_t>(k)], request.transparent};
    if (!writer.Write(SheetName(stem, k),
                      AssembleIndexedPng(layout.width, layout.height, rows, colours))) {
      return outcome;
    }
  }
  const ManifestFacts facts{name, stem, request.version, request.transparent, request.fps};
  if (!writer.Write(stem + ".json", Bytes(SheetManifest(sprite, layout, facts)))) {
    return outcome;
  }
  for (std::int32_t k = 0; k < sprite.PaletteCount(); ++k) {
    const auto& palette = sprite.palettes[static_cast<std::size_t>(k)];
    const std::string base = SheetBaseName(stem, k);
    if (!writer.Write(base + ".gpl", Bytes(GimpPalette(palette, base))) ||
        !writer.Write(base + ".pal", Bytes(JascPalette(palette))) ||
        !writer.Write(base + ".act", AdobeColourTable(palette))) {
      return outcome;
    }
  }

  if (!request.gif && !request.apng) {
    return outcome;
  }
  if (layout.framesPerPicture == 0 || layout.cellWidth == 0 || layout.cellHeight == 0) {
    outcome.err += std::string(kProgram) + ": warning: " + path +
                   ": no frame has pixels, so no animation was written\n";
    return outcome;
  }
  if (request.gif && (layout.cellWidth > kGifMaxSide || layout.cellHeight > kGifMaxSide)) {
    Fail(outcome, path,
         "its frames need a canvas of " + std::to_string(layout.cellWidth) + " x " +
             std::to_string(layout.cellHeight) +
             " pixels, more than a GIF can hold (65535 a side); use --apng instead");
    return outcome;
  }
  for (std::int32_t p = 0; p < layout.pictures; ++p) {
    for (std::int32_t k = 0; k < sprite.PaletteCount(); ++k) {
      const IndexedColours colours{sprite.palettes[static_cast<std::size_t>(k)],
                                   request.transparent};
      const Animation animation = PictureAnimation(layout, sheet, p, colours, request.fps);
      const std::string base = AnimationBaseName(stem, p, k);
      if (request.gif && !writer.Write(base + ".gif", EncodeGif(animation))) {
        return outcome;
      }
      if (request.apng &&
          !writer.Write(base + ".apng", EncodeApng(animation, workspace.compressor))) {
        return outcome;
      }
    }
  }
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

}  // namespace vostrel
