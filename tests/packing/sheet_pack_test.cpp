// vostrel-pack taking sheets back, in process on files in memory: sheets made by vostrel-sheet's
// own code, edited as an editor would save them, packed, and the result compared with the
// original and with the sheets vostrel-sheet makes of the output.
#include "packing/sheet_pack.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "formats/manifest/manifest_schema.hpp"
#include "formats/palette_files/palette_files_read.hpp"
#include "formats/palette_files/palette_files_write.hpp"
#include "formats/picture/picture.hpp"
#include "formats/png/deflate.hpp"
#include "io/memory_files.hpp"
#include "io/path.hpp"
#include "packing/pack.hpp"
#include "packing/refresh.hpp"
#include "sheets/sheet_job.hpp"
#include "support/art_writer.hpp"
#include "support/picture_writer.hpp"
#include "support/run_program.hpp"

namespace vostrel {
namespace {

using Json = nlohmann::json;
using namespace manifest;
using test::Bytes;

const std::string kOriginal = "door.art";
const std::string kManifest = "sheets/door.json";
const std::string kOutput = "out/door.art";
const std::string kSheet0 = "sheets/door_0.png";
const std::string kSheet1 = "sheets/door_1.png";

// Eight pictures of two frames of different sizes, raw and run-length, with two palettes.
Bytes Sprite() {
  test::ArtSpec sprite;
  sprite.flags = 2;
  for (std::uint8_t p = 0; p < 8; ++p) {
    const std::int32_t height = 3 + p % 3;
    sprite.frames.push_back({6, 4, test::MakePixels(6, 4, p)});
    sprite.frames.push_back(
        {5, height,
         test::EncodeRle(test::MakePixels(5, height, static_cast<std::uint8_t>(p + 40)))});
  }
  for (std::uint8_t k = 0; k < 2; ++k) {
    sprite.palettePresent[k] = 1;
    sprite.palettes.push_back(test::MakePalette(static_cast<std::uint8_t>(k + 1)));
  }
  return test::WriteArt(sprite);
}

// Writes the sheets, manifest and palette files of the .ART file at art into dir.
void MakeSheetsOf(MemoryFiles& files, const std::string& art, const std::string& dir,
                  std::uint8_t transparent = 0) {
  files.Contents()[dir + "/.keep"] = {};  // the directory exists
  SheetRequest request;
  request.transparent = transparent;
  request.artPath = art;
  request.destDir = dir;
  request.version = "test";
  SheetWorkspace workspace;
  const SheetOutcome outcome = MakeSheets(request, files, workspace);
  ASSERT_TRUE(outcome.ok) << outcome.err;
  // vostrel-sheet joins its names with the platform's separator; these tests hold every file
  // under names written with '/', as the manifest's own path is given.
  if (kPathSeparator != '/') {
    auto& contents = files.Contents();
    const std::string written = dir + kPathSeparator;
    for (auto at = contents.lower_bound(written);
         at != contents.end() && at->first.compare(0, written.size(), written) == 0;) {
      contents[dir + '/' + at->first.substr(written.size())] = std::move(at->second);
      at = contents.erase(at);
    }
  }
}

struct Workspace {
  MemoryFiles files;
  explicit Workspace(std::uint8_t transparent = 0) {
    files.Contents()[kOriginal] = Sprite();
    files.Contents()["out/.keep"] = {};
    MakeSheetsOf(files, kOriginal, "sheets", transparent);
  }
  Bytes& operator[](const std::string& path) { return files.Contents()[path]; }
  Json Manifest() { return Json::parse((*this)[kManifest]); }
  void SetManifest(const Json& manifest) {
    const std::string text = manifest.dump(2);
    (*this)[kManifest] = Bytes(text.begin(), text.end());
  }
  // The rectangle of frame i in the sheets.
  Json Rect(std::size_t i) { return Manifest()[kFrames][i][kFrame]; }
  RgbPicture Sheet(const std::string& path) {
    return DecodePicture((*this)[path], kMaxPicturePixels, {.keepTransparency = true});
  }
  // The sheet at path with the pixel at x, y of frame i's rectangle given index.
  void Paint(const std::string& path, std::size_t i, int x, int y, std::uint8_t index) {
    RgbPicture sheet = Sheet(path);
    const Json rect = Rect(i);
    sheet.indices[static_cast<std::size_t>((rect[kY].get<int>() + y) * sheet.width +
                                           rect[kX].get<int>() + x)] = index;
    const Bytes trns = {0};
    (*this)[path] = test::WithPngChunk(
        test::WritePalettePng({sheet.width, sheet.height, sheet.indices, sheet.colourTable}, 256),
        "tRNS", trns);
  }
  // The sheet at path saved again with palette entries a and b swapped, their colours, their
  // alpha in tRNS and every pixel's index moving together, as an editor that reorders its
  // palette saves it: the picture looks the same.
  void SwapEntries(const std::string& path, std::uint8_t a, std::uint8_t b) {
    RgbPicture sheet = Sheet(path);
    for (std::uint8_t& index : sheet.indices) {
      index = index == a ? b : index == b ? a : index;
    }
    for (std::size_t byte = 0; byte < 4; ++byte) {
      std::swap(sheet.colourTable[a * 4u + byte], sheet.colourTable[b * 4u + byte]);
    }
    std::swap(sheet.entryAlphas[a], sheet.entryAlphas[b]);
    (*this)[path] = test::WithPngChunk(
        test::WritePalettePng({sheet.width, sheet.height, sheet.indices, sheet.colourTable}, 256),
        "tRNS", sheet.entryAlphas);
  }
  // The sheet at path saved again as RGBA, as an editor that maps colours would.
  void AsRgba(const std::string& path, std::size_t transparentAlpha = 0) {
    const RgbPicture sheet = Sheet(path);
    Bytes rgba = test::Colours(sheet.indices, sheet.colourTable, 4);
    for (std::size_t i = 0; i < sheet.indices.size(); ++i) {
      if (sheet.indices[i] == 0) {
        rgba[i * 4 + 3] = static_cast<std::uint8_t>(transparentAlpha);
      }
    }
    (*this)[path] = test::WritePng(sheet.width, sheet.height, 4, rgba);
  }
};

// The frames of an .ART file's bytes through the sheet library's view: what vostrel-sheet makes
// of out, beside the sheets, so that rewritten sheets can be compared with it.
void ExpectSheetsDescribe(Workspace& space, const std::vector<std::string>& paths) {
  space["again/door.art"] = space[kOutput];
  MakeSheetsOf(space.files, "again/door.art", "again");
  for (const std::string& path : paths) {
    const std::string name = path.substr(path.find('/') + 1);
    EXPECT_EQ(space[path], space["again/" + name]) << path << " is not what vostrel-sheet makes";
  }
}

struct Packed {
  PackOutcome outcome;
  std::vector<std::string> warnings;
};

Packed Pack(Workspace& space, std::vector<PaletteFile> palettes = {}) {
  Packed packed;
  PackReport report;
  report.warn = [&packed](const std::string& text) { packed.warnings.push_back(text); };
  packed.outcome =
      PackArt({kOriginal, kManifest, kOutput, std::move(palettes)}, report, space.files);
  return packed;
}

struct SheetCase {
  const char* name;
  std::function<void(Workspace&)> edit;
  std::string error;  // a part of the refusal; empty when the pack succeeds
  std::uint64_t replaced = 0;
  std::vector<std::string> updated = {};
  // What else the output must hold; every file updated is checked against vostrel-sheet.
  std::function<void(Workspace&)> check = {};
};

// The indices of frame i of the output (raw or run-length), through a sheet of it.
std::uint8_t OutputIndex(Workspace& space, std::size_t i, int x, int y) {
  space["again/door.art"] = space[kOutput];
  MakeSheetsOf(space.files, "again/door.art", "again");
  const RgbPicture sheet =
      DecodePicture(space["again/door_0.png"], kMaxPicturePixels, {.keepTransparency = true});
  const Json rect = Json::parse(space["again/door.json"])[kFrames][i][kFrame];
  return sheet.indices[static_cast<std::size_t>((rect[kY].get<int>() + y) * sheet.width +
                                                rect[kX].get<int>() + x)];
}

TEST(SheetPackTest, TakesEditsBackAndRefusesWhatItCannotTake) {
  const SheetCase cases[] = {
      {"Unedited",
       [](Workspace&) {},
       "",
       0,
       {},
       [](Workspace& space) { EXPECT_EQ(space[kOutput], space[kOriginal]); }},
      {"EditedInPalette0",
       [](Workspace& space) { space.Paint(kSheet0, 3, 1, 2, 77); },
       "",
       1,
       {kSheet1},
       [](Workspace& space) { EXPECT_EQ(OutputIndex(space, 3, 1, 2), 77); }},
      {"EditedInPalette1",
       [](Workspace& space) { space.Paint(kSheet1, 0, 0, 0, 9); },
       "",
       1,
       {kSheet0},
       [](Workspace& space) { EXPECT_EQ(OutputIndex(space, 0, 0, 0), 9); }},
      {"EditedAlikeInBoth",
       [](Workspace& space) {
         space.Paint(kSheet0, 5, 4, 1, 200);
         space.Paint(kSheet1, 5, 4, 1, 200);
       },
       "", 1},
      {"EditedUnlike",
       [](Workspace& space) {
         space.Paint(kSheet0, 5, 4, 1, 200);
         space.Paint(kSheet1, 5, 4, 1, 201);
       },
       "sheets/door_1.png: differs from sheets/door_0.png, also edited, in the rectangle of "
       "frame 5 (picture 2, frame 1)"},
      {"SavedAsRgbaUnedited",
       [](Workspace& space) { space.AsRgba(kSheet0); },
       "",
       0,
       {},
       [](Workspace& space) { EXPECT_EQ(space[kOutput], space[kOriginal]); }},
      // Index 0 is the transparent one; an editor's opaque pixels of its colour are not.
      {"RgbaWithTransparencyLost", [](Workspace& space) { space.AsRgba(kSheet0, 255); }, "", 0},
      {"TransparentPixelPaintedIn",
       [](Workspace& space) {
         space.Paint(kSheet0, 0, 2, 1, 0);
         space.AsRgba(kSheet0);
       },
       "",
       1,
       {kSheet1},
       [](Workspace& space) { EXPECT_EQ(OutputIndex(space, 0, 2, 1), 0); }},
      {"Grown",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest[kFrames][1][kFrame][kH] = 5;  // 5 x 3 in a 6 x 5 cell
         space.SetManifest(manifest);
       },
       // The sheets already show the grown frame: its new rows were the transparent index.
       "",
       1,
       {kManifest},
       [](Workspace& space) { EXPECT_EQ(OutputIndex(space, 1, 0, 4), 0); }},
      {"ShrunkAndEdited",
       [](Workspace& space) {
         space.Paint(kSheet1, 0, 0, 0, 9);
         Json manifest = space.Manifest();
         manifest[kFrames][0][kFrame][kW] = 2;
         space.SetManifest(manifest);
       },
       "",
       1,
       {kSheet0, kSheet1, kManifest}},
      {"GrownOverAnotherFrame",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest[kFrames][0][kFrame][kW] = 8;
         space.SetManifest(manifest);
       },
       "frame 0 (picture 0, frame 0) (8 x 4 at x 1, y 1) overlaps frame 1"},
      {"OutsideTheSheet",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest[kFrames][5][kFrame][kX] = 100;
         space.SetManifest(manifest);
       },
       "sheets/door.json: frame 5 (picture 2, frame 1) lies outside the sheets"},
      {"OtherSource",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest[kMeta][kVostrel][kSource] = "wall.art";
         space.SetManifest(manifest);
       },
       "sheets/door.json: was made from wall.art, not door.art"},
      {"OtherCounts",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest[kMeta][kVostrel][kPictures] = 4;
         space.SetManifest(manifest);
       },
       "describes 4 pictures of 2 frames and 2 palettes, but door.art has 8 pictures"},
      {"StoredSizeDiffers",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest[kMeta][kVostrel][kFrames][2][kWidth] = 7;
         space.SetManifest(manifest);
       },
       "frame 2 (picture 1, frame 0) was 7 x 4 when the sheets were made, but is 6 x 4"},
      // A sheet's name with a NUL in it would name another file for the system.
      {"SheetNameHoldingANul",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest[kMeta][kVostrel][kSheets][0][kImage] = std::string("door_0.png\0.txt", 15);
         space.SetManifest(manifest);
         space.files.Contents().erase(kSheet0);
       },
       "sheets/door.json: meta.vostrel.sheets[0].image holds a control character "
       "(door_0.png\\u0000.txt); make the sheets and the manifest again with vostrel-sheet"},
      {"SheetMissing", [](Workspace& space) { space.files.Contents().erase(kSheet1); },
       "sheets/door_1.png: is missing or not a file"},
      {"SheetResized",
       [](Workspace& space) { space[kSheet0] = test::WritePng(3, 2, 3, Bytes(18, 0)); },
       "sheets/door_0.png: is 3 x 2 pixels, but sheets/door.json gives the sheets"},
      {"SheetNotPng",
       [](Workspace& space) {
         space[kSheet0] = Bytes{'B', 'M', 0, 0};
       },
       "sheets/door_0.png: is not a PNG"},
      // A small file that claims a size of gigabytes is refused before anything is sized from
      // it: its header disagrees with meta.size.
      {"HugeSizeOnATinyPng",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest[kMeta][kSize] = {{kW, 40000}, {kH, 40000}};
         space.SetManifest(manifest);
       },
       "sheets/door_0.png: is 15 x 49 pixels, but sheets/door.json gives the sheets 40000 x "
       "40000 (meta.size)"},
      // Sheets of the size the manifest gives whose data holds one row of it (40,001 bytes in
      // 61): refused before anything is sized from them, whatever meta.size says.
      {"SizeItsDataCannotHold",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest["meta"]["size"] = {{"w", 40000}, {"h", 40000}};
         space.SetManifest(manifest);
         const Bytes hollow =
             test::WritePngRows(40000, 40000, 8, 3, Bytes(40001, 0), Bytes(768, 0));
         space[kSheet0] = hollow;
         space[kSheet1] = hollow;
       },
       "sheets/door_0.png: is a damaged PNG: its 40000 x 40000 pixels need 1600040000 bytes of "
       "rows, more than its "},
      {"SizePast31Bits",
       [](Workspace& space) {
         Json manifest = space.Manifest();
         manifest[kMeta][kSize] = {{kW, 100000}, {kH, 100000}};
         space.SetManifest(manifest);
       },
       "gives the sheets a size of 100000 x 100000 (meta.size), which no sheet can have"},
      {"ColourOutsideThePalette",
       [](Workspace& space) {
         space.AsRgba(kSheet0);
         Bytes& png = space[kSheet0];
         RgbPicture sheet = DecodePicture(png, kMaxPicturePixels, {.keepTransparency = true});
         const Json rect = space.Rect(2);
         const auto at =
             static_cast<std::size_t>(rect[kY].get<int>() * sheet.width + rect[kX].get<int>()) * 4;
         sheet.pixels[at] ^= 1;
         png = test::WritePng(sheet.width, sheet.height, 4, sheet.pixels);
       },
       "in colours that palette 0 of door.art does not hold in the rectangle of frame 2"},
      {"NotJson",
       [](Workspace& space) {
         space[kManifest] = Bytes{'{', '"'};
       },
       "sheets/door.json: is not valid JSON"},
      {"FarTooLarge", [](Workspace& space) { space[kManifest] = Bytes(10 << 20, ' '); },
       "sheets/door.json: is far larger than a manifest of 16 frames can be"},
  };
  for (const SheetCase& c : cases) {
    Workspace space;
    c.edit(space);
    try {
      const Packed packed = Pack(space);
      EXPECT_TRUE(c.error.empty()) << c.name << " was packed";
      EXPECT_EQ(packed.outcome.replaced, c.replaced) << c.name;
      EXPECT_EQ(packed.outcome.updatedPictures, c.updated) << c.name;
      EXPECT_TRUE(packed.warnings.empty()) << c.name << ": " << packed.warnings.front();
      ExpectSheetsDescribe(space, c.updated);
      if (c.check) {
        c.check(space);
      }
      // Packed again from the sheets brought up to date, the output stays as it is.
      space[kOriginal] = space[kOutput];
      EXPECT_EQ(Pack(space).outcome.replaced, 0u) << c.name << " packed again";
    } catch (const PackError& error) {
      EXPECT_FALSE(c.error.empty()) << c.name << ": " << error.what();
      EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos)
          << c.name << ": " << error.what();
      EXPECT_EQ(space.files.Contents().count(kOutput), 0u) << c.name << " wrote the output";
    }
  }
}

