// The plug-in inside the image editor itself: GIMP's console program in batch mode, no display,
// under a scratch HOME whose plug-ins folder holds the plug-in as built. One start runs every
// case, each a Script-Fu command of its own (a fresh interpreter each, so each carries its
// definitions), marked on standard error so that the checks below find what it printed. Skipped
// where gimp-console-2.10 is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sprite/sprite.hpp"
#include "support/art_writer.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// Definitions every case's script starts with. Each pixel the editor is asked for costs a call
// across its plug-in wire (some milliseconds), so layers are dumped as "LAYER name|width|height"
// and only chosen pixels are read: "PROBE layer| i i i" for a list of (x . y).
constexpr const char* kPrelude = R"((define (num n) (number->string n))
(define (layer-at image i) (aref (cadr (gimp-image-get-layers image)) i))
(define (pixel layer x y) (aref (cadr (gimp-drawable-get-pixel layer x y)) 0))
(define (dump-layer layer)
  (gimp-message (string-append "LAYER " (car (gimp-item-get-name layer)) "|"
                               (num (car (gimp-drawable-width layer))) "|"
                               (num (car (gimp-drawable-height layer))))))
(define (dump image)
  (let ((n (car (gimp-image-get-layers image))))
    (gimp-message (string-append "IMAGE " (num (car (gimp-image-width image))) "|"
                                 (num (car (gimp-image-height image))) "|" (num n)))
    (do ((i 0 (+ i 1))) ((= i n)) (dump-layer (layer-at image i)))))
(define (probe image i positions)
  (let ((out (string-append "PROBE " (num i) "|")))
    (for-each (lambda (p) (set! out (string-append out " " (num (pixel (layer-at image i) (car p) (cdr p))))))
              positions)
    (gimp-message out)))
(define (open name) (car (gimp-file-load RUN-NONINTERACTIVE name name)))
(define (frame-name p f) (string-append "Picture " (num p) " Frame " (num f)))
(define (save image name) (gimp-file-save RUN-NONINTERACTIVE image (layer-at image 0) name name))
)";

// The layer of door.art that the editing cases change: the fourth from the top, picture 2's
// frame 1, which is not its own mirror image.
constexpr int kEditedLayer = 3;
// Pixels of that layer read back after it is made 40 x 20.
const std::vector<std::pair<std::int32_t, std::int32_t>> kResizeProbes = {
    {0, 0}, {39, 0}, {0, 19}, {39, 19}, {5, 3}, {17, 11}, {30, 2}, {34, 18}, {2, 15}};

std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

// The frame a layer shows, counted from the top of the stack: pictures top down, and within a
// picture the last frame at the top (as the editor's playback runs bottom up).
struct FrameAt {
  std::int32_t picture = 0;
  std::int32_t frame = 0;
};

FrameAt FrameOfLayerInTest(std::size_t index, std::int32_t framesPerPicture) {
  const auto frames = static_cast<std::size_t>(framesPerPicture);
  return {static_cast<std::int32_t>(index / frames),
          static_cast<std::int32_t>(frames - 1 - index % frames)};
}

using Position = std::pair<std::int32_t, std::int32_t>;

// The indices of a frame, decoded as the converter decodes it.
std::vector<std::uint8_t> Plane(const SpriteFrame& frame) {
  std::vector<std::uint8_t> plane;
  EXPECT_TRUE(DecodeFrame(frame.header, frame.data, plane));
  return plane;
}

// The pixels of a frame worth reading back: its corners and centre, and up to seven more spread
// over those that are not 0 and differ from their mirror images, so that a flipped, shifted or
// cleared layer shows.
std::vector<Position> Probes(const std::vector<std::uint8_t>& plane, std::int32_t width,
                             std::int32_t height) {
  std::vector<Position> probes = {
      {0, 0}, {width - 1, 0}, {0, height - 1}, {width - 1, height - 1}, {width / 2, height / 2}};
  const auto at = [&](std::int32_t x, std::int32_t y) {
    return plane[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x)];
  };
  std::vector<Position> telling;
  for (std::int32_t y = 0; y < height && telling.size() < 100000; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      if (at(x, y) != 0 && at(x, y) != at(width - 1 - x, y) && at(x, y) != at(x, height - 1 - y)) {
        telling.emplace_back(x, y);
      }
    }
  }
  constexpr std::size_t kMore = 7;
  for (std::size_t k = 0; k < std::min(kMore, telling.size()); ++k) {
    probes.push_back(telling[k * telling.size() / std::min(kMore, telling.size())]);
  }
  return probes;
}

