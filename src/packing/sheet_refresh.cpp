// The sheets after a pack: composed and encoded by vostrel-sheet's own code, so that a sheet
// rewritten here is byte for byte the one vostrel-sheet would make from the new file.
#include "packing/sheet_refresh.hpp"

#include <algorithm>
#include <optional>
#include <string_view>

#include "formats/manifest/manifest_write.hpp"
#include "formats/palette_files/palette_files_write.hpp"
#include "formats/png/deflate.hpp"
#include "formats/png/png_encode.hpp"
#include "io/path.hpp"
#include "sheets/sheet_layout.hpp"
#include "sprite/picture_names.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool Contains(const std::vector<std::size_t>& values, std::size_t value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

// Gives path the bytes unless it holds them already; true when it was rewritten.
bool Rewrite(Files& files, const std::string& path, std::span<const std::uint8_t> bytes,
             const std::function<void(const std::string&)>& outOfDate) {
  if (FileHolds(files, path, bytes)) {
    return false;
  }
  if (const std::optional<std::string> failure = files.Replace(path, bytes)) {
    outOfDate("it cannot be rewritten (" + *failure + ")");
    return false;
  }
  return true;
}

// The layout vostrel-sheet gives the new file, with every frame at the corner the manifest
// gives it and the sheet at meta.size: where no frame grew past its cell, exactly its own.
std::optional<SheetLayout> LayoutOf(const Sprite& sprite, const Manifest& manifest,
                                    std::string& problem) {
  std::vector<ArtFrameHeader> headers;
  headers.reserve(sprite.frames.size());
  for (const SpriteFrame& frame : sprite.frames) {
    headers.push_back(frame.header);
  }
  const SheetLayoutResult laid =
      LayOutSheet(sprite.pictures, sprite.framesPerPicture, headers,
                  static_cast<std::int32_t>(manifest.padding),
                  manifest.columns > 0 ? std::optional(static_cast<std::int32_t>(manifest.columns))
                                       : std::nullopt);
  if (!laid.layout) {
    problem = laid.problem;
    return std::nullopt;
  }
  SheetLayout layout = *laid.layout;
  // Checked against the sheets when they were read: a rectangle and the sheet fit 31 bits.
  layout.width = static_cast<std::int32_t>(manifest.sheetWidth);
  layout.height = static_cast<std::int32_t>(manifest.sheetHeight);
  for (std::size_t i = 0; i < layout.frames.size(); ++i) {
    layout.frames[i].x = static_cast<std::int32_t>(manifest.frames[i].rect.x);
    layout.frames[i].y = static_cast<std::int32_t>(manifest.frames[i].rect.y);
  }
  return layout;
}

}  // namespace

std::vector<std::string> RefreshPaletteFiles(const std::string& dir, const std::string& stem,
                                             std::span<const std::uint8_t> output,
                                             const std::vector<std::size_t>& palettes,
                                             const std::function<void(const std::string&)>& warn,
                                             Files& files) {
  std::vector<std::string> updated;
  if (palettes.empty()) {
    return updated;
  }
  const SpriteLoad load = ParseSprite(output);
  if (!load.sprite) {
    return updated;  // never so: the packer wrote it from a file it loaded
  }
  for (const std::size_t k : palettes) {
    const auto& palette = load.sprite->palettes[k];
    const std::string base = SheetBaseName(stem, static_cast<std::int32_t>(k));
    const std::string gpl = GimpPalette(palette, base);
    const std::string jasc = JascPalette(palette);
    const std::vector<std::uint8_t> act = AdobeColourTable(palette);
    const std::pair<std::string, std::span<const std::uint8_t>> made[] = {
        {base + ".gpl", Bytes(gpl)}, {base + ".pal", Bytes(jasc)}, {base + ".act", act}};
    for (const auto& [name, bytes] : made) {
      const std::string path = JoinPath(dir, name);
      if (files.StatusOf(path).kind != PathKind::kRegularFile) {
        continue;  // only the palette files that are there follow the file
      }
      const auto outOfDate = [&](const std::string& why) {
        warn(path + ": out of date: " + why + ", so it still holds palette " + std::to_string(k) +
             " as it was");
      };
      if (Rewrite(files, path, bytes, outOfDate)) {
        updated.push_back(path);
      }
    }
  }
  return updated;
}