// A sheet whose editor saved its palette in another order shows the same picture, and packs to
// the original: transparency is the sheet's alpha, never an index's number.
TEST(SheetPackTest, SheetsWithTheirPaletteReorderedPackToTheOriginal) {
  struct Reordered {
    std::uint8_t transparent;
    std::uint8_t a;
    std::uint8_t b;
  };
  for (const Reordered c : {Reordered{0, 0, 2}, Reordered{0, 0, 255}, Reordered{0, 5, 9},
                            Reordered{3, 3, 0}, Reordered{3, 0, 7}}) {
    Workspace space(c.transparent);
    space.SwapEntries(kSheet0, c.a, c.b);
    space.SwapEntries(kSheet1, c.b, c.a);
    const Packed packed = Pack(space);
    const std::string name = "transparent " + std::to_string(c.transparent) + ", entries " +
                             std::to_string(c.a) + " and " + std::to_string(c.b) + " swapped";
    EXPECT_EQ(packed.outcome.replaced, 0u) << name;
    EXPECT_TRUE(packed.outcome.updatedPictures.empty()) << name;
    EXPECT_EQ(space[kOutput], space[kOriginal]) << name;
  }
}

TEST(SheetPackTest, PalettesFromPaletteFilesAndTheSheetsFollow) {
  Workspace space;
  // Palette 0 with every colour changed, as a GIMP palette; palette 1 stays.
  Bytes palette = test::MakePalette(9);
  const std::string gpl = GimpPalette(palette, "door_0");
  space["edited.gpl"] = Bytes(gpl.begin(), gpl.end());
  const Packed packed = Pack(space, {{0, "edited.gpl"}});
  EXPECT_EQ(packed.outcome.replaced, 0u);
  EXPECT_EQ(packed.outcome.palettesReplaced, std::vector<std::size_t>{0});
  const std::vector<std::string> updated = {kSheet0, "sheets/door_0.gpl", "sheets/door_0.pal",
                                            "sheets/door_0.act"};
  EXPECT_EQ(packed.outcome.updatedPictures, updated);
  ExpectSheetsDescribe(space, updated);
  // The colours are the file's; the fourth bytes stay the original's; the rest is as it was.
  const Bytes original = test::MakePalette(1);
  const Bytes& out = space[kOutput];
  const Bytes& in = space[kOriginal];
  for (std::size_t i = 0; i < 1024; ++i) {
    ASSERT_EQ(out[132 + i], i % 4 == 3 ? original[i] : palette[i]) << "byte " << i;
  }
  EXPECT_TRUE(std::equal(out.begin() + 132 + 1024, out.end(), in.begin() + 132 + 1024, in.end()));

  const std::pair<std::string, std::string> refusals[] = {
      {"3=edited.gpl", "edited.gpl: is given as palette 3, but door.art has 2 (0 to 1)"},
      {"0=short.gpl", "short.gpl: holds 2 colours, not 256"},
      {"0=missing.gpl", "missing.gpl: cannot be read"},
  };
  space["short.gpl"] = Bytes{'G', 'I', 'M', 'P', ' ', 'P',  'a', 'l', 'e', 't', 't', 'e', '\n',
                             '1', ' ', '2', ' ', '3', '\n', '4', ' ', '5', ' ', '6', '\n'};
  for (const auto& [option, error] : refusals) {
    const std::size_t equals = option.find('=');
    try {
      Pack(space, {{std::stoul(option.substr(0, equals)), option.substr(equals + 1)}});
      ADD_FAILURE() << option << " was packed";
    } catch (const PackError& refusal) {
      EXPECT_NE(std::string(refusal.what()).find(error), std::string::npos) << refusal.what();
    }
  }
}