std::string SchemeList(const std::vector<Position>& positions) {
  std::string list = "'(";
  for (const auto& [x, y] : positions) {
    list += "(" + std::to_string(x) + " . " + std::to_string(y) + ")";
  }
  return list + ")";
}

// Opens a file, dumps its layers, reads back the telling pixels of each layer that shows a
// frame, and when `again` is given exports it unchanged under that name. (Each export is a start
// of the plug-in, a good part of a second, so the damaged files are not exported.)
std::string OpenScript(const fs::path& path, const std::optional<fs::path>& again) {
  std::string script = "(let ((image (open " + Quoted(path) + "))) (dump image)";
  const SpriteLoad load = ParseSprite(test::ReadFile(path.string()));
  if (load.sprite) {
    const Sprite& sprite = *load.sprite;
    for (std::size_t i = 0; i < sprite.FrameCount(); ++i) {
      const FrameAt at = FrameOfLayerInTest(i, sprite.framesPerPicture);
      const SpriteFrame& frame = sprite.Frame(at.picture, at.frame);
      if (FramePixels(frame.header).value_or(0) > 0) {
        script += " (probe image " + std::to_string(i) + " " +
                  SchemeList(Probes(Plane(frame), frame.header.width, frame.header.height)) + ")";
      }
    }
    if (again && sprite.FrameCount() > 0) {
      script += " (save image " + Quoted(*again) + ")";
    }
  }
  return script + ")";
}

struct Case {
  std::string name;
  std::string script;  // after the prelude
};

// What the editor printed for one case: its dumps and messages, errors included.
struct CaseOutput {
  std::string text;
  std::vector<std::string> lines;
};

struct Session {
  test::TempDir dir;
  test::RunResult run;
  std::map<std::string, CaseOutput> cases;
  Bytes door;
};

// For the whole run: the editor starts once, for every test.
std::unique_ptr<Session> session;

