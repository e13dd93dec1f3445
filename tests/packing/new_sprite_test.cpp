// vostrel-pack --new in process on files in memory: every sprite made into sheets by
// vostrel-sheet's own code comes back the same sprite; frames added and removed through the
// manifest; sprite editors' manifests; and each refusal, which writes nothing.
#include "packing/new_sprite.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "formats/manifest/manifest_schema.hpp"
#include "formats/palette_files/palette_files_write.hpp"
#include "formats/picture/picture.hpp"
#include "io/memory_files.hpp"
#include "io/path.hpp"
#include "programs/vostrel/convert/convert.hpp"
#include "sheets/sheet_job.hpp"
#include "support/art_writer.hpp"
#include "support/picture_writer.hpp"
#include "support/recording_console.hpp"
#include "support/run_program.hpp"

namespace vostrel {
namespace {

using Json = nlohmann::json;
using namespace manifest;
using test::ArtFrameSpec;
using test::ArtSpec;
using test::Bytes;

// A path as the programs write it, with the platform's own separator.
std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', kPathSeparator);
  return path;
}

const std::string kArt = Native("in/x.art");
const std::string kManifest = Native("sheets/x.json");
const std::string kOutput = Native("out/x.art");

Sprite Parsed(std::span<const std::uint8_t> bytes) {
  SpriteLoad load = ParseSprite(bytes);
  EXPECT_TRUE(load.sprite) << ArtLoadErrorText(load.error);
  return load.sprite ? std::move(*load.sprite) : Sprite{};
}

std::vector<std::uint8_t> Plane(const SpriteFrame& frame) {
  std::vector<std::uint8_t> plane;
  DecodeFrame(frame.header, frame.data, plane);
  return plane;
}

// The BMPs the converter makes of an .ART file's bytes, by name, and whether it converted whole.
struct Conversion {
  bool whole = false;
  std::map<std::string, Bytes> bmps;
};
Conversion Convert(const Bytes& art) {
  MemoryFiles files;
  files.Contents()["x.art"] = art;
  test::RecordingConsole console;
  const std::string dir = std::string("bmp") + kPathSeparator;
  Conversion conversion;
  conversion.whole = ConvertArtFile("x.art", dir, console, files);
  for (auto& [path, bytes] : files.Contents()) {
    if (path.starts_with(dir)) {
      conversion.bmps[path.substr(dir.size())] = std::move(bytes);
    }
  }
  return conversion;
}

// The same sprite: the header's words, the palettes, every frame's size and words; a raw frame's
// bytes, a run-length frame's pixels.
void ExpectSameSprite(const Sprite& before, const Sprite& after) {
  EXPECT_EQ(WordsOfHeader(after.header), WordsOfHeader(before.header));
  EXPECT_EQ(after.palettes, before.palettes);
  ASSERT_EQ(after.frames.size(), before.frames.size());
  for (std::size_t i = 0; i < before.frames.size(); ++i) {
    const SpriteFrame& was = before.frames[i];
    const SpriteFrame& now = after.frames[i];
    EXPECT_EQ(now.header.width, was.header.width) << "frame " << i;
    EXPECT_EQ(now.header.height, was.header.height) << "frame " << i;
    EXPECT_EQ(now.header.unknown, was.header.unknown) << "frame " << i;
    if (!FramePixels(was.header)) {
      continue;  // a size that makes no picture: kept, with no data
    }
    if (StorageOf(was.header) == FrameStorage::kRaw) {
      EXPECT_EQ(now.data, was.data) << "frame " << i;
    } else {
      EXPECT_EQ(Plane(now), Plane(was)) << "frame " << i;
    }
  }
}

NewSpriteJob Job() {
  NewSpriteJob job;
  job.manifest = kManifest;
  job.output = kOutput;
  return job;
}

// Writes the sheets of the .ART file at kArt into sheets/ as vostrel-sheet does.
void MakeSheetsOf(MemoryFiles& files, const SheetRequest& options = {}) {
  files.Contents()[Native("sheets/.keep")] = {};
  files.Contents()[Native("out/.keep")] = {};
  SheetRequest request = options;
  request.artPath = kArt;
  request.destDir = "sheets";
  request.version = "test";
  SheetWorkspace workspace;
  const SheetOutcome made = MakeSheets(request, files, workspace);
  ASSERT_TRUE(made.ok) << made.err;
}

// ---- the generated sprites ---------------------------------------------------------------------

// A frame of w x h pixels from seed, raw or run-length, with words of its own.
ArtFrameSpec Frame(std::int32_t w, std::int32_t h, std::uint8_t seed, bool raw) {
  Bytes pixels = test::MakePixels(w, h, seed);
  // Runs, so that run-length streams hold fill runs as well as literal ones.
  for (std::size_t i = 0; i < pixels.size(); i += 7) {
    std::fill_n(pixels.begin() + static_cast<std::ptrdiff_t>(i),
                std::min<std::size_t>(4, pixels.size() - i), pixels[i]);
  }
  ArtFrameSpec frame(w, h, raw ? pixels : test::EncodeRle(pixels));
  frame.words = {seed, -seed, 1000 * seed, INT32_MIN + seed};
  return frame;
}

ArtSpec Generated(std::int32_t flags, std::int32_t frames, std::array<std::int32_t, 4> present) {
  ArtSpec sprite;
  sprite.flags = flags;
  sprite.palettePresent = present;
  std::int32_t palettes = 0;
  for (std::int32_t k = 0; k < 4; ++k) {
    palettes = present[static_cast<std::size_t>(k)] != 0 ? k + 1 : palettes;
  }
  for (std::int32_t k = 0; k < palettes; ++k) {
    sprite.palettes.push_back(test::MakePalette(static_cast<std::uint8_t>(k + 3)));
  }
  for (std::size_t w = 0; w < sprite.fillerWords.size(); ++w) {
    sprite.fillerWords[w] = static_cast<std::int32_t>(w * w) - 77;
  }
  for (std::int32_t i = 0; i < frames; ++i) {
    sprite.frames.push_back(
        Frame(1 + i % 9, 1 + (i * 5) % 7, static_cast<std::uint8_t>(i + 1), i % 3 != 1));
  }
  return sprite;
}

SheetRequest Options(std::int32_t padding, std::optional<std::int32_t> columns,
                     std::optional<std::uint8_t> transparent) {
  SheetRequest options;
  options.padding = padding;
  options.columns = columns;
  options.transparent = transparent;
  return options;
}

struct RoundTrip {
  std::string name;
  Bytes art;
  SheetRequest options = {};
};

std::vector<RoundTrip> GeneratedSprites() {
  std::vector<RoundTrip> sprites;
  sprites.push_back(
      {"eight pictures of 3 frames, 1 palette", test::WriteArt(Generated(0, 24, {1}))});
  sprites.push_back({"flags 2, 2 palettes, transparent 5, wrapped, no padding",
                     test::WriteArt(Generated(2, 16, {1, 1})), Options(0, 1, 5)});
  sprites.push_back({"one frame a picture, 3 palettes announced 1, 0, 1",
                     test::WriteArt(Generated(1, 5, {1, 0, 1}))});
  sprites.push_back({"flags 5, 4 palettes, no transparency",
                     test::WriteArt(Generated(5, 4, {1, 1, 1, 1})),
                     Options(1, std::nullopt, std::nullopt)});
  sprites.push_back({"presence words -1 and 7", test::WriteArt(Generated(1, 2, {-1, 0, 7, 0}))});
  sprites.push_back({"eight pictures of no frames", test::WriteArt(Generated(0, 0, {1}))});
  ArtSpec empty = Generated(1, 6, {1, 1});
  empty.frames[1] = {0, 5, {}};
  empty.frames[2] = {7, 0, Bytes{1, 2, 3}};  // no pixels, a stream that reads as nothing
  empty.frames[3] = {-3, 4, Bytes(12, 9)};
  empty.frames[4] = {65536, 65536, {}};
  empty.frames[4].words = {4, 4, 4, 4};
  sprites.push_back({"frames without pixels", test::WriteArt(empty)});
  ArtSpec big = Generated(1, 2, {1});
  big.frames[0] = Frame(300, 200, 40, false);
  sprites.push_back({"a frame of 300 x 200", test::WriteArt(big)});
  for (const std::size_t cut : {std::size_t{5}, std::size_t{60}}) {
    Bytes art = test::WriteArt(Generated(0, 16, {1, 1}));
    art.resize(art.size() - cut);
    sprites.push_back({"a stream that ends " + std::to_string(cut) + " bytes early", art});
  }
  return sprites;
}

// The files of the corpus that vostrel-sheet makes sheets of, and the sample.
std::vector<RoundTrip> CorpusSprites() {
  std::vector<RoundTrip> sprites;
  for (const auto& entry : std::filesystem::directory_iterator(test::SourcePath("tests/corpus"))) {
    if (entry.path().extension() != ".art") {
      continue;
    }
    Bytes art = test::ReadFile(entry.path().string());
    const SpriteLoad load = ParseSprite(art);
    if (load.sprite && load.sprite->PaletteCount() > 0) {
      sprites.push_back({entry.path().filename().string(), std::move(art)});
    }
  }
  std::sort(sprites.begin(), sprites.end(),
            [](const RoundTrip& a, const RoundTrip& b) { return a.name < b.name; });
  sprites.push_back({"door.art", test::ReadFile(test::SourcePath("examples/door.art").string())});
  return sprites;
}

// Through vostrel-sheet and back with --new, every sprite is the same sprite: vostrel converts it
// to the same BMPs, and its words, sizes and frames are the original's.
TEST(NewSpriteTest, EverySpriteThroughItsSheetsIsTheSameSprite) {
  const std::vector<RoundTrip> corpus = CorpusSprites();
  const std::vector<RoundTrip> generated = GeneratedSprites();
  std::vector<RoundTrip> all = corpus;
  all.insert(all.end(), generated.begin(), generated.end());
  std::size_t bmps = 0;
  for (const RoundTrip& c : all) {
    SCOPED_TRACE(c.name);
    MemoryFiles files;
    files.Contents()[kArt] = c.art;
    MakeSheetsOf(files, c.options);
    MakeNewArt(Job(), files);
    const Bytes& made = files.Contents().at(kOutput);
    ExpectSameSprite(Parsed(c.art), Parsed(made));
    const Conversion before = Convert(c.art);
    const Conversion after = Convert(made);
    EXPECT_EQ(after.whole, before.whole);
    EXPECT_EQ(after.bmps, before.bmps);
    bmps += before.bmps.size();
  }
  EXPECT_GT(bmps, 200u);
  // The 20 files of the corpus that vostrel-sheet takes, and the sample; 10 generated.
  EXPECT_EQ(corpus.size(), 21u);
  EXPECT_EQ(generated.size(), 10u);
}

// ---- new shapes, sprite editors' manifests, refusals ------------------------------------------

// The colours the sprite editors' sheets below are painted in, and their palette file.
const Bytes kColours = test::MakePalette(9);
const std::string kPaletteFile = "colours.gpl";

Json Rect(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) {
  return {{kX, x}, {kY, y}, {kW, w}, {kH, h}};
}

// Indices of a w x h block from seed, below 64 (where the colours above are all different).
Bytes Block(std::int32_t w, std::int32_t h, std::uint8_t seed) {
  Bytes block = test::MakePixels(w, h, seed);
  for (std::uint8_t& index : block) {
    index = static_cast<std::uint8_t>(1 + index % 63);
  }
  return block;
}

// The files of one case: the job, and the sprite it began from when it began from one.
struct Scene {
  MemoryFiles files;
  NewSpriteJob job = Job();
  Sprite original;

