// The WebAssembly build's entry points, called from the page's workers through a plain C API.
// A file the user chose stays the browser's: the viewer reads the parts it needs from it when it
// needs them, through the worker (which reads a slice of the file synchronously); a program run
// is handed the file in pieces before it starts and lets each piece go once it has read it.
// Converting, making sheets and packing run the programs' own code, so the page writes the same
// files and console text as `vostrel FILE DEST`, `vostrel-sheet` and `vostrel-pack`; what the
// converter and the sheet code write is handed to the worker a file at a time as it is written,
// never kept here. The viewer works on the sprite model: a file opened for viewing is its table,
// held under a handle, and each frame's block is read, decoded, or made into a BMP or a GIF only
// when asked. The page's rules (names, limits, the tiles' size) are asked of the core too.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <iostream>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "formats/bmp/bmp_encode.hpp"
#include "formats/gif/gif_encode.hpp"
#include "formats/indexed_image.hpp"
#include "formats/manifest/manifest_schema.hpp"
#include "formats/zip/zip_writer.hpp"
#include "io/byte_source.hpp"
#include "io/files.hpp"
#include "io/json_text.hpp"
#include "io/path.hpp"
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
#include "sprite/sprite_table.hpp"

// Bytes the core holds for the worker to copy out: valid until the next call on the same
// handle. Its two words are read from the heap by the worker (wasm32: 4 bytes each).
struct VostrelBytes {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

// The worker's side (web/src/core.js sets these on the module). readFile reads bytes of the
// worker's file number `file` from offset into the view: how many it read, or -1 when the file
// can no longer be read (changed or removed since it was chosen). written takes the files a
// program writes under its output directory: begin(path), write(bytes) for each piece in order,
// end(); each answers whether it took them.
EM_JS(double, vostrel_js_read, (int file, double offset, std::uint8_t* out, std::size_t size),
      { return Module.readFile(file, offset, HEAPU8.subarray(out, out + size)); });
EM_JS(int, vostrel_js_begin, (const char* path),
      { return Module.written.begin(UTF8ToString(path)) ? 1 : 0; });
EM_JS(int, vostrel_js_write, (const std::uint8_t* data, std::size_t size),
      { return Module.written.write(HEAPU8.subarray(data, data + size)) ? 1 : 0; });
EM_JS(int, vostrel_js_end, (), { return Module.written.end() ? 1 : 0; });
// Asked for a zip, the programs' files go into one made here, whose bytes go to zip(bytes) as
// they are written (each file still begins with begin(path)).
EM_JS(int, vostrel_js_zip, (const std::uint8_t* data, std::size_t size),
      { return Module.written.zip(HEAPU8.subarray(data, data + size)) ? 1 : 0; });

namespace {

// Reads of a browser's file cross to another process, so they are made few: each read takes a
// window of the file at once. The viewer's is smaller, since it reads a file's front (header,
// palettes and frame-header table) and the frames it shows, a few at a time; a program reads the
// whole file front to back.
constexpr std::size_t kViewWindow = std::size_t{256} << 10;
constexpr std::size_t kRunWindow = std::size_t{1} << 20;
// The most of a file the viewer's worker reads ahead for the frames it is about to decode (it
// reads those without waiting on the browser, and without a new buffer for each read).
constexpr std::uint64_t kMostReadAhead = std::uint64_t{4} << 20;
// The most of a zip held here before it is handed to the worker, which hands it on to a Blob
// (kept by the browser outside the page's processes).
constexpr std::size_t kZipHandOnBytes = std::size_t{512} << 10;
// What vostrel_convert returns for a zip it could not finish: no exit status of vostrel's.
constexpr int kZipUnfinished = -1;
// The index of a palette entry that the page may show as transparent: any of them.
constexpr int kMaxPaletteIndex = static_cast<int>(vostrel::kPaletteEntries) - 1;

// A file the user chose, read through the worker where it lies.
class BrowserFile : public vostrel::RandomAccessSource {
 public:
  BrowserFile(int file, std::uint64_t size) : file_(file), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (out.empty() || offset >= size_) {
      return 0;
    }
    const double got = vostrel_js_read(file_, static_cast<double>(offset), out.data(), out.size());
    if (got < 0) {
      throw std::runtime_error("the file can no longer be read");
    }
    return static_cast<std::size_t>(got);
  }