std::vector<Case> Cases(const Session& s, const std::vector<fs::path>& corpus) {
  const auto at = [&s](const std::string& name) { return Quoted(s.dir.Path() / name); };
  const std::string edited = "(layer-at image " + std::to_string(kEditedLayer) + ")";
  std::vector<Case> cases = {
      {"open", OpenScript(s.dir.Path() / "door.art", s.dir.Path() / "again" / "door.art")},
      {"unchanged", "(save (open " + at("door.art") + ") " + at("unchanged.art") + ")"},
      {"overwrite", "(let ((image (open " + at("overwrite.art") + "))) (save image " +
                        at("overwrite.art") + "))"},
      {"flip", "(let ((image (open " + at("door.art") + "))) (gimp-item-transform-flip-simple " +
                   edited + " ORIENTATION-HORIZONTAL TRUE 0.0) (save image " + at("flip.art") +
                   "))"},
      {"palette", "(let* ((image (car (file-vostrel-art-load RUN-NONINTERACTIVE " +
                      at("palette.art") + " " + at("palette.art") +
                      " 2))) (map (cadr (gimp-image-get-colormap image)))) (aset map 15 1) "
                      "(aset map 16 2) (aset map 17 3) (gimp-image-set-colormap image 768 map) "
                      "(save image " +
                      at("palette.art") + "))"},
      {"resize", "(let ((image (open " + at("door.art") + "))) (gimp-layer-resize " + edited +
                     " 40 20 -3 0) (save image " + at("resize.art") + ") (probe image " +
                     std::to_string(kEditedLayer) + " " + SchemeList(kResizeProbes) + "))"},
      {"transparent", "(let ((image (open " + at("door.art") + "))) (gimp-layer-add-alpha " +
                          edited + ") (gimp-drawable-set-pixel " + edited +
                          " 6 4 2 #(9 0)) (save image " + at("transparent.art") + "))"},
      // Refused, each into a copy of door.art that must stay as it is.
      {"refuse-rgb", "(let ((image (open " + at("door.art") +
                         "))) (gimp-image-convert-rgb image) (save image " + at("refuse-rgb.art") +
                         "))"},
      {"refuse-alpha", "(let ((image (open " + at("door.art") + "))) (gimp-layer-add-alpha " +
                           edited + ") (gimp-drawable-set-pixel " + edited +
                           " 5 6 2 #(9 128)) (save image " + at("refuse-alpha.art") + "))"},
      {"refuse-layers", "(let ((image (open " + at("door.art") +
                            "))) (gimp-image-remove-layer image (layer-at image 3)) (save image " +
                            at("refuse-layers.art") + "))"},
      {"refuse-new",
       "(let* ((image (car (gimp-image-new 8 8 INDEXED))) (layer (car "
       "(gimp-layer-new image 8 8 INDEXED-IMAGE \"x\" 100 LAYER-MODE-NORMAL)))) "
       "(gimp-image-insert-layer image layer 0 0) (save image " +
           at("refuse-new.art") + "))"},
      {"refuse-palette", "(file-vostrel-art-load RUN-NONINTERACTIVE " + at("door.art") + " " +
                             at("door.art") + " 3)"},
      // A third frame in every picture, each its second mirrored: a new file of 8 x 3 frames.
      {"added", "(let ((image (open " + at("door.art") +
                    "))) (do ((p 1 (+ p 1))) ((> p 8)) (let ((copy (car (gimp-layer-copy (car "
                    "(gimp-image-get-layer-by-name image (frame-name p 2))) FALSE)))) "
                    "(gimp-image-insert-layer image copy 0 0) (gimp-item-set-name copy "
                    "(frame-name p 3)) (gimp-item-transform-flip-simple copy "
                    "ORIENTATION-HORIZONTAL TRUE 0.0))) (save image " +
                    at("added.art") + "))"},
      // A new indexed image of four colours, two pictures of one frame, every pixel painted.
      {"new",
       "(let* ((image (car (gimp-image-new 4 3 INDEXED)))) (gimp-image-set-colormap image "
       "12 #(255 0 0 0 255 0 0 0 255 10 20 30)) (for-each (lambda (p) (let* ((w (+ 2 (* "
       "2 (- 2 p)))) (h (+ 1 p)) (layer (car (gimp-layer-new image w h INDEXED-IMAGE "
       "(frame-name p 1) 100 LAYER-MODE-NORMAL)))) (gimp-image-insert-layer image layer 0 "
       "0) (do ((y 0 (+ y 1))) ((= y h)) (do ((x 0 (+ x 1))) ((= x w)) "
       "(gimp-drawable-set-pixel layer x y 1 (vector (modulo (+ x y p) 4))))))) '(1 2)) "
       "(save image " +
           at("new.art") + "))"},
  };
  for (const fs::path& file : corpus) {
    cases.push_back({"corpus " + file.filename().string(), OpenScript(file, std::nullopt)});
  }
  return cases;
}