  Bytes& operator[](const std::string& path) { return files.Contents()[path]; }
  Json Manifest() { return Json::parse((*this)[kManifest]); }
  void SetManifest(const Json& manifest) {
    const std::string text = manifest.dump(1);
    (*this)[kManifest] = Bytes(text.begin(), text.end());
  }

  // vostrel-sheet's sheets of art.
  void Ours(const ArtSpec& art) {
    (*this)[kArt] = test::WriteArt(art);
    original = Parsed((*this)[kArt]);
    MakeSheetsOf(files);
  }
  // Every sheet of ours (or the one named only) with block painted at x, y, grown to hold it.
  void PaintSheets(std::int64_t x, std::int64_t y, const Bytes& block, std::int32_t w,
                   std::int32_t h, const std::string& only = "") {
    const Json manifest = Manifest();
    for (const Json& sheet : manifest[kMeta][kVostrel][kSheets]) {
      const std::string path = Native("sheets/") + sheet[kImage].get<std::string>();
      if (!only.empty() && path != only) {
        continue;
      }
      const RgbPicture was =
          DecodePicture((*this)[path], kMaxPicturePixels, {.keepTransparency = true});
      test::IndexedPicture grown{
          std::max<std::int32_t>(was.width, static_cast<std::int32_t>(x) + w),
          std::max<std::int32_t>(was.height, static_cast<std::int32_t>(y) + h),
          {},
          was.colourTable};
      grown.indices.assign(static_cast<std::size_t>(grown.width * grown.height), 0);
      for (std::int32_t row = 0; row < grown.height; ++row) {
        for (std::int32_t column = 0; column < grown.width; ++column) {
          std::uint8_t& index = grown.indices[static_cast<std::size_t>(row * grown.width + column)];
          if (column >= x && column < x + w && row >= y && row < y + h) {
            index = block[static_cast<std::size_t>((row - y) * w + column - x)];
          } else if (column < was.width && row < was.height) {
            index = was.indices[static_cast<std::size_t>(row * was.width + column)];
          }
        }
      }
      (*this)[path] =
          test::WithPngChunk(test::WritePalettePng(grown, 256), "tRNS", was.entryAlphas);
    }
  }
  // A sprite editor's manifest of frames on the sheet x_0.png, with tags when given.
  void Theirs(const Json& frames, const Json& tags, const Bytes& sheet) {
    Json meta = {{kApp, "an editor"}, {kImage, "x_0.png"}};
    if (!tags.is_null()) {
      meta[kFrameTags] = tags;
    }
    SetManifest({{kFrames, frames}, {kMeta, meta}});
    (*this)[Native("sheets/x_0.png")] = sheet;
    (*this)[Native("out/.keep")] = {};
    const std::string gpl = GimpPalette(kColours, "colours");
    (*this)[kPaletteFile] = Bytes(gpl.begin(), gpl.end());
  }
  void WithPaletteFile() { job.paletteFiles.push_back({0, kPaletteFile}); }
};

// An RGBA sheet of blocks side by side, each w x h from its seed, in kColours.
Bytes RgbaSheet(std::int32_t blocks, std::int32_t w, std::int32_t h) {
  Bytes indices(static_cast<std::size_t>(blocks * w * h));
  for (std::int32_t b = 0; b < blocks; ++b) {
    const Bytes block = Block(w, h, static_cast<std::uint8_t>(b));
    for (std::int32_t i = 0; i < w * h; ++i) {
      indices[static_cast<std::size_t>((i / w) * blocks * w + b * w + i % w)] =
          block[static_cast<std::size_t>(i)];
    }
  }
  return test::WritePng(blocks * w, h, 4, test::Colours(indices, kColours, 4));
}

// Frames of the sheet above, as a sprite editor lists them.
Json Blocks(std::int32_t blocks, std::int32_t w, std::int32_t h) {
  Json frames = Json::array();
  for (std::int32_t b = 0; b < blocks; ++b) {
    std::string name = "f";
    name += std::to_string(b);
    frames.push_back({{kFilename, name}, {kFrame, Rect(b * w, 0, w, h)}});
  }
  return frames;
}

Json Tags(const std::vector<std::pair<int, int>>& ranges) {
  Json tags = Json::array();
  for (const auto& [from, to] : ranges) {
    tags.push_back({{kName, "t"}, {kFrom, from}, {kTo, to}});
  }
  return tags;
}

// Frames inserted at the end of each picture of ours, every sheet painted with them to the right.
void AddFrameToEveryPicture(Scene& scene) {
  Json manifest = scene.Manifest();
  Json& frames = manifest[kFrames];
  Json& stored = manifest[kMeta][kVostrel][kFrames];
  const std::int64_t x = manifest[kMeta][kSize][kW];
  for (std::int32_t p = 7; p >= 0; --p) {
    const std::int64_t y = frames[static_cast<std::size_t>(p * 2)][kFrame][kY];
    scene.PaintSheets(x, y, Block(3, 2, static_cast<std::uint8_t>(p)), 3, 2);
    const auto at = static_cast<std::ptrdiff_t>(p * 2 + 2);
    frames.insert(frames.begin() + at, Json{{kFrame, Rect(x, y, 3, 2)}});
    stored.insert(stored.begin() + at, Json::object());
  }
  manifest[kMeta][kVostrel][kFramesPerPicture] = 3;
  scene.SetManifest(manifest);
}

// The frame made for frame f of picture p: its size, words and indices.
void ExpectFrame(const Sprite& sprite, std::int32_t p, std::int32_t f, std::int32_t w,
                 std::int32_t h, const Bytes& indices, const ArtFrameWords& words = {}) {
  SCOPED_TRACE("picture " + std::to_string(p) + ", frame " + std::to_string(f));
  const SpriteFrame& frame = sprite.Frame(p, f);
  EXPECT_EQ(frame.header.width, w);
  EXPECT_EQ(frame.header.height, h);
  EXPECT_EQ(frame.header.unknown, words);
  EXPECT_EQ(Plane(frame), indices);
}

// Frame f of picture p is frame g of the original, and vostrel's BMPs of it are the same.
void ExpectKept(const Scene& scene, const Sprite& sprite, std::int32_t p, std::int32_t f,
                std::int32_t g) {
  const SpriteFrame& was = scene.original.Frame(p, g);
  ExpectFrame(sprite, p, f, was.header.width, was.header.height, Plane(was), was.header.unknown);
}

struct ShapeCase {
  const char* name;
  std::function<void(Scene&)> arrange;
  std::string error;  // a part of the refusal; empty when it is made
  std::function<void(Scene&, const Sprite&)> check = {};
};

void PrintTo(const ShapeCase& c, std::ostream* out) { *out << c.name; }

const ShapeCase kShapeCases[] = {
    {"FramesAddedAtTheEndOfEveryPicture",
     [](Scene& scene) {
       scene.Ours(Generated(0, 16, {1, 1}));
       AddFrameToEveryPicture(scene);
     },
     "",
     [](Scene& scene, const Sprite& sprite) {
       ASSERT_EQ(sprite.framesPerPicture, 3);
       EXPECT_EQ(sprite.header.frameCount, 3);
       for (std::int32_t p = 0; p < 8; ++p) {
         ExpectKept(scene, sprite, p, 0, 0);
         ExpectKept(scene, sprite, p, 1, 1);
         // Its words from the frame before it.
         ExpectFrame(sprite, p, 2, 3, 2, Block(3, 2, static_cast<std::uint8_t>(p)),
                     scene.original.Frame(p, 1).header.unknown);
       }
       // vostrel's BMPs of the frames that stayed are the original's.
       const Conversion before = Convert(scene[kArt]);
       const Conversion after = Convert(scene[kOutput]);
       EXPECT_EQ(after.bmps.size(), before.bmps.size() * 3 / 2);
       for (const auto& [name, bmp] : before.bmps) {
         EXPECT_EQ(after.bmps.at(name), bmp) << name;
       }
       EXPECT_EQ(test::ReadBmp8(after.bmps.at("x_5_2_1.bmp")).indices, Block(3, 2, 5));
     }},
    {"FramesRemovedFromEveryPicture",
     [](Scene& scene) {
       scene.Ours(Generated(0, 16, {1, 1}));
       Json manifest = scene.Manifest();
       for (std::size_t p = 8; p-- > 0;) {
         manifest[kFrames].erase(p * 2 + 1);
         manifest[kMeta][kVostrel][kFrames].erase(p * 2 + 1);
       }
       manifest[kMeta][kVostrel][kFramesPerPicture] = 1;
       scene.SetManifest(manifest);
     },
     "",
     [](Scene& scene, const Sprite& sprite) {
       ASSERT_EQ(sprite.framesPerPicture, 1);
       EXPECT_EQ(sprite.header.flags, 0);
       EXPECT_EQ(sprite.header.frameCount, 1);
       for (std::int32_t p = 0; p < 8; ++p) {
         ExpectKept(scene, sprite, p, 0, 0);
       }
     }},
    {"AOneFrameFileGivenMorePictures",
     [](Scene& scene) {
       scene.Ours(Generated(1, 3, {1}));
       Json manifest = scene.Manifest();
       const std::int64_t y = manifest[kMeta][kSize][kH];
       for (std::int32_t p = 0; p < 2; ++p) {
         scene.PaintSheets(1, y + 3 * p, Block(4, 2, static_cast<std::uint8_t>(p + 20)), 4, 2);
         manifest[kFrames].push_back({{kFrame, Rect(1, y + 3 * p, 4, 2)}});
         manifest[kMeta][kVostrel][kFrames].push_back(Json::object());
       }
       manifest[kMeta][kVostrel][kPictures] = 5;
       scene.SetManifest(manifest);
     },
     "",
     [](Scene& scene, const Sprite& sprite) {
       ASSERT_EQ(sprite.pictures, 5);
       EXPECT_EQ(sprite.header.flags, 1);
       EXPECT_EQ(sprite.header.frameCount, 5);
       for (std::int32_t p = 0; p < 3; ++p) {
         ExpectKept(scene, sprite, p, 0, 0);
       }
       // No frame before them in their pictures: words of 0.
       ExpectFrame(sprite, 3, 0, 4, 2, Block(4, 2, 20));
       ExpectFrame(sprite, 4, 0, 4, 2, Block(4, 2, 21));
     }},
    {"ATableTheFormatHasNot",
     [](Scene& scene) {
       scene.Ours(Generated(0, 16, {1, 1}));
       Json manifest = scene.Manifest();
       manifest[kMeta][kVostrel][kPictures] = 4;
       manifest[kMeta][kVostrel][kFramesPerPicture] = 4;
       scene.SetManifest(manifest);
     },
     "sheets/x.json: meta.vostrel gives 4 pictures of 4 frames, a table that an .ART file cannot "
     "hold: it holds eight pictures of the same number of frames, or pictures of one frame each"},
    {"AFrameListOfAnotherLength",
     [](Scene& scene) {
       scene.Ours(Generated(0, 16, {1, 1}));
       Json manifest = scene.Manifest();
       manifest[kFrames].erase(3);
       scene.SetManifest(manifest);
     },
     "frames lists 15 frames, but meta.vostrel gives 8 pictures of 2"},
    {"SheetsThatDisagree",
     [](Scene& scene) {
       scene.Ours(Generated(0, 16, {1, 1}));
       const Json rect = scene.Manifest()[kFrames][4][kFrame];
       scene.PaintSheets(rect[kX], rect[kY], Bytes{200}, 1, 1, Native("sheets/x_1.png"));
     },
     "sheets/x_1.png: differs from sheets/x_0.png in the rectangle of frame 4 (picture 2, frame "
     "0), the first at x"},
    {"NoRectangleForAFrameStoredWithPixels",
     [](Scene& scene) {
       scene.Ours(Generated(0, 16, {1, 1}));
       Json manifest = scene.Manifest();
       manifest[kFrames][0][kFrame][kW] = 0;
       scene.SetManifest(manifest);
     },
     "frame 0 (picture 0, frame 0) has no pixels on the sheets (0 x 1), but a stored size of 1 x "
     "1 that has them"},
    {"EightTagsInTheArrayFormOnAnRgbaSheet",
     [](Scene& scene) {
       // The pictures tagged last frames first.
       std::vector<std::pair<int, int>> ranges;
       for (int p = 0; p < 8; ++p) {
         ranges.emplace_back(14 - 2 * p, 15 - 2 * p);
       }
       scene.Theirs(Blocks(16, 2, 2), Tags(ranges), RgbaSheet(16, 2, 2));
       scene.WithPaletteFile();
     },
     "",
     [](Scene&, const Sprite& sprite) {
       ASSERT_EQ(sprite.pictures, 8);
       ASSERT_EQ(sprite.framesPerPicture, 2);
       EXPECT_EQ(sprite.header.flags, 0);
       ASSERT_EQ(sprite.PaletteCount(), 1);
       for (std::size_t i = 0; i < 1024; ++i) {
         ASSERT_EQ(sprite.palettes[0][i], i % 4 == 3 ? 0 : kColours[i]) << i;
       }
       for (std::int32_t p = 0; p < 8; ++p) {
         for (std::int32_t f = 0; f < 2; ++f) {
           ExpectFrame(sprite, p, f, 2, 2, Block(2, 2, static_cast<std::uint8_t>(14 - 2 * p + f)));
         }
       }
     }},
    {"TagsOfOneFrameInTheHashFormOnAnIndexedSheet",
     [](Scene& scene) {
       // Three frames named out of alphabetical order, tagged last first; index 0 transparent.
       test::IndexedPicture sheet{9, 2, Block(9, 2, 5), Bytes(kColours.begin(), kColours.end())};
       sheet.indices[0] = 0;
       for (Bytes::value_type& index : sheet.indices) {
         index = static_cast<std::uint8_t>(index % 16);
       }
       scene.Theirs(Json::object(), Tags({{2, 2}, {0, 0}, {1, 1}}),
                    test::WithPngChunk(test::WritePalettePng(sheet, 16), "tRNS", Bytes{0}));
       // nlohmann's objects sort their names; the text keeps the editor's order.
       std::string text = scene.Manifest().dump();
       const std::string hash = R"({"walk":{"frame":)" + Rect(0, 0, 3, 2).dump() +
                                R"(},"idle":{"frame":)" + Rect(3, 0, 3, 2).dump() +
                                R"(},"jump":{"frame":)" + Rect(6, 0, 3, 2).dump() + "}}";
       text.replace(text.find("{}"), 2, hash);
       scene[kManifest] = Bytes(text.begin(), text.end());
     },
     "",
     [](Scene& scene, const Sprite& sprite) {
       ASSERT_EQ(sprite.pictures, 3);
       EXPECT_EQ(sprite.header.flags, 1);
       EXPECT_EQ(sprite.header.frameCount, 3);
       // The palette: the sheet's 16 colours, black after them.
       for (std::size_t i = 0; i < 1024; ++i) {
         ASSERT_EQ(sprite.palettes[0][i], i % 4 == 3 || i >= 64 ? 0 : kColours[i]) << i;
       }
       const RgbPicture sheet = DecodePicture(scene[Native("sheets/x_0.png")], kMaxPicturePixels,
                                              {.keepTransparency = true});
       for (std::int32_t p = 0; p < 3; ++p) {
         const std::int32_t x = 3 * ((p + 2) % 3);  // pictures: jump, walk, idle
         Bytes expected;
         for (std::int32_t y = 0; y < 2; ++y) {
           for (std::int32_t dx = 0; dx < 3; ++dx) {
             expected.push_back(sheet.indices[static_cast<std::size_t>(y * 9 + x + dx)]);
           }
         }
         ExpectFrame(sprite, p, 0, 3, 2, expected);
       }
     }},
    {"NoTagsATrimmedFrameAndTransparentPixels",
     [](Scene& scene) {
       Json frames = Blocks(2, 3, 2);
       frames[1][kTrimmed] = true;
       frames[1][kSourceSize] = {{kW, 5}, {kH, 4}};
       frames[1][kSpriteSourceSize] = Rect(1, 2, 3, 2);
       RgbPicture sheet = DecodePicture(RgbaSheet(2, 3, 2));
       Bytes rgba = sheet.pixels;
       rgba[7 * 4 + 3] = 0;  // frame 0 at x 1, y 1: clear
       scene.Theirs(frames, nullptr, test::WritePng(6, 2, 4, rgba));
       scene.WithPaletteFile();
       scene.job.transparent = 9;
     },
     "",
     [](Scene&, const Sprite& sprite) {
       ASSERT_EQ(sprite.pictures, 2);
       Bytes first = Block(3, 2, 0);
       first[4] = 9;
       ExpectFrame(sprite, 0, 0, 3, 2, first);
       Bytes cell(20, 9);
       const Bytes block = Block(3, 2, 1);
       for (std::size_t i = 0; i < 6; ++i) {
         cell[(2 + i / 3) * 5 + 1 + i % 3] = block[i];
       }
       ExpectFrame(sprite, 1, 0, 5, 4, cell);
     }},
    {"WordsFromTheFileItIsLike",
     [](Scene& scene) {
       scene.Theirs(Blocks(3, 2, 2), nullptr, RgbaSheet(3, 2, 2));
       scene.WithPaletteFile();
       scene["like.art"] = test::WriteArt(Generated(1, 2, {1, 1}));
       scene.job.like = "like.art";
     },
     "",
     [](Scene& scene, const Sprite& sprite) {
       const Sprite like = Parsed(scene["like.art"]);
       ArtHeader header = like.header;
       header.frameCount = 3;
       header.palettePresent = {1, 0, 0, 0};  // one palette now
       EXPECT_EQ(WordsOfHeader(sprite.header), WordsOfHeader(header));
       ExpectFrame(sprite, 0, 0, 2, 2, Block(2, 2, 0), like.Frame(0, 0).header.unknown);
       ExpectFrame(sprite, 1, 0, 2, 2, Block(2, 2, 1), like.Frame(1, 0).header.unknown);
       ExpectFrame(sprite, 2, 0, 2, 2, Block(2, 2, 2));  // like has no third picture
     }},
    {"TagsOfUnequalLengths",
     [](Scene& scene) {
       scene.Theirs(Blocks(15, 2, 2),
                    Tags({{0, 1}, {2, 3}, {4, 5}, {6, 7}, {8, 9}, {10, 11}, {12, 13}, {14, 14}}),
                    RgbaSheet(15, 2, 2));
       scene.WithPaletteFile();
     },
     "sheets/x.json: meta.frameTags make 8 pictures, of 2, 2, 2, 2, 2, 2, 2 and 1 frames, a table "
     "that an .ART file cannot hold: it holds eight pictures of the same number of frames, or "
     "pictures of one frame each"},
    {"TagsThatOverlap",
     [](Scene& scene) {
       scene.Theirs(Blocks(3, 2, 2), Tags({{0, 1}, {1, 2}}), RgbaSheet(3, 2, 2));
     },
     "meta.frameTags[1] tags frame 1, which another tag has already"},
    {"AColourOutsideThePalette",
     [](Scene& scene) {
       RgbPicture sheet = DecodePicture(RgbaSheet(2, 3, 2));
       sheet.pixels[(6 + 4) * 4] ^= 1;  // frame 1 at x 1, y 1
       scene.Theirs(Blocks(2, 3, 2), nullptr, test::WritePng(6, 2, 4, sheet.pixels));
       scene.WithPaletteFile();
     },
     "sheets/x_0.png: has 1 pixel in colours that palette 0 does not hold in the rectangle of "
     "frame 1 (picture 1, frame 0), the first at x 4, y 1"},
    {"NoPaletteAtAll",
     [](Scene& scene) { scene.Theirs(Blocks(2, 2, 2), nullptr, RgbaSheet(2, 2, 2)); },
     "sheets/x_0.png: is not an indexed PNG, so it gives palette 0 no colours; give them with "
     "--palette 0=FILE"},
    {"ARotatedFrame",
     [](Scene& scene) {
       Json frames = Blocks(2, 2, 2);
       frames[1][kRotated] = true;
       scene.Theirs(frames, nullptr, RgbaSheet(2, 2, 2));
     },
     "frames[1] is turned on the sheet (rotated is true)"},
    {"AFrameOutsideTheSheet",
     [](Scene& scene) {
       Json frames = Blocks(2, 2, 2);
       frames[1][kFrame][kX] = 3;
       scene.Theirs(frames, nullptr, RgbaSheet(2, 2, 2));
       scene.WithPaletteFile();
     },
     "frame 1 (picture 1, frame 0) lies outside sheets/x_0.png (2 x 2 at x 3, y 0, the sheet 4 x "
     "2)"},
    // A few megabytes of text would parse into hundreds: refused before they are parsed.
    {"MoreValuesThanASpriteNeeds",
     [](Scene& scene) {
       std::string text = "{\"frames\": [0";
       for (int value = 0; value < 600000; ++value) {
         text += ",0";
       }
       text += "]}";
       scene[kManifest] = Bytes(text.begin(), text.end());
     },
     "sheets/x.json: holds more than 524288 values"},
    {"AFifthPalette",
     [](Scene& scene) {
       scene.Theirs(Blocks(2, 2, 2), nullptr, RgbaSheet(2, 2, 2));
       scene.job.paletteFiles.push_back({4, kPaletteFile});
     },
     "colours.gpl: is given as palette 4, but an .ART file has at most 4 palettes"},
};

class NewShapeTest : public testing::TestWithParam<ShapeCase> {};

TEST_P(NewShapeTest, MakesTheSpriteOrRefusesWritingNothing) {
  const ShapeCase& c = GetParam();
  Scene scene;
  c.arrange(scene);
  const auto before = scene.files.Contents();
  try {
    MakeNewArt(scene.job, scene.files);
    EXPECT_TRUE(c.error.empty()) << "made";
    const Sprite made = Parsed(scene[scene.job.output]);
    if (c.check) {
      c.check(scene, made);
    }
  } catch (const PackError& error) {
    EXPECT_FALSE(c.error.empty()) << error.what();
    EXPECT_NE(std::string(error.what()).find(Native(c.error)), std::string::npos) << error.what();
    EXPECT_EQ(scene.files.Contents(), before) << "a refusal wrote something";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, NewShapeTest, testing::ValuesIn(kShapeCases),
                         [](const testing::TestParamInfo<ShapeCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace vostrel