 private:
  int file_;
  std::uint64_t size_;
};

// The chosen file as the worker hands it over before a program runs, in pieces in order, read by
// the program front to back. A piece is let go as soon as the program has read past it, so the
// sprite it reads takes the place of the file's bytes rather than coming on top of them. Reading
// past the pieces handed over (the worker could not read the rest) fails as the browser's file
// does.
class PreloadedFile : public vostrel::ByteSource {
 public:
  explicit PreloadedFile(std::uint64_t size) : size_(size) {}
  std::uint64_t Size() const override { return size_; }
  // Room for the file's next `size` bytes, for the worker to fill; null when that would be more
  // than the file holds or memory is exhausted.
  std::uint8_t* Add(std::size_t size) {
    if (size > size_ - added_) {
      return nullptr;
    }
    try {
      std::vector<std::uint8_t>& piece = pieces_.emplace_back(size);
      added_ += size;
      return piece.data();
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  std::size_t Read(std::span<std::uint8_t> out) override {
    std::size_t done = 0;
    while (done < out.size() && given_ < size_) {
      if (pieces_.empty()) {
        throw std::runtime_error("the file can no longer be read");
      }
      const std::vector<std::uint8_t>& front = pieces_.front();
      const std::size_t count = std::min(out.size() - done, front.size() - at_);
      std::copy_n(front.begin() + static_cast<std::ptrdiff_t>(at_), count,
                  out.begin() + static_cast<std::ptrdiff_t>(done));
      done += count;
      given_ += count;
      at_ += count;
      if (at_ == front.size()) {
        pieces_.pop_front();
        at_ = 0;
      }
    }
    return done;
  }

 private:
  std::uint64_t size_;
  std::deque<std::vector<std::uint8_t>> pieces_;  // the front one is read next, from at_
  std::size_t at_ = 0;
  std::uint64_t added_ = 0;  // the bytes handed over
  std::uint64_t given_ = 0;  // the bytes read
};

// The file handed over for the next program run; the run takes it.
std::unique_ptr<PreloadedFile>& Preloaded() {
  static std::unique_ptr<PreloadedFile> preloaded;
  return preloaded;
}

// A file written under the output directory, handed to the worker piece by piece.
class HandedWriter : public vostrel::FileWriter {
 public:
  bool Write(std::span<const std::span<const std::uint8_t>> pieces) override {
    return std::all_of(pieces.begin(), pieces.end(), [](std::span<const std::uint8_t> piece) {
      return piece.empty() || vostrel_js_write(piece.data(), piece.size()) != 0;
    });
  }
  bool Close() override { return vostrel_js_end() != 0; }
};

// A zip of the files a program writes, handed to the worker as it grows.
class PageZip {
 public:
  // Adds a file, then hands on what has grown past the threshold: false when either fails.
  bool Add(std::string_view name, std::span<const std::uint8_t> bytes) {
    try {
      return zip_.Add(name, bytes) && HandOn(kZipHandOnBytes);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  // Ends the zip, handing its directory on as it grows, and hands on the rest.
  bool Finish() {
    try {
      while (!zip_.Finish(kZipHandOnBytes)) {
        if (!HandOn(0)) {
          return false;
        }
      }
    } catch (const std::bad_alloc&) {
      return false;
    }
    return HandOn(0);
  }
  // The buffer each file is gathered in, kept from one file to the next.
  std::vector<std::uint8_t>& FileBuffer() { return file_; }

 private:
  bool HandOn(std::size_t atLeast) {
    const std::span<const std::uint8_t> pending = zip_.Pending();
    if (pending.empty() || pending.size() < atLeast) {
      return true;
    }
    const bool taken = vostrel_js_zip(pending.data(), pending.size()) != 0;
    zip_.TakePending();
    return taken;
  }

  vostrel::ZipWriter zip_;
  std::vector<std::uint8_t> file_;
};

// A file written under the output directory into the page's zip: gathered whole, then added.
// One the program leaves unclosed (it ended while writing) goes in as far as it got.
class ZippedWriter : public vostrel::FileWriter {
 public:
  ZippedWriter(PageZip& zip, std::string name) : zip_(zip), name_(std::move(name)) {
    zip_.FileBuffer().clear();
  }
  ZippedWriter(const ZippedWriter&) = delete;
  ZippedWriter& operator=(const ZippedWriter&) = delete;
  ~ZippedWriter() override {
    if (!closed_) {
      zip_.Add(name_, zip_.FileBuffer());
    }
  }
  bool Write(std::span<const std::span<const std::uint8_t>> pieces) override {
    try {
      for (const std::span<const std::uint8_t> piece : pieces) {
        zip_.FileBuffer().insert(zip_.FileBuffer().end(), piece.begin(), piece.end());
      }
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  bool Close() override {
    closed_ = true;
    return zip_.Add(name_, zip_.FileBuffer());
  }

 private:
  PageZip& zip_;
  std::string name_;
  bool closed_ = false;
};

// The files a program run for the page reaches: the chosen file (at inputPath) as the worker
// handed it over (opened again, read from the browser's file), what it writes under outputDir
// handed to the worker, anything else on the in-memory file system. The worker takes a file as
// it is handed, so the programs never have one to remove: removing a handed file is left to the
// worker, which has it. Given a zip, the handed files go into it.
class PageFiles : public vostrel::Files {
 public:
  PageFiles(std::string inputPath, BrowserFile input, std::string outputDir, PageZip* zip)
      : zip_(zip),
        inputPath_(std::move(inputPath)),
        preloaded_(std::move(Preloaded())),
        input_(input),
        ahead_(input_, kRunWindow),
        outputDir_(std::move(outputDir)) {}
  PageFiles(const PageFiles&) = delete;
  PageFiles& operator=(const PageFiles&) = delete;

  std::unique_ptr<vostrel::ByteSource> OpenForReading(const std::string& path) override {
    if (path == inputPath_ && preloaded_) {
      return std::move(preloaded_);
    }
    if (path == inputPath_) {
      return std::make_unique<vostrel::SequentialSource>(ahead_);
    }
    return System().OpenForReading(path);
  }
  std::unique_ptr<vostrel::FileWriter> Create(const std::string& path) override {
    if (!Handed(path)) {
      return System().Create(path);
    }
    if (vostrel_js_begin(path.c_str()) == 0) {
      return nullptr;
    }
    if (zip_) {
      return std::make_unique<ZippedWriter>(*zip_, path.substr(outputDir_.size()));
    }
    return std::make_unique<HandedWriter>();
  }
  std::optional<std::string> Replace(const std::string& path,
                                     std::span<const std::uint8_t> bytes) override {
    return System().Replace(path, bytes);
  }
  std::unique_ptr<vostrel::StagedWrite> Stage(const std::string& path,
                                              std::span<const std::uint8_t> bytes,
                                              std::string& failure) override {
    return System().Stage(path, bytes, failure);
  }
  std::optional<std::vector<std::string>> ListDirectory(const std::string& dir) override {
    return System().ListDirectory(dir);
  }
  void RemoveFile(const std::string& path) override {
    if (!Handed(path)) {
      System().RemoveFile(path);
    }
  }
  vostrel::PathStatus StatusOf(const std::string& path) override {
    if (path == inputPath_) {
      return {vostrel::PathKind::kRegularFile, {}};
    }
    return System().StatusOf(path);
  }

 private:
  static vostrel::Files& System() { return vostrel::platform::SystemFiles(); }
  bool Handed(std::string_view path) const { return path.starts_with(outputDir_); }

  PageZip* zip_;
  std::string inputPath_;
  std::unique_ptr<PreloadedFile> preloaded_;
  BrowserFile input_;
  vostrel::ReadAheadSource ahead_;
  std::string outputDir_;
};

// A file opened for viewing, and the last bytes handed out for it. Its reader refers to its
// file, so it stays where it is made.
struct OpenSprite {
  explicit OpenSprite(BrowserFile source) : file(source), reader(file, kViewWindow) {}
  OpenSprite(const OpenSprite&) = delete;
  OpenSprite& operator=(const OpenSprite&) = delete;
  BrowserFile file;
  vostrel::ReadAheadSource reader;
  vostrel::SpriteTable table;
  std::vector<std::uint8_t> plane;
  std::vector<std::uint8_t> bmp;
  vostrel::PaletteRgb rgb{};
  std::vector<std::uint8_t> gif;
  VostrelBytes out;
};

// The opened files by handle. Every call names its handle, so calls on different files may
// interleave in any order.
struct Registry {
  std::map<std::int32_t, std::unique_ptr<OpenSprite>> sprites;
  std::int32_t next = 1;
};

Registry& Sprites() {
  static Registry registry;
  return registry;
}

OpenSprite* Find(std::int32_t handle) {
  auto& sprites = Sprites().sprites;
  const auto found = sprites.find(handle);
  return found == sprites.end() ? nullptr : found->second.get();
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

// The screen of picture p, on which the page's tile and its GIF show the frames at the top left:
// as large as its largest frame that makes a picture, and never empty.
std::pair<std::int32_t, std::int32_t> PictureScreen(const vostrel::Sprite& sprite, int p) {
  std::int32_t width = 1;
  std::int32_t height = 1;
  for (int f = 0; f < sprite.framesPerPicture; ++f) {
    const vostrel::ArtFrameHeader& header = sprite.Frame(p, f).header;
    if (vostrel::MakesPicture(header)) {
      width = std::max(width, header.width);
      height = std::max(height, header.height);
    }
  }
  return {width, height};
}

// Counts, sizes and storage of every frame, as JSON: frames[p][f] is [width, height, storage]
// with storage "raw", "run-length", or null for a size that cannot make a picture; screens[p]
// is picture p's [width, height] (PictureScreen).
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
  out += "],\"screens\":[";
  for (std::int32_t p = 0; p < sprite.pictures; ++p) {
    const auto [width, height] = PictureScreen(sprite, p);
    out += p == 0 ? "[" : ",[";
    out += std::to_string(width);
    out += ',';
    out += std::to_string(height);
    out += ']';
  }
  out += "]}";
  return out;
}

// Decodes frame f of picture p, its block read from the file, into plane; false for a size that
// cannot make a picture, a file that can no longer be read, or exhausted memory (the page then
// draws nothing there).
bool DecodeInto(OpenSprite& open, int p, int f, std::vector<std::uint8_t>& plane) {
  try {
    const std::vector<std::uint8_t> block = ReadFrameBlock(open.table, p, f, open.reader);
    return vostrel::DecodeFrame(open.table.Frame(p, f), block, plane).has_value();
  } catch (const std::bad_alloc&) {
    plane = {};
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

// The GIF of picture p in palette k made by the sheet code's encoder, into the handle's gif: the
// frames at the top left of the picture's screen (as the page's tiles show them). False when the
// screen is more than a GIF holds (checked, as vostrel-sheet checks it, before any frame is
// read), a frame cannot be read, or memory is exhausted.
bool EncodePictureGif(OpenSprite& open, int p, int k, int fps,
                      std::optional<std::uint8_t> transparent) {
  const vostrel::Sprite& sprite = open.table.sprite;
  vostrel::Animation animation;
  std::tie(animation.width, animation.height) = PictureScreen(sprite, p);
  if (vostrel::GifCanvasRefusal(animation.width, animation.height)) {
    return false;
  }
  try {
    std::vector<std::vector<std::uint8_t>> planes(
        static_cast<std::size_t>(sprite.framesPerPicture));
    for (int f = 0; f < sprite.framesPerPicture; ++f) {
      const vostrel::ArtFrameHeader& header = open.table.Frame(p, f);
      std::vector<std::uint8_t>& plane = planes[static_cast<std::size_t>(f)];
      vostrel::IndexedPlane indexed;
      if (vostrel::MakesPicture(header)) {
        if (!DecodeInto(open, p, f, plane)) {
          return false;
        }
        indexed.width = header.width;
        indexed.height = header.height;
        indexed.stride = static_cast<std::size_t>(header.width);
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

// The argument of a call that names a frame rate: a whole number in the range vostrel-sheet takes.
bool IsFps(int fps) {
  return fps >= vostrel::manifest::kMinFps && fps <= vostrel::manifest::kMaxFps;
}

void AppendJsonStrings(std::string& out, std::span<const std::string_view> texts) {
  out += '[';
  for (const std::string_view text : texts) {
    if (out.back() != '[') {
      out += ',';
    }
    vostrel::AppendJsonString(out, text);
  }
  out += ']';
}

}  // namespace

extern "C" {

// Begins handing over the chosen file, of that size, for the next program run: false for a size
// past what the core can hold.
EMSCRIPTEN_KEEPALIVE int vostrel_preload_begin(double size) {
  if (!(size >= 0) || size > static_cast<double>(std::numeric_limits<std::size_t>::max())) {
    return 0;
  }
  Preloaded() = std::make_unique<PreloadedFile>(static_cast<std::uint64_t>(size));
  return 1;
}

// Room in the core for the file's next `size` bytes, which the worker fills before it asks for
// more; null when memory is exhausted or the file holds fewer (the run then reads what was
// handed over and fails as for a file that can no longer be read).
EMSCRIPTEN_KEEPALIVE std::uint8_t* vostrel_preload_piece(std::size_t size) {
  return Preloaded() ? Preloaded()->Add(size) : nullptr;
}

// `vostrel artPath destDir` on the worker's file number `file` of that size, as if it were at
// artPath: returns its exit status. Its text goes to standard output and error; each BMP goes to
// the worker as it is written, or into a zip handed to the worker as it grows when zip is set
// (kZipUnfinished when memory ran out before the zip was whole).
EMSCRIPTEN_KEEPALIVE int vostrel_convert(int file, double size, const char* artPath,
                                         const char* destDir, int zip) {
  std::string outputDir = destDir;
  if (!outputDir.empty() && outputDir.back() != vostrel::kPathSeparator) {
    outputDir += vostrel::kPathSeparator;
  }
  std::optional<PageZip> zipped;
  if (zip != 0) {
    zipped.emplace();
  }
  int status = 0;
  {
    PageFiles files(artPath, BrowserFile(file, static_cast<std::uint64_t>(size)), outputDir,
                    zipped ? &*zipped : nullptr);
    const std::array<const char*, 3> argv{"vostrel", artPath, destDir};
    status = vostrel::Run(static_cast<int>(argv.size()), argv.data(),
                          vostrel::platform::StandardConsole(), files);
  }
  std::cout.flush();
  return zipped && !zipped->Finish() ? kZipUnfinished : status;
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
// palette files) for the worker's file number `file` of that size, as if it were at artPath:
// each file goes to the worker as it is written. As JSON: {"status":0 or 1,"out":TEXT,
// "err":TEXT}, the text being what the program would print. The file is made here rather than
// through the program's command line, which starts worker threads the page's core has not. With
// zip set, the files go into a zip handed to the worker as it grows.
EMSCRIPTEN_KEEPALIVE const char* vostrel_sheet(int file, double size, const char* artPath,
                                               const char* destDir, int zip) {
  vostrel::SheetRequest request;
  request.artPath = artPath;
  request.destDir = destDir;
  request.version = VOSTREL_VERSION;
  std::string outputDir = destDir;
  if (!outputDir.empty() && outputDir.back() != '/') {
    outputDir += '/';
  }
  std::optional<PageZip> zipped;
  if (zip != 0) {
    zipped.emplace();
  }
  vostrel::SheetOutcome outcome;
  try {
    PageFiles files(artPath, BrowserFile(file, static_cast<std::uint64_t>(size)), outputDir,
                    zipped ? &*zipped : nullptr);
    vostrel::SheetWorkspace workspace;
    outcome = vostrel::MakeSheets(request, files, workspace);
  } catch (const std::bad_alloc&) {
    outcome.ok = false;
  }
  if (zipped && outcome.ok && !zipped->Finish()) {
    outcome.ok = false;
  }
  if (!outcome.ok && outcome.err.empty()) {
    outcome.err = "vostrel-sheet: " + request.artPath + ": too large for the page's memory\n";
  }
  std::string out = outcome.ok ? "{\"status\":0,\"out\":" : "{\"status\":1,\"out\":";
  vostrel::AppendJsonString(out, outcome.out);
  out += ",\"err\":";
  vostrel::AppendJsonString(out, outcome.err);
  out += '}';
  return Answer(std::move(out));
}

// Opens the worker's file number `file` of that size for viewing: its header, palettes and
// frame-header table are read, no frame's bytes. JSON with its handle and what Describe gives,
// or {"handle":0,"error":TEXT} when the loader refuses it (as vostrel would) or memory is
// exhausted.
EMSCRIPTEN_KEEPALIVE const char* vostrel_sprite_open(int file, double size) {
  std::string refusal;
  try {
    auto open = std::make_unique<OpenSprite>(BrowserFile(file, static_cast<std::uint64_t>(size)));
    vostrel::SequentialSource front(open->reader);
    vostrel::SpriteTableLoad load = vostrel::ParseSpriteTable(front);
    if (load.table) {
      open->table = std::move(*load.table);
      Registry& registry = Sprites();
      const std::int32_t handle = registry.next++;
      const OpenSprite& kept = *(registry.sprites[handle] = std::move(open));
      return Answer(Describe(handle, kept.table.sprite));
    }
    refusal = vostrel::ArtLoadErrorText(load.error);
  } catch (const std::bad_alloc&) {
    refusal = "too large for the page's memory";
  }
  std::string out = "{\"handle\":0,\"error\":";
  vostrel::AppendJsonString(out, refusal);
  out += '}';
  return Answer(std::move(out));
}

// The part of the file that holds the blocks of frames first to first + count - 1 of picture p,
// as JSON [offset, size]: for the worker to read ahead into vostrel_sprite_window. [0, 0] when
// there is nothing to read or more than is read ahead at once (those frames are then read as
// they are decoded).
EMSCRIPTEN_KEEPALIVE const char* vostrel_sprite_span(std::int32_t handle, int p, int first,
                                                     int count) {
  const OpenSprite* open = Find(handle);
  std::uint64_t from = 0;
  std::uint64_t to = 0;
  if (open) {
    const vostrel::SpriteTable& table = open->table;
    from = table.fileSize;
    for (int f = std::max(first, 0); f < first + count && HasFrame(table.sprite, p, f); ++f) {
      const std::uint64_t at = std::min(table.BlockAt(p, f), table.fileSize);
      const auto size = static_cast<std::uint64_t>(std::max(table.Frame(p, f).dataSize, 0));
      from = std::min(from, at);
      to = std::max(to, std::min(table.fileSize, at + size));
    }
  }
  if (to <= from || to - from > kMostReadAhead) {
    from = to = 0;
  }
  return Answer("[" + std::to_string(from) + "," + std::to_string(to - from) + "]");
}

// Room for size bytes of the file from offset on (a span vostrel_sprite_span gave), for the
// worker to fill: the handle's reads are then served from them. Null for no such handle.
EMSCRIPTEN_KEEPALIVE std::uint8_t* vostrel_sprite_window(std::int32_t handle, double offset,
                                                         std::size_t size) {
  OpenSprite* open = Find(handle);
  if (!open || !(offset >= 0) || size > kMostReadAhead) {
    return nullptr;
  }
  try {
    return open->reader.PlaceWindow(static_cast<std::uint64_t>(offset), size).data();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// How many bytes of the room vostrel_sprite_window gave the worker filled, from its start.
EMSCRIPTEN_KEEPALIVE void vostrel_sprite_window_filled(std::int32_t handle, std::size_t filled) {
  if (OpenSprite* open = Find(handle)) {
    open->reader.KeepWindow(filled);
  }
}

EMSCRIPTEN_KEEPALIVE void vostrel_sprite_close(std::int32_t handle) {
  Sprites().sprites.erase(handle);
}

// Palette k as 256 RGB triples; the file stores each entry as blue, green, red and a fourth
// byte, as a BMP colour table does. Nothing for a palette the file lacks.
EMSCRIPTEN_KEEPALIVE const VostrelBytes* vostrel_sprite_palette(std::int32_t handle, int k) {
  OpenSprite* open = Find(handle);
  if (!open || k < 0 || k >= open->table.sprite.PaletteCount()) {
    return nullptr;
  }
  open->rgb = vostrel::RgbOf(open->table.sprite.palettes[static_cast<std::size_t>(k)]);
  open->out = {open->rgb.data(), open->rgb.size()};
  return &open->out;
}

// The indices of frame f of picture p, top row first (its size is in the description).
// Nothing for a size that cannot make a picture, a file that can no longer be read, or
// exhausted memory.
EMSCRIPTEN_KEEPALIVE const VostrelBytes* vostrel_sprite_frame(std::int32_t handle, int p, int f) {
  OpenSprite* open = Find(handle);
  if (!open || !HasFrame(open->table.sprite, p, f) || !DecodeInto(*open, p, f, open->plane)) {
    return nullptr;
  }
  open->out = {open->plane.data(), open->plane.size()};
  return &open->out;
}

// The BMP of frame f of picture p in palette k, as vostrel writes it for an intact frame.
EMSCRIPTEN_KEEPALIVE const VostrelBytes* vostrel_sprite_bmp(std::int32_t handle, int p, int f,
                                                            int k) {
  OpenSprite* open = Find(handle);
  if (!open || !HasFrame(open->table.sprite, p, f) || k < 0 ||
      k >= open->table.sprite.PaletteCount() || !DecodeInto(*open, p, f, open->plane)) {
    return nullptr;
  }
  const vostrel::ArtFrameHeader& header = open->table.Frame(p, f);
  try {
    open->bmp = vostrel::EncodeBmp(
        vostrel::BmpImage{header.width, header.height, open->plane,
                          open->table.sprite.palettes[static_cast<std::size_t>(k)]});
  } catch (const std::bad_alloc&) {
    open->bmp = {};
  }
  if (open->bmp.empty()) {
    return nullptr;
  }
  open->out = {open->bmp.data(), open->bmp.size()};
  return &open->out;
}

// The animated GIF of picture p in palette k at fps frames a second (in the range vostrel-sheet
// takes), from the sheet code's GIF encoder; transparent is the index shown as transparent, or
// -1 for none. Nothing for a picture, palette or value out of range, a file that can no longer
// be read, or exhausted memory.
EMSCRIPTEN_KEEPALIVE const VostrelBytes* vostrel_sprite_gif(std::int32_t handle, int p, int k,
                                                            int fps, int transparent) {
  OpenSprite* open = Find(handle);
  if (!open || !HasFrame(open->table.sprite, p, 0) || k < 0 ||
      k >= open->table.sprite.PaletteCount() || !IsFps(fps) || transparent < -1 ||
      transparent > kMaxPaletteIndex) {
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

// A small sprite made by the model, written, and read back and shown as a chosen file is: the
// browser compiles the core's code when it first runs, and this way the first file chosen does
// not wait for that. Returns whether it came back as it was made.
EMSCRIPTEN_KEEPALIVE int vostrel_warm_up() {
  constexpr std::int32_t kSide = 16;
  vostrel::Sprite sprite;
  // The eight-picture layout (flags 0) of one frame each, with one palette.
  sprite.header.frameCount = 1;
  sprite.header.palettePresent[0] = 1;
  const std::optional<vostrel::ArtLayout> layout = vostrel::LayoutOf(sprite.header);
  sprite.pictures = layout->pictures;
  sprite.framesPerPicture = layout->framesPerPicture;
  sprite.palettes.resize(static_cast<std::size_t>(vostrel::CountPalettes(sprite.header)));
  sprite.frames.resize(static_cast<std::size_t>(sprite.pictures * sprite.framesPerPicture));
  const std::vector<std::uint8_t> indices(kSide * kSide, 1);
  for (std::size_t i = 0; i < sprite.frames.size(); ++i) {
    vostrel::ReplaceFrame(
        sprite.frames[i], kSide, kSide,
        vostrel::EncodeFrame(
            indices, i % 2 == 0 ? vostrel::FrameStorage::kRaw : vostrel::FrameStorage::kRunLength));
  }
  const std::vector<std::uint8_t> bytes = vostrel::SerializeSprite(sprite);
  vostrel::SpanRandomSource file(bytes);
  vostrel::ReadAheadSource reader(file, kViewWindow);
  vostrel::SequentialSource front(reader);
  const vostrel::SpriteTableLoad load = vostrel::ParseSpriteTable(front);
  bool same = load.table.has_value();
  std::vector<std::uint8_t> plane;
  for (int p = 0; same && p < sprite.pictures; ++p) {
    const std::vector<std::uint8_t> block = vostrel::ReadFrameBlock(*load.table, p, 0, reader);
    same = vostrel::DecodeFrame(load.table->Frame(p, 0), block, plane).has_value() &&
           plane == indices &&
           !vostrel::EncodeBmp(vostrel::BmpImage{kSide, kSide, plane, sprite.palettes[0]}).empty();
  }
  return same ? 1 : 0;
}

// The page's rules, as JSON: the frames a second an animation may have and vostrel-sheet's
// default, the highest palette index, and the extensions of .ART files, of the pictures
// vostrel-pack takes and of the manifest.
EMSCRIPTEN_KEEPALIVE const char* vostrel_rules() {
  std::string out = "{\"fps\":{\"min\":";
  out += std::to_string(vostrel::manifest::kMinFps);
  out += ",\"max\":";
  out += std::to_string(vostrel::manifest::kMaxFps);
  out += ",\"default\":";
  out += std::to_string(vostrel::SheetRequest{}.fps);
  out += "},\"maxPaletteIndex\":";
  out += std::to_string(kMaxPaletteIndex);
  out += ",\"extensions\":{\"art\":";
  vostrel::AppendJsonString(out, vostrel::kArtExtension);
  out += ",\"pictures\":";
  AppendJsonStrings(out, vostrel::kPictureExtensions);
  out += ",\"manifest\":";
  vostrel::AppendJsonString(out, vostrel::kManifestExtension);
  out += "}}";
  return Answer(std::move(out));
}

// What a file of that name is to the page: "art" (an .ART file), "picture" (a picture
// vostrel-pack takes), "manifest", or "" for none of these; by its extension, in any case.
EMSCRIPTEN_KEEPALIVE const char* vostrel_file_kind(const char* name) {
  const std::string_view text = name;
  if (vostrel::EndsWithIgnoringCase(text, vostrel::kArtExtension)) {
    return "art";
  }
  if (std::any_of(
          vostrel::kPictureExtensions.begin(), vostrel::kPictureExtensions.end(),
          [text](std::string_view known) { return vostrel::EndsWithIgnoringCase(text, known); })) {
    return "picture";
  }
  return vostrel::EndsWithIgnoringCase(text, vostrel::kManifestExtension) ? "manifest" : "";
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

// The name vostrel-sheet gives the animation of picture p in palette k of artName, with that
// extension (".gif").
EMSCRIPTEN_KEEPALIVE const char* vostrel_animation_name(const char* artName, int p, int k,
                                                        const char* extension) {
  std::string name = vostrel::AnimationBaseName(vostrel::PictureStem(artName), p, k);
  name += extension;
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