std::vector<fs::path> CorpusFiles(const fs::path& into) {
  std::vector<fs::path> files;
  fs::create_directory(into);
  for (const auto& entry : fs::directory_iterator(test::SourcePath("tests/corpus"))) {
    if (entry.path().extension() == ".art") {
      files.push_back(into / entry.path().filename());
      fs::copy_file(entry.path(), files.back());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

class GimpHeadless : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* console = std::getenv("VOSTREL_GIMP_CONSOLE");
    const char* plugin = std::getenv("VOSTREL_GIMP_PLUGIN");
    if (console == nullptr || *console == '\0' || !fs::exists(console) || plugin == nullptr) {
      return;
    }
    session = std::make_unique<Session>();
    Session& s = *session;
    const fs::path home = s.dir.Path() / "home";
    const fs::path plugins = home / ".config/GIMP/2.10/plug-ins/file-vostrel-art";
    fs::create_directories(plugins);
    fs::copy_file(plugin, plugins / "file-vostrel-art");
    s.door = test::ReadFile(test::SourcePath("examples/door.art").string());
    for (const char* name : {"door.art", "overwrite.art", "palette.art", "refuse-rgb.art",
                             "refuse-alpha.art", "refuse-layers.art", "refuse-new.art"}) {
      test::WriteFile(s.dir.File(name), s.door);
    }
    fs::create_directory(s.dir.Path() / "again");
    const std::vector<Case> cases = Cases(s, CorpusFiles(s.dir.Path() / "corpus"));
    // timeout ends a hang; the whole run takes about a minute on a quiet machine.
    std::vector<std::string> args = {"900", "env", "HOME=" + home.string(), console, "-i",
                                     "-d",  "-f"};
    for (const Case& c : cases) {
      args.push_back("-b");
      args.push_back("(begin (gimp-message \"CASE " + c.name + "\")\n" + kPrelude + c.script + ")");
    }
    args.push_back("-b");
    args.push_back("(gimp-quit 0)");
    s.run = test::RunProgram("/usr/bin/timeout", args, s.dir.Path(), true);
    // Split what it printed at the case marks.
    std::istringstream text(s.run.out);
    std::string line;
    CaseOutput* current = nullptr;
    const std::string mark = "script-fu-Warning: CASE ";
    while (std::getline(text, line)) {
      if (line.rfind(mark, 0) == 0) {
        current = &s.cases[line.substr(mark.size())];
        continue;
      }
      if (current != nullptr) {
        current->text += line + "\n";
        current->lines.push_back(line);
      }
    }
  }

  void SetUp() override {
    if (session == nullptr) {
      GTEST_SKIP() << "gimp-console-2.10 not found (install gimp) or the plug-in not built";
    }
  }

  static const CaseOutput& Output(const std::string& name) { return session->cases[name]; }
  static Bytes File(const std::string& name) { return test::ReadFile(session->dir.File(name)); }
};

struct DumpedLayer {
  std::string name;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The "LAYER" lines of a case, in order, and its "PROBE" lines by layer.
struct Dump {
  std::vector<DumpedLayer> layers;
  std::map<std::size_t, std::vector<int>> probes;
};

Dump Parse(const CaseOutput& output) {
  Dump dump;
  const std::string layerMark = "script-fu-Warning: LAYER ";
  const std::string probeMark = "script-fu-Warning: PROBE ";
  for (const std::string& line : output.lines) {
    if (line.rfind(layerMark, 0) == 0) {
      std::istringstream fields(line.substr(layerMark.size()));
      DumpedLayer layer;
      std::string width;
      std::string height;
      std::getline(fields, layer.name, '|');
      std::getline(fields, width, '|');
      std::getline(fields, height, '|');
      layer.width = std::stoi(width);
      layer.height = std::stoi(height);
      dump.layers.push_back(std::move(layer));
    } else if (line.rfind(probeMark, 0) == 0) {
      std::istringstream fields(line.substr(probeMark.size()));
      std::string layer;
      std::getline(fields, layer, '|');
      std::vector<int>& values = dump.probes[std::stoul(layer)];
      for (int index = 0; fields >> index;) {
        values.push_back(index);
      }
    }
  }
  return dump;
}

// The indices at the given positions of a width x height plane.
std::vector<int> At(const std::vector<std::uint8_t>& plane, std::int32_t width,
                    const std::vector<Position>& positions) {
  std::vector<int> values;
  for (const auto& [x, y] : positions) {
    values.push_back(plane[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                           static_cast<std::size_t>(x)]);
  }
  return values;
}

Sprite Parsed(std::span<const std::uint8_t> bytes) {
  SpriteLoad load = ParseSprite(bytes);
  EXPECT_TRUE(load.sprite);
  return load.sprite ? std::move(*load.sprite) : Sprite{};
}

// The layers are the frames, pictures top down and each picture's frames bottom up, named and
// sized as their frames and holding the indices the converter decodes at every pixel read back.
void ExpectLayersShow(const Dump& dump, const Sprite& sprite) {
  ASSERT_EQ(dump.layers.size(), sprite.FrameCount());
  for (std::size_t i = 0; i < dump.layers.size(); ++i) {
    const FrameAt at = FrameOfLayerInTest(i, sprite.framesPerPicture);
    const SpriteFrame& shown = sprite.Frame(at.picture, at.frame);
    const DumpedLayer& layer = dump.layers[i];
    const std::string name =
        "Picture " + std::to_string(at.picture + 1) + " Frame " + std::to_string(at.frame + 1);
    SCOPED_TRACE(name);
    EXPECT_EQ(layer.name.substr(0, name.size()), name);
    const std::optional<std::int32_t> pixels = FramePixels(shown.header);
    if (!pixels || *pixels == 0) {
      EXPECT_NE(layer.name.find("kept as it is"), std::string::npos) << layer.name;
      continue;
    }
    EXPECT_EQ(layer.name, name);
    EXPECT_EQ(layer.width, shown.header.width);
    EXPECT_EQ(layer.height, shown.header.height);
    const std::vector<std::uint8_t> plane = Plane(shown);
    const auto found = dump.probes.find(i);
    ASSERT_NE(found, dump.probes.end());
    EXPECT_EQ(found->second, At(plane, shown.header.width,
                                Probes(plane, shown.header.width, shown.header.height)));
  }
}

// An opened file exported unchanged (into again/) is the file byte for byte; one that ended
// early is refused.
void ExpectExportedAgain(const fs::path& file, const Sprite& sprite, const CaseOutput& output) {
  const fs::path again = session->dir.Path() / "again" / file.filename();
  if (sprite.FrameCount() == 0) {
    return;
  }
  if (sprite.missingBytes > 0) {
    EXPECT_NE(output.text.find("ended early"), std::string::npos) << output.text;
    EXPECT_FALSE(fs::exists(again));
    return;
  }
  ASSERT_TRUE(fs::exists(again)) << output.text;
  EXPECT_EQ(test::ReadFile(again.string()), test::ReadFile(file.string())) << output.text;
}

TEST_F(GimpHeadless, NeverCrashesOrHangs) {
  EXPECT_EQ(session->run.status, 0) << session->run.out;
  EXPECT_EQ(session->run.out.find("crashed"), std::string::npos) << session->run.out;
  EXPECT_EQ(session->run.out.find("wire"), std::string::npos) << session->run.out;
  EXPECT_FALSE(session->cases.empty()) << session->run.out;
}

TEST_F(GimpHeadless, DoorOpensAsOneLayerPerFrame) {
  const CaseOutput& output = Output("open");
  const Sprite door = Parsed(session->door);
  std::int32_t width = 0;
  std::int32_t height = 0;
  for (const SpriteFrame& frame : door.frames) {
    width = std::max(width, frame.header.width);
    height = std::max(height, frame.header.height);
  }
  EXPECT_NE(output.text.find("IMAGE " + std::to_string(width) + "|" + std::to_string(height) + "|" +
                             std::to_string(door.FrameCount())),
            std::string::npos)
      << output.text;
  ExpectLayersShow(Parse(output), door);
  ExpectExportedAgain(session->dir.Path() / "door.art", door, output);
}

TEST_F(GimpHeadless, UnchangedExportsAreTheFileByteForByte) {
  EXPECT_EQ(File("unchanged.art"), session->door) << Output("unchanged").text;
  EXPECT_EQ(File("overwrite.art"), session->door) << Output("overwrite").text;
}

// Picture P frame F palette K of a conversion: its BMP's rows as indices, top row first.
std::vector<Bytes> BmpRows(const fs::path& path) {
  const Bytes bmp = test::ReadFile(path.string());
  // BMP fields: the file header's offset of the pixel data, the info header's width and height.
  constexpr std::size_t kPixelDataOffsetField = 10;
  constexpr std::size_t kWidthField = 18;
  constexpr std::size_t kHeightField = 22;
  const std::uint32_t offset = test::GetLe32(bmp, kPixelDataOffsetField);
  const auto width = static_cast<std::int32_t>(test::GetLe32(bmp, kWidthField));
  const auto height = static_cast<std::int32_t>(test::GetLe32(bmp, kHeightField));
  const std::size_t stride = (static_cast<std::size_t>(width) + 3) / 4 * 4;
  std::vector<Bytes> rows;
  for (std::int32_t y = height - 1; y >= 0; --y) {  // stored bottom-up
    const auto start =
        bmp.begin() + static_cast<std::ptrdiff_t>(offset + static_cast<std::size_t>(y) * stride);
    rows.emplace_back(start, start + width);
  }
  return rows;
}

TEST_F(GimpHeadless, AFlippedLayerChangesExactlyItsFrameIntoItsMirrorImage) {
  const fs::path dir = session->dir.Path();
  for (const char* name : {"door", "flip"}) {
    const test::RunResult run = test::RunProgram(
        test::ConverterPath(), {"./" + std::string(name) + ".art", "./" + std::string(name)}, dir);
    ASSERT_EQ(run.status, 0) << run.out << run.err << Output("flip").text;
  }
  const std::vector<std::string> names = test::FilesIn(dir / "door");
  ASSERT_EQ(names.size(), test::FilesIn(dir / "flip").size());
  const Sprite door = Parsed(session->door);
  const FrameAt edited = FrameOfLayerInTest(kEditedLayer, door.framesPerPicture);
  const std::string frame =
      "door_" + std::to_string(edited.picture) + "_" + std::to_string(edited.frame);
  int mirrored = 0;
  for (const std::string& name : names) {
    const fs::path before = dir / "door" / name;
    const fs::path after = dir / "flip" / ("flip" + name.substr(4));
    if (name.rfind(frame + "_", 0) != 0) {
      EXPECT_EQ(test::ReadFile(before.string()), test::ReadFile(after.string())) << name;
      continue;
    }
    std::vector<Bytes> rows = BmpRows(before);
    for (Bytes& row : rows) {
      std::reverse(row.begin(), row.end());
    }
    EXPECT_NE(rows, BmpRows(before)) << name << ": a frame its own mirror image proves nothing";
    EXPECT_EQ(BmpRows(after), rows) << name;
    ++mirrored;
  }
  EXPECT_EQ(mirrored, door.PaletteCount());
}

TEST_F(GimpHeadless, AColourMapEntryChangesOnlyThePaletteOpened) {
  Bytes expected = session->door;
  // Entry 5 of palette 2: blue, green, red after the header and palette 1.
  const std::size_t entry = kArtHeaderSize + kArtPaletteSize + 5 * 4;
  expected[entry] = 3;
  expected[entry + 1] = 2;
  expected[entry + 2] = 1;
  ASSERT_NE(expected, session->door);
  EXPECT_EQ(File("palette.art"), expected) << Output("palette").text;
}

TEST_F(GimpHeadless, AResizedLayerGivesItsFrameTheNewSizeAndLeavesTheOthers) {
  const Sprite door = Parsed(session->door);
  const Sprite resized = Parsed(File("resize.art"));
  ASSERT_EQ(resized.FrameCount(), door.FrameCount()) << Output("resize").text;
  const FrameAt edited = FrameOfLayerInTest(kEditedLayer, door.framesPerPicture);
  for (std::int32_t p = 0; p < door.pictures; ++p) {
    for (std::int32_t f = 0; f < door.framesPerPicture; ++f) {
      const SpriteFrame& before = door.Frame(p, f);
      const SpriteFrame& after = resized.Frame(p, f);
      if (p == edited.picture && f == edited.frame) {
        EXPECT_EQ(after.header.width, 40);
        EXPECT_EQ(after.header.height, 20);
        EXPECT_EQ(StorageOf(after.header), StorageOf(before.header));
        EXPECT_EQ(Parse(Output("resize")).probes[kEditedLayer],
                  At(Plane(after), after.header.width, kResizeProbes));
      } else {
        EXPECT_EQ(after.header.width, before.header.width) << p << " " << f;
        EXPECT_EQ(after.header.height, before.header.height) << p << " " << f;
        EXPECT_EQ(after.data, before.data) << p << " " << f;
      }
    }
  }
  EXPECT_EQ(resized.palettes, door.palettes);
}

TEST_F(GimpHeadless, AFullyTransparentPixelSavesAsIndexZero) {
  const Sprite door = Parsed(session->door);
  const Sprite saved = Parsed(File("transparent.art"));
  ASSERT_EQ(saved.FrameCount(), door.FrameCount()) << Output("transparent").text;
  const FrameAt edited = FrameOfLayerInTest(kEditedLayer, door.framesPerPicture);
  std::vector<std::uint8_t> expected = Plane(door.Frame(edited.picture, edited.frame));
  const auto width =
      static_cast<std::size_t>(door.Frame(edited.picture, edited.frame).header.width);
  ASSERT_NE(expected[4 * width + 6], 0);
  expected[4 * width + 6] = 0;
  EXPECT_EQ(Plane(saved.Frame(edited.picture, edited.frame)), expected);
}

TEST_F(GimpHeadless, RefusalsSayWhatToDoAndWriteNothing) {
  struct Refusal {
    std::string name;
    std::string says;
  };
  const Refusal table[] = {
      {"refuse-rgb", "the image is no longer indexed"},
      {"refuse-alpha",
       "has 1 pixel neither fully opaque nor fully transparent, the first at x "
       "5, y 6"},
      {"refuse-layers", "no layer is named \"Picture 2 Frame 1\""},
      {"refuse-new", "layer \"x\" is not named \"Picture P Frame F\""},
      {"refuse-palette", "door.art has 2 palettes, so palette 3 cannot be shown"},
  };
  for (const Refusal& refusal : table) {
    const CaseOutput& output = Output(refusal.name);
    EXPECT_NE(output.text.find(refusal.says), std::string::npos) << refusal.name << ":\n"
                                                                 << output.text;
    EXPECT_NE(output.text.find("execution error"), std::string::npos) << output.text;
    if (refusal.name != "refuse-palette") {
      EXPECT_EQ(File(refusal.name + ".art"), session->door) << refusal.name;
    }
  }
}

// Converted with vostrel, the file made of door.art's layers and eight more holds door.art's
// frames as they were and, third in each picture, its second frame mirrored.
TEST_F(GimpHeadless, LayersAddedMakeANewFileOfTheirTable) {
  const fs::path dir = session->dir.Path();
  for (const char* name : {"door", "added"}) {
    const test::RunResult run = test::RunProgram(
        test::ConverterPath(), {"./" + std::string(name) + ".art", "./" + std::string(name)}, dir);
    ASSERT_EQ(run.status, 0) << run.out << run.err << Output("added").text;
  }
  const Sprite door = Parsed(session->door);
  const Sprite added = Parsed(File("added.art"));
  EXPECT_EQ(added.pictures, 8);
  EXPECT_EQ(added.framesPerPicture, 3);
  EXPECT_EQ(added.palettes, door.palettes);
  for (const std::string& name : test::FilesIn(dir / "door")) {
    EXPECT_EQ(test::ReadFile((dir / "added" / ("added" + name.substr(4))).string()),
              test::ReadFile((dir / "door" / name).string()))
        << name;
    if (name.substr(6, 3) != "_1_") {
      continue;
    }
    std::vector<Bytes> rows = BmpRows(dir / "door" / name);
    for (Bytes& row : rows) {
      std::reverse(row.begin(), row.end());
    }
    const std::string third = "added" + name.substr(4, 2) + "_2_" + name.substr(9);
    EXPECT_EQ(BmpRows(dir / "added" / third), rows) << third;
  }
  EXPECT_EQ(test::FilesIn(dir / "added").size(), test::FilesIn(dir / "door").size() * 3 / 2);
}

// A new indexed image exports as a new file: one picture a frame, the colour map palette 0.
TEST_F(GimpHeadless, ANewIndexedImageExportsAsANewFile) {
  const fs::path dir = session->dir.Path();
  const test::RunResult run = test::RunProgram(test::ConverterPath(), {"./new.art", "./new"}, dir);
  ASSERT_EQ(run.status, 0) << run.out << run.err << Output("new").text;
  EXPECT_EQ(test::FilesIn(dir / "new"),
            (std::vector<std::string>{"new_0_0_0.bmp", "new_1_0_0.bmp"}));
  for (int p = 1; p <= 2; ++p) {
    const fs::path bmp = dir / "new" / ("new_" + std::to_string(p - 1) + "_0_0.bmp");
    std::vector<Bytes> expected(static_cast<std::size_t>(1 + p),
                                Bytes(static_cast<std::size_t>(2 + 2 * (2 - p))));
    for (std::size_t y = 0; y < expected.size(); ++y) {
      for (std::size_t x = 0; x < expected[y].size(); ++x) {
        expected[y][x] = static_cast<std::uint8_t>((x + y + static_cast<std::size_t>(p)) % 4);
      }
    }
    EXPECT_EQ(BmpRows(bmp), expected) << bmp;
    // The colour table after the BMP's 54 bytes of headers: blue, green, red, 0.
    const Bytes file = test::ReadFile(bmp.string());
    EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 54 + 20),
              (Bytes{0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 30, 20, 10, 0, 0, 0, 0, 0}));
  }
}

TEST_F(GimpHeadless, DamagedFilesOpenAsConvertedOrFailWithTheLoadersReason) {
  int refused = 0;
  int opened = 0;
  for (const auto& entry : fs::directory_iterator(session->dir.Path() / "corpus")) {
    if (entry.path().extension() != ".art") {
      continue;
    }
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    const CaseOutput& output = Output("corpus " + name);
    const SpriteLoad load = ParseSprite(test::ReadFile(entry.path().string()));
    if (!load.sprite) {
      ++refused;
      EXPECT_NE(output.text.find(name + ": Could not load ART file (" +
                                 std::string(ArtLoadErrorText(load.error)) + ")"),
                std::string::npos)
          << output.text;
      continue;
    }
    ++opened;
    EXPECT_EQ(output.text.find("execution error"), std::string::npos) << output.text;
    ExpectLayersShow(Parse(output), *load.sprite);
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(opened, 0);
}

}  // namespace
}  // namespace vostrel
