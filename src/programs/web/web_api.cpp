// The WebAssembly build's entry points, called from the page's worker through a plain C API.
// Conversion and packing run the programs' own entry points on emscripten's in-memory file
// system, so the page writes the same files and console text as `vostrel FILE DEST` and
// `vostrel-pack`. The viewer works on the sprite model: a file opened for viewing is a parsed
// Sprite held under a handle, and each frame is decoded, or made into a BMP, only when asked.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/bmp/bmp_encode.hpp"
#include "formats/gif/gif_encode.hpp"
#include "formats/indexed_image.hpp"
#include "io/byte_source.hpp"
#include "io/files.hpp"
#include "io/json_text.hpp"
#include "packing/pack.hpp"
#include "platform/platform.hpp"
#include "programs/vostrel-pack/pack_cli.hpp"
#include "programs/vostrel/frontend/cli.hpp"
#include "sheets/sheet_job.hpp"
#include "sheets/sheet_layout.hpp"
#include "sprite/frame_rules.hpp"
#include "sprite/palette.hpp"
#include "sprite/picture_names.hpp"
#include "sprite/sprite.hpp"

// Bytes the core holds for the worker to copy out: valid until the next call on the same
// handle. Its two words are read from the heap by the worker (wasm32: 4 bytes each).
struct VostrelBytes {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

namespace {

// A file opened for viewing, and the last bytes handed out for it.
struct OpenSprite {
  vostrel::Sprite sprite;
  std::vector<std::uint8_t> plane;
  std::vector<std::uint8_t> bmp;
  vostrel::PaletteRgb rgb{};
  std::vector<std::uint8_t> gif;
  VostrelBytes out;
};

// The opened files by handle. Every call names its handle, so calls on different files may
// interleave in any order.
struct Registry {
  std::map<std::int32_t, OpenSprite> sprites;
  std::int32_t next = 1;
};

Registry& Sprites() {
  static Registry registry;
  return registry;
}

OpenSprite* Find(std::int32_t handle) {
  auto& sprites = Sprites().sprites;
  const auto found = sprites.find(handle);
  return found == sprites.end() ? nullptr : &found->second;
}

// The text a call returns, read by the worker at once (ccall copies it out).
std::string& Reply() {
  static std::string reply;
  return reply;
}

const char* Answer(std::string text) {
  Reply() = std::move(text);
  return Reply().c_str();
}

void AppendNumber(std::string& out, std::uint64_t value) { out += std::to_string(value); }

// Whether the indices name a frame of the sprite.
bool HasFrame(const vostrel::Sprite& sprite, int p, int f) {
  return p >= 0 && f >= 0 && p < sprite.pictures && f < sprite.framesPerPicture;
}

// Counts, sizes and storage of every frame, as JSON: frames[p][f] is [width, height, storage]
// with storage "raw", "run-length", or null for a size that cannot make a picture.
std::string Describe(std::int32_t handle, const vostrel::Sprite& sprite) {
  std::string out = "{\"handle\":";
  out += std::to_string(handle);
  out += ",\"pictures\":";
  out += std::to_string(sprite.pictures);
  out += ",\"framesPerPicture\":";
  out += std::to_string(sprite.framesPerPicture);
  out += ",\"palettes\":";
  out += std::to_string(sprite.PaletteCount());
  out += ",\"missingBytes\":";
  AppendNumber(out, sprite.missingBytes);
  out += ",\"frames\":[";
  for (std::int32_t p = 0; p < sprite.pictures; ++p) {
    out += p == 0 ? "[" : ",[";
    for (std::int32_t f = 0; f < sprite.framesPerPicture; ++f) {
      const vostrel::ArtFrameHeader& header = sprite.Frame(p, f).header;
      const bool pictured = vostrel::ShapeOf(header) != vostrel::FrameShape::kInvalid;
      out += f == 0 ? "[" : ",[";
      out += std::to_string(pictured ? header.width : 0);
      out += ',';
      out += std::to_string(pictured ? header.height : 0);
      out += ',';
      if (!pictured) {
        out += "null";
      } else {
        out += vostrel::StorageOf(header) == vostrel::FrameStorage::kRaw ? "\"raw\""
                                                                         : "\"run-length\"";
      }
      out += ']';
    }
    out += ']';
  }
  out += "]}";
  return out;
}

// Decodes frame f of picture p into the handle's plane; false for a size that cannot make a
// picture, or when the memory for it is exhausted (the page then draws nothing there).
bool DecodeInto(OpenSprite& open, int p, int f) {
  const vostrel::SpriteFrame& frame = open.sprite.Frame(p, f);
  try {
    return vostrel::DecodeFrame(frame.header, frame.data, open.plane).has_value();
  } catch (const std::bad_alloc&) {
    open.plane = {};
    return false;
  }
}

// The GIF of picture p in palette k made by the sheet code's encoder, into the handle's gif: the
// frames at the top left of a canvas as large as the picture's largest frame (as the page's
// tiles show them). False when the canvas is more than a GIF holds (checked, as vostrel-sheet
// checks it, before any frame is decoded), or memory is exhausted.
bool EncodePictureGif(OpenSprite& open, int p, int k, int fps,
                      std::optional<std::uint8_t> transparent) {
  const vostrel::Sprite& sprite = open.sprite;
  vostrel::Animation animation;
  animation.width = 1;
  animation.height = 1;
  for (int f = 0; f < sprite.framesPerPicture; ++f) {
    const vostrel::ArtFrameHeader& header = sprite.Frame(p, f).header;
    if (vostrel::MakesPicture(header)) {
      animation.width = std::max(animation.width, header.width);
      animation.height = std::max(animation.height, header.height);
    }
  }
  if (vostrel::GifCanvasRefusal(animation.width, animation.height)) {
    return false;
  }
  try {
    std::vector<std::vector<std::uint8_t>> planes(
        static_cast<std::size_t>(sprite.framesPerPicture));
    for (int f = 0; f < sprite.framesPerPicture; ++f) {
      const vostrel::SpriteFrame& frame = sprite.Frame(p, f);
      std::vector<std::uint8_t>& plane = planes[static_cast<std::size_t>(f)];
      vostrel::IndexedPlane indexed;
      if (vostrel::MakesPicture(frame.header) &&
          vostrel::DecodeFrame(frame.header, frame.data, plane).has_value()) {
        indexed.width = frame.header.width;
        indexed.height = frame.header.height;
        indexed.stride = static_cast<std::size_t>(frame.header.width);
        indexed.indices = plane;
      }
      animation.frames.push_back(indexed);
    }
    animation.colours.palette = sprite.palettes[static_cast<std::size_t>(k)];
    animation.colours.transparent = transparent;
    animation.fps = fps;
    open.gif = vostrel::EncodeGif(animation);
    return true;
  } catch (const std::bad_alloc&) {
    open.gif = {};
    return false;
  }
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

// `vostrel-pack -- original picturesDir output`, as JSON: its exit status and, on success, what
// the packer says it did: the frames it replaced and the pictures it rewrote
// ({"status":0,"replaced":[[p,f],...],"updated":[NAME,...]}). The names are the user's files'
// own, so one that begins with '-' is still a name, never an option.
EMSCRIPTEN_KEEPALIVE const char* vostrel_pack(const char* original, const char* picturesDir,
                                              const char* output) {
  const std::array<const char*, 5> argv{"vostrel-pack", "--", original, picturesDir, output};
  vostrel::PackOutcome outcome;
  const int status = vostrel::RunPack(static_cast<int>(argv.size()), argv.data(), std::cout,
                                      std::cerr, vostrel::platform::SystemFiles(), &outcome);
  std::cout.flush();
  std::string out = "{\"status\":" + std::to_string(status) + ",\"replaced\":[";
  if (status == 0) {
    for (const vostrel::FramePosition& frame : outcome.replacedFrames) {
      out += out.back() == '[' ? "[" : ",[";
      AppendNumber(out, frame.picture);
      out += ',';
      AppendNumber(out, frame.frame);
      out += ']';
    }
  }
  out += "],\"updated\":[";
  if (status == 0) {
    for (const std::string& picture : outcome.updatedPictures) {
      if (out.back() != '[') {
        out += ',';
      }
      vostrel::AppendJsonString(out, picture);
    }
  }
  out += "]}";
  return Answer(std::move(out));
}

// What `vostrel-sheet artPath destDir` writes with its default options (sheets, manifest and
// palette files, into an existing destDir), as JSON: {"status":0 or 1,"out":TEXT,"err":TEXT},
// the text being what the program would print. The file is made here rather than through the
// program's command line, which starts worker threads the page's core has not.
EMSCRIPTEN_KEEPALIVE const char* vostrel_sheet(const char* artPath, const char* destDir) {
  vostrel::SheetRequest request;
  request.artPath = artPath;
  request.destDir = destDir;
  request.version = VOSTREL_VERSION;
  vostrel::SheetOutcome outcome;
  try {
    vostrel::SheetWorkspace workspace;
    outcome = vostrel::MakeSheets(request, vostrel::platform::SystemFiles(), workspace);
  } catch (const std::bad_alloc&) {
    outcome.ok = false;
    outcome.err = "vostrel-sheet: " + request.artPath + ": too large for the page's memory\n";
  }
  std::string out = outcome.ok ? "{\"status\":0,\"out\":" : "{\"status\":1,\"out\":";
  vostrel::AppendJsonString(out, outcome.out);
  out += ",\"err\":";
  vostrel::AppendJsonString(out, outcome.err);
  out += '}';
  return Answer(std::move(out));
}

// Opens the .ART file at path for viewing: JSON with its handle and what Describe gives, or
// {"handle":0,"error":TEXT} when the loader refuses it or memory is exhausted.
EMSCRIPTEN_KEEPALIVE const char* vostrel_sprite_open(const char* path) {
  std::string refusal;
  try {
    std::unique_ptr<vostrel::ByteSource> source =
        vostrel::platform::SystemFiles().OpenForReading(path);
    if (source) {
      vostrel::SpriteLoad load = vostrel::ParseSprite(*source);
      if (load.sprite) {
        Registry& registry = Sprites();
        const std::int32_t handle = registry.next++;
        OpenSprite& open = registry.sprites[handle];
        open.sprite = std::move(*load.sprite);
        return Answer(Describe(handle, open.sprite));
      }
      refusal = vostrel::ArtLoadErrorText(load.error);
    } else {
      refusal = vostrel::ArtLoadErrorText(vostrel::ArtLoadError::kCannotOpen);
    }
  } catch (const std::bad_alloc&) {
    refusal = "too large for the page's memory";
  }
  std::string out = "{\"handle\":0,\"error\":";
  vostrel::AppendJsonString(out, refusal);
  out += '}';
  return Answer(std::move(out));
}

EMSCRIPTEN_KEEPALIVE void vostrel_sprite_close(std::int32_t handle) {
  Sprites().sprites.erase(handle);
}

// Palette k as 256 RGB triples; the file stores each entry as blue, green, red and a fourth
// byte, as a BMP colour table does. Nothing for a palette the file lacks.
EMSCRIPTEN_KEEPALIVE const VostrelBytes* vostrel_sprite_palette(std::int32_t handle, int k) {
  OpenSprite* open = Find(handle);
  if (!open || k < 0 || k >= open->sprite.PaletteCount()) {
    return nullptr;
  }
  open->rgb = vostrel::RgbOf(open->sprite.palettes[static_cast<std::size_t>(k)]);
  open->out = {open->rgb.data(), open->rgb.size()};
  return &open->out;
}

// The indices of frame f of picture p, top row first (its size is in the description).
// Nothing for a size that cannot make a picture or exhausted memory.
EMSCRIPTEN_KEEPALIVE const VostrelBytes* vostrel_sprite_frame(std::int32_t handle, int p, int f) {
  OpenSprite* open = Find(handle);
  if (!open || !HasFrame(open->sprite, p, f) || !DecodeInto(*open, p, f)) {
    return nullptr;
  }
  open->out = {open->plane.data(), open->plane.size()};
  return &open->out;
}

// The BMP of frame f of picture p in palette k, as vostrel writes it for an intact frame.
EMSCRIPTEN_KEEPALIVE const VostrelBytes* vostrel_sprite_bmp(std::int32_t handle, int p, int f,
                                                            int k) {
  OpenSprite* open = Find(handle);
  if (!open || !HasFrame(open->sprite, p, f) || k < 0 || k >= open->sprite.PaletteCount() ||
      !DecodeInto(*open, p, f)) {
    return nullptr;
  }
  const vostrel::ArtFrameHeader& header = open->sprite.Frame(p, f).header;
  try {
    open->bmp =
        vostrel::EncodeBmp(vostrel::BmpImage{header.width, header.height, open->plane,
                                             open->sprite.palettes[static_cast<std::size_t>(k)]});
  } catch (const std::bad_alloc&) {
    open->bmp = {};
  }
  if (open->bmp.empty()) {
    return nullptr;
  }
  open->out = {open->bmp.data(), open->bmp.size()};
  return &open->out;
}

// The animated GIF of picture p in palette k at fps frames a second, from the sheet code's GIF
// encoder; transparent is the index shown as transparent, or -1 for none. Nothing for a picture,
// palette or value out of range, or exhausted memory.
EMSCRIPTEN_KEEPALIVE const VostrelBytes* vostrel_sprite_gif(std::int32_t handle, int p, int k,
                                                            int fps, int transparent) {
  OpenSprite* open = Find(handle);
  if (!open || !HasFrame(open->sprite, p, 0) || k < 0 || k >= open->sprite.PaletteCount() ||
      fps < 1 || transparent < -1 || transparent > 255) {
    return nullptr;
  }
  const std::optional<std::uint8_t> index =
      transparent < 0 ? std::nullopt
                      : std::optional<std::uint8_t>(static_cast<std::uint8_t>(transparent));
  if (!EncodePictureGif(*open, p, k, fps, index)) {
    return nullptr;
  }
  open->out = {open->gif.data(), open->gif.size()};
  return &open->out;
}

// The stem of the pictures of an .ART file named artName (without its directory).
EMSCRIPTEN_KEEPALIVE const char* vostrel_picture_stem(const char* artName) {
  return Answer(vostrel::PictureStem(artName));
}

// The name vostrel gives picture p, frame f, palette k of artName, with that extension.
EMSCRIPTEN_KEEPALIVE const char* vostrel_picture_name(const char* artName, int p, int f, int k,
                                                      const char* extension) {
  std::string name = vostrel::PictureStem(artName);
  vostrel::AppendPictureSuffix(name, p, f, k, extension);
  return Answer(std::move(name));
}

// A picture's name read back as vostrel-pack reads it for the stem of artName: JSON with its
// picture, frame, palette and extension, or null when it is no such name.
EMSCRIPTEN_KEEPALIVE const char* vostrel_read_picture_name(const char* name, const char* artName) {
  const std::string stem = vostrel::PictureStem(artName);
  const std::optional<vostrel::PictureName> read =
      vostrel::ReadPictureName(name, stem, /*stemIgnoringCase=*/false);
  if (!read) {
    return Answer("null");
  }
  std::string out = "{\"picture\":";
  AppendNumber(out, read->picture);
  out += ",\"frame\":";
  AppendNumber(out, read->frame);
  out += ",\"palette\":";
  AppendNumber(out, read->palette);
  out += ",\"extension\":";
  vostrel::AppendJsonString(out, read->extension);
  out += '}';
  return Answer(std::move(out));
}

}  // extern "C"