std::vector<std::string> RefreshSheets(const SheetReading& reading, const SheetRefresh& refresh,
                                       const std::function<void(const std::string&)>& warn,
                                       Files& files) {
  std::vector<std::string> updated;
  const Manifest& manifest = reading.manifest;
  // The sheets and palette files lie beside the manifest.
  const std::string_view dir = SplitPath(reading.manifestPath).directory;
  const auto outOfDateAdvice = [&](const std::string& path, const std::string& why) {
    warn(path + ": out of date: " + why + ", so it still shows " + refresh.outputPath +
         " as it was before; make the sheets of " + refresh.outputPath +
         " again with vostrel-sheet before packing from " + reading.manifestPath);
  };
  std::vector<std::size_t> stale;
  for (std::size_t s = 0; s < manifest.sheets.size(); ++s) {
    const bool showsOld =
        std::any_of(reading.untouched[s].begin(), reading.untouched[s].end(),
                    [&](std::size_t i) { return Contains(refresh.replacedFrames, i); });
    if (showsOld || reading.shrunk ||
        Contains(refresh.palettesReplaced, manifest.sheets[s].palette)) {
      stale.push_back(s);
    }
  }
  if (stale.empty() && !reading.resized && refresh.palettesReplaced.empty()) {
    return updated;
  }
  const SpriteLoad load = ParseSprite(refresh.output);
  if (!load.sprite) {
    return updated;  // never so: the packer wrote it from a file it loaded
  }
  const Sprite& sprite = *load.sprite;
  std::string problem;
  const std::optional<SheetLayout> layout = LayoutOf(sprite, manifest, problem);
  if (!layout) {
    for (const std::size_t s : stale) {
      outOfDateAdvice(JoinPath(dir, manifest.sheets[s].image),
                      "no sheet can be made (" + problem + ")");
    }
    return updated;
  }
  const std::uint8_t background = manifest.transparent.value_or(0);
  if (!stale.empty()) {
    SheetRows sheet;
    ComposeSheet(*layout, sprite, background, sheet);
    ZlibCompressor compressor;
    // The sheets differ only in their palette: the rows are compressed once for all of them.
    const std::span<const std::uint8_t> rows = compressor.Compress(sheet.rows);
    for (const std::size_t s : stale) {
      const std::string path = JoinPath(dir, manifest.sheets[s].image);
      const IndexedColours colours{sprite.palettes[manifest.sheets[s].palette],
                                   manifest.transparent};
      const std::vector<std::uint8_t> bytes =
          AssembleIndexedPng(layout->width, layout->height, rows, colours);
      if (Rewrite(files, path, bytes,
                  [&](const std::string& why) { outOfDateAdvice(path, why); })) {
        updated.push_back(path);
      }
    }
  }
  if (reading.resized) {
    const std::string stem = PictureStem(manifest.source);
    const ManifestFacts facts{manifest.source, stem, manifest.version, manifest.transparent,
                              static_cast<std::int32_t>(manifest.fps)};
    const std::string text = SheetManifest(sprite, *layout, facts);
    if (Rewrite(files, reading.manifestPath, Bytes(text),
                [&](const std::string& why) { outOfDateAdvice(reading.manifestPath, why); })) {
      updated.push_back(reading.manifestPath);
    }
  }
  const std::vector<std::string> palettes =
      RefreshPaletteFiles(std::string(dir), PictureStem(manifest.source), refresh.output,
                          refresh.palettesReplaced, warn, files);
  updated.insert(updated.end(), palettes.begin(), palettes.end());
  return updated;
}

}  // namespace vostrel