Bytes Fixture(const std::string& name) {
  return test::ReadFile(test::SourcePath("tests/packing/fixtures/" + name).string());
}

struct FixtureCase {
  const char* sheet;  // saved by a real tool as palette 0's sheet of the sample
  std::uint64_t replaced;
  std::vector<std::string> updated;
};

// The sample's sheet as GIMP, ImageMagick and GraphicsMagick save it (see fixtures/MANIFEST):
// re-saved, it packs to the sample byte for byte; edited, to the edit alone.
TEST(SheetPackTest, SheetsSavedByRealTools) {
  const FixtureCase cases[] = {
      {"sheet-gimp.png", 0, {}},
      {"sheet-imagemagick.png", 0, {}},
      {"sheet-graphicsmagick.png", 0, {}},
      {"sheet-rgba.png", 0, {}},
      {"sheet-imagemagick-edited.png", 1, {kSheet1}},
  };
  for (const FixtureCase& c : cases) {
    Workspace space;
    space[kOriginal] = test::ReadFile(test::SourcePath("examples/door.art").string());
    MakeSheetsOf(space.files, kOriginal, "sheets");
    space[kSheet0] = Fixture(c.sheet);
    const Packed packed = Pack(space);
    EXPECT_EQ(packed.outcome.replaced, c.replaced) << c.sheet;
    EXPECT_EQ(packed.outcome.updatedPictures, c.updated) << c.sheet;
    if (c.replaced == 0) {
      EXPECT_EQ(space[kOutput], space[kOriginal]) << c.sheet;
    } else {
      EXPECT_EQ(packed.outcome.replacedFrames,
                (std::vector<FramePosition>{{1, 1}}))  // the pixel at x 40, y 40
          << c.sheet;
    }
    ExpectSheetsDescribe(space, c.updated);
  }
}

