// The WebAssembly build's entry points, called from the page's worker through a plain C API.
// Conversion and packing run the programs' own entry points on emscripten's in-memory file
// system, so the page writes the same files and console text as `vostrel FILE DEST` and
// `vostrel-pack`; the viewer places frames with the converter's own PlaceFrame.
#include <emscripten/emscripten.h>

#include <array>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "art/art_file.hpp"
#include "bmp/bmp_file.hpp"
#include "convert/convert.hpp"
#include "frontend/cli.hpp"
#include "image/palette.hpp"
#include "io/console.hpp"
#include "pack/pack_cli.hpp"
#include "platform/platform.hpp"

namespace {

// An .ART file opened for viewing and the frame placed last, with its palettes as RGB.
// Its files are those the worker put in emscripten's in-memory file system.
struct View {
  vostrel::SilentConsole silent;
  std::unique_ptr<vostrel::ArtFile> art;
  vostrel::BmpFile bmp{silent, vostrel::platform::SystemFiles()};
  std::optional<vostrel::PlacedFrame> placed;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::array<std::uint8_t, static_cast<std::size_t>(vostrel::kPaletteEntries) * 3> rgb{};
};

View& TheView() {
  static View view;
  return view;
}

}  // namespace

extern "C" {

// `vostrel artPath destDir`: returns its exit status. Text goes to standard output and error.
EMSCRIPTEN_KEEPALIVE int vostrel_convert(const char* artPath, const char* destDir) {
  const std::array<const char*, 3> argv{"vostrel", artPath, destDir};
  const int status = vostrel::Run(static_cast<int>(argv.size()), argv.data(),
                                  vostrel::platform::StandardConsole());
  std::cout.flush();
  return status;
}

// `vostrel-pack -- original picturesDir output`: returns its exit status. The names are the
// user's files' own, so one that begins with '-' is still a name, never an option.
EMSCRIPTEN_KEEPALIVE int vostrel_pack(const char* original, const char* picturesDir,
                                      const char* output) {
  const std::array<const char*, 5> argv{"vostrel-pack", "--", original, picturesDir, output};
  const int status =
      vostrel::RunPack(static_cast<int>(argv.size()), argv.data(), std::cout, std::cerr);
  std::cout.flush();
  return status;
}

// Loads an .ART file for viewing, silently; false when the loader refuses it.
EMSCRIPTEN_KEEPALIVE int vostrel_view_open(const char* artPath) {
  View& view = TheView();
  view.placed.reset();
  view.art = std::make_unique<vostrel::ArtFile>(view.silent, vostrel::platform::SystemFiles());
  return view.art->Load(artPath) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void vostrel_view_close() {
  View& view = TheView();
  view.placed.reset();
  view.bmp.ReleaseBlocks();
  view.art.reset();
}

EMSCRIPTEN_KEEPALIVE int vostrel_view_pictures() {
  const View& view = TheView();
  return view.art ? view.art->PictureCount() : 0;
}

EMSCRIPTEN_KEEPALIVE int vostrel_view_frames() {
  const View& view = TheView();
  return view.art ? view.art->FramesPerPicture() : 0;
}

EMSCRIPTEN_KEEPALIVE int vostrel_view_palettes() {
  const View& view = TheView();
  return view.art ? view.art->PaletteCount() : 0;
}

// Palette k as 256 RGB triples; the file stores each entry as blue, green, red and a fourth
// byte, as a BMP colour table does.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* vostrel_view_palette(int k) {
  View& view = TheView();
  if (!view.art || k < 0 || k >= view.art->PaletteCount()) {
    return nullptr;
  }
  const vostrel::Block& entries = view.art->Palettes()[static_cast<std::size_t>(k)];
  for (std::size_t i = 0; i < static_cast<std::size_t>(vostrel::kPaletteEntries); ++i) {
    const std::size_t at = i * static_cast<std::size_t>(vostrel::kPaletteEntryBytes);
    view.rgb[i * 3] = entries[at + vostrel::kPaletteRedAt];
    view.rgb[i * 3 + 1] = entries[at + vostrel::kPaletteGreenAt];
    view.rgb[i * 3 + 2] = entries[at + vostrel::kPaletteBlueAt];
  }
  return view.rgb.data();
}

// Places frame f of picture p as the converter does; false for a size that cannot make a
// picture. Its indices are then at vostrel_view_pixels, top row first.
EMSCRIPTEN_KEEPALIVE int vostrel_view_place(int p, int f) {
  View& view = TheView();
  view.placed.reset();
  if (!view.art || p < 0 || f < 0 || p >= view.art->PictureCount() ||
      f >= view.art->FramesPerPicture()) {
    return 0;
  }
  view.placed = vostrel::PlaceFrame(*view.art, p, f, view.bmp, view.silent);
  const vostrel::ArtFrameHeader& header =
      view.art->FrameHeaders()[static_cast<std::size_t>(p)][static_cast<std::size_t>(f)];
  view.width = view.placed ? header.width : 0;
  view.height = view.placed ? header.height : 0;
  return view.placed ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int vostrel_view_width() { return TheView().width; }
EMSCRIPTEN_KEEPALIVE int vostrel_view_height() { return TheView().height; }
EMSCRIPTEN_KEEPALIVE int vostrel_view_raw() {
  const View& view = TheView();
  return view.placed && view.placed->raw ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* vostrel_view_pixels() {
  View& view = TheView();
  if (!view.placed || view.width == 0 || view.height == 0) {
    return nullptr;
  }
  return view.bmp.Blocks()[0][0].data();
}

}  // extern "C"