// In the pictures' directory too, the pictures and palette files of a replaced palette follow.
TEST(SheetPackTest, PaletteFilesReplaceAPaletteOfPictures) {
  Workspace space;
  // The packer names the pictures it lists with the platform's separator.
  const std::string kPics = std::string("pics") + kPathSeparator;
  const Bytes sprite = space[kOriginal];
  const Bytes oldPalette = test::MakePalette(2);
  const Bytes newPalette = test::MakePalette(9);
  const Bytes frame = test::MakePixels(6, 4, 0);  // picture 0, frame 0
  space[kPics + "door_0_0_1.bmp"] = FramePicture(kPics + "door_0_0_1.bmp", 6, 4, frame, oldPalette);
  space[kPics + "door_0_0_0.png"] =
      FramePicture(kPics + "door_0_0_0.png", 6, 4, frame, test::MakePalette(1));
  space[kPics + "door_1.act"] = AdobeColourTable(oldPalette);
  const std::string jasc = JascPalette(newPalette);
  space["new.pal"] = Bytes(jasc.begin(), jasc.end());
  PackReport report;
  const PackOutcome outcome =
      PackArt({kOriginal, "pics", kOutput, {{1, "new.pal"}}}, report, space.files);
  EXPECT_EQ(outcome.replaced, 0u);
  const std::vector<std::string> updated = {kPics + "door_0_0_1.bmp", kPics + "door_1.act"};
  EXPECT_EQ(outcome.updatedPictures, updated);
  // Palette 1 as written: the new colours, the old fourth bytes.
  const auto written = std::span<const std::uint8_t>(space[kOutput]).subspan(132 + 1024, 1024);
  EXPECT_EQ(space[kPics + "door_0_0_1.bmp"],
            FramePicture(kPics + "door_0_0_1.bmp", 6, 4, frame, written));
  EXPECT_EQ(space[kPics + "door_1.act"], AdobeColourTable(newPalette));
}

// A palette saved by GIMP reads back to the sample's palette 0, and put back changes nothing.
TEST(SheetPackTest, PaletteSavedByGimp) {
  Workspace space;
  space[kOriginal] = test::ReadFile(test::SourcePath("examples/door.art").string());
  MakeSheetsOf(space.files, kOriginal, "sheets");
  space["door_0-gimp.gpl"] = Fixture("door_0-gimp.gpl");
  const Packed packed = Pack(space, {{0, "door_0-gimp.gpl"}});
  EXPECT_TRUE(packed.outcome.palettesReplaced.empty());
  EXPECT_EQ(space[kOutput], space[kOriginal]);
  // And as vostrel-sheet writes it, in all three formats, to the same 256 colours.
  const PaletteColours fromGimp = ReadPaletteFile(space["door_0-gimp.gpl"]);
  for (const char* name : {"sheets/door_0.gpl", "sheets/door_0.pal", "sheets/door_0.act"}) {
    EXPECT_EQ(ReadPaletteFile(space[name]), fromGimp) << name;
  }
}

// Ten megabytes of frames against a file of sixteen: refused from its size, before it is parsed.
TEST(SheetPackTest, ManifestOfTenMegabytesOfFramesIsRefusedQuickly) {
  Workspace space;
  std::string text = space.Manifest().dump();
  const std::string frame = space.Manifest()[kFrames][0].dump() + ",";
  std::string frames;
  while (frames.size() <= std::size_t{10} << 20) {
    frames += frame;
  }
  const std::string list = "\"" + std::string(kFrames) + "\":[";
  text.insert(text.find(list) + list.size(), frames);
  space[kManifest] = Bytes(text.begin(), text.end());
  ASSERT_GT(space[kManifest].size(), std::size_t{10} << 20);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(Pack(space), PackError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace vostrel
