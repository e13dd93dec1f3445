// End-to-end tests of vostrel-pack: sprites are converted with the built vostrel, their
// pictures edited as an image editor would save them, packed, and the result converted again.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <regex>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "formats/picture/picture.hpp"
#include "support/art_writer.hpp"
#include "support/picture_writer.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

namespace fs = std::filesystem;
using test::ArtFrameSpec;
using test::ArtSpec;
using test::Bytes;
using test::RunResult;

constexpr std::size_t kHeaderBytes = 132;
constexpr std::size_t kPaletteBytes = 1024;
constexpr std::size_t kFrameHeaderBytes = 28;

// Pixels with runs as well as noise, so that their run-length coding has both kinds of run.
Bytes Stripes(std::int32_t width, std::int32_t height, std::uint8_t seed) {
  Bytes pixels = test::MakePixels(width, height, seed);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    if ((i / 5) % 2 == 0) {
      pixels[i] = seed;
    }
  }
  return pixels;
}

ArtFrameSpec Raw(std::int32_t width, std::int32_t height, std::uint8_t seed) {
  return {width, height, test::MakePixels(width, height, seed)};
}

ArtFrameSpec Rle(std::int32_t width, std::int32_t height, std::uint8_t seed) {
  return {width, height, test::EncodeRle(Stripes(width, height, seed))};
}

ArtSpec WithPalettes(ArtSpec sprite, int count) {
  for (int k = 0; k < count; ++k) {
    sprite.palettePresent[static_cast<std::size_t>(k)] = 1;
    sprite.palettes.push_back(test::MakePalette(static_cast<std::uint8_t>(k + 1)));
  }
  sprite.fillerWords = {0, 11, 12, 0, 0, 0, 0, 13, 0, 14, 15};
  return sprite;
}

// Eight pictures of two frames, raw then run-length, with two palettes.
ArtSpec EightPictures() {
  ArtSpec sprite;
  sprite.flags = 2;
  for (std::uint8_t p = 0; p < 8; ++p) {
    sprite.frames.push_back(Raw(6, 4, p));
    sprite.frames.push_back(Rle(5 + p, 3, static_cast<std::uint8_t>(p + 40)));
  }
  return WithPalettes(sprite, 2);
}

// The bytes of sprite, with the four uninterpreted words of every frame header set.
Bytes WriteSprite(const ArtSpec& sprite) {
  Bytes bytes = test::WriteArt(sprite);
  const std::size_t tables = kHeaderBytes + sprite.palettes.size() * kPaletteBytes;
  for (std::size_t i = 0; i < sprite.frames.size(); ++i) {
    for (std::size_t w = 3; w < 7; ++w) {
      bytes[tables + i * kFrameHeaderBytes + w * 4] = static_cast<std::uint8_t>(i + w);
    }
  }
  return bytes;
}

// Width, height and data size of frame i of an .ART file with the given palette count.
std::array<std::int32_t, 3> FrameSize(const Bytes& art, std::size_t palettes, std::size_t i) {
  const std::size_t at = kHeaderBytes + palettes * kPaletteBytes + i * kFrameHeaderBytes;
  return {static_cast<std::int32_t>(test::GetLe32(art, at)),
          static_cast<std::int32_t>(test::GetLe32(art, at + 4)),
          static_cast<std::int32_t>(test::GetLe32(art, at + 8))};
}

using Files = std::map<std::string, Bytes>;

Files ReadAll(const fs::path& dir) {
  Files files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = test::ReadFile(entry.path().string());
  }
  return files;
}

// Public, so that the edits and damages of the tables below can use it.
// The names of the files that differ between two sets, or are in one only.
std::vector<std::string> Differences(const Files& a, const Files& b) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : a) {
    const auto other = b.find(name);
    if (other == b.end() || other->second != bytes) {
      names.push_back(name);
    }
  }
  for (const auto& [name, bytes] : b) {
    if (!a.contains(name)) {
      names.push_back(name);
    }
  }
  return names;
}

class PackTest : public ::testing::Test {
 public:
  // Writes the sprite as sprite.art and converts it into pictures/. The packed file goes to
  // out/ under the same name, so that its pictures are named alike.
  void Prepare(const ArtSpec& sprite) { Prepare(WriteSprite(sprite)); }
  void Prepare(const Bytes& sprite) {
    fs::create_directory(root_.Path() / "out");
    original_ = sprite;
    test::WriteFile(Art(), original_);
    extracted_ = Convert(Art(), "pictures");
  }

  std::string Art() const { return root_.File("sprite.art"); }
  std::string Out() const { return (root_.Path() / "out" / "sprite.art").string(); }
  fs::path Pictures() const { return root_.Path() / "pictures"; }
  std::string Picture(const std::string& name) const { return (Pictures() / name).string(); }

  Files Convert(const std::string& art, const std::string& dirName) {
    const fs::path dir = root_.Path() / dirName;
    const RunResult run =
        test::RunProgram(test::ConverterPath(), {art, dir.string()}, root_.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadAll(dir);
  }

  RunResult Pack(const std::vector<std::string>& args) {
    return test::RunProgram(test::PackerPath(), args, root_.Path());
  }
  RunResult Pack(const std::string& output) { return Pack({Art(), Pictures().string(), output}); }

  test::IndexedPicture Extracted(const std::string& name) {
    return test::ReadBmp8(extracted_[name]);
  }

  void Edit(const std::string& name, const test::IndexedPicture& picture) {
    test::WriteFile(Picture(name), test::WriteBmp8(picture));
  }

  // Packs into output and checks that it succeeded, that standard output is the summary and
  // one line for each picture the pack rewrote, and that afterwards every picture describes
  // output: it shows the colours the converter gives, and one rewritten as BMP is exactly what
  // the converter writes.
  void PackAndCheckPictures(const std::string& output, int replaced, int frames = 16) {
    const Files before = ReadAll(Pictures());
    const RunResult run = Pack(output);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const Files after = ReadAll(Pictures());
    std::string expected = output + ": " + std::to_string(replaced) + " of " +
                           std::to_string(frames) + " frames replaced\n";
    const std::vector<std::string> rewritten = Differences(before, after);
    for (const std::string& name : rewritten) {
      expected += "updated " + Picture(name) + "\n";
    }
    EXPECT_EQ(run.out, expected);

    Files fresh = Convert(output, "fresh");
    fs::remove_all(root_.Path() / "fresh");
    // The tests' outputs have the original's name, so their pictures' names are alike.
    for (const auto& [name, bytes] : after) {
      const std::string bmp = fs::path(name).stem().string() + ".bmp";
      ASSERT_TRUE(fresh.contains(bmp)) << name;
      const bool rewrittenBmp =
          fs::path(name).extension() == ".bmp" &&
          std::find(rewritten.begin(), rewritten.end(), name) != rewritten.end();
      if (rewrittenBmp) {
        EXPECT_EQ(bytes, fresh[bmp]) << name;
      }
      const test::IndexedPicture shown = test::ReadBmp8(fresh[bmp]);
      const RgbPicture picture = DecodePicture(bytes);
      EXPECT_EQ(picture.width, shown.width) << name;
      const Bytes colours = test::Colours(shown.indices, shown.table, picture.channels);
      EXPECT_TRUE(std::equal(colours.begin(), colours.end(), picture.Bytes().begin(),
                             picture.Bytes().end()))
          << name;
    }
  }

  test::TempDir root_;
  Bytes original_;
  Files extracted_;
};

struct RoundTripCase {
  const char* name;
  std::function<ArtSpec()> sprite;
  const char* warning;  // part of standard error, or empty when there is nothing to say
  friend void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }
};

class UntouchedPicturesTest : public PackTest,
                              public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(UntouchedPicturesTest, GiveBackTheOriginalByteForByte) {
  Prepare(GetParam().sprite());
  const RunResult run = Pack(Out());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(" 0 of "), std::string::npos) << run.out;
  if (*GetParam().warning == '\0') {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(GetParam().warning), std::string::npos) << run.err;
  }
  EXPECT_EQ(test::ReadFile(Out()), original_);
  EXPECT_EQ(Differences(Convert(Out(), "again"), extracted_), std::vector<std::string>{});
}

ArtSpec DuplicateColours() {
  // Three palettes where every colour is held by four indices, and frames that use them all.
  ArtSpec sprite = test::OneFrameLayout(3, {Raw(16, 16, 0), Rle(17, 15, 3), Raw(1, 1, 200)});
  for (auto& palette : sprite.palettes) {
    for (std::size_t i = 0; i < palette.size(); i += 4) {
      palette[i + 3] = static_cast<std::uint8_t>(i);  // fourth bytes differ: they do not count
      for (std::size_t c = 0; c < 3; ++c) {
        palette[i + c] = palette[(i / 16) * 4 + c];
      }
    }
  }
  return sprite;
}

INSTANTIATE_TEST_SUITE_P(
    Sprites, UntouchedPicturesTest,
    ::testing::Values(
        RoundTripCase{"OneFrameLayoutRaw",
                      [] {
                        return WithPalettes(
                            test::OneFrameLayout(0, {Raw(3, 5, 1), Raw(1, 1, 2), Raw(7, 2, 3)}), 1);
                      },
                      ""},
        RoundTripCase{"EightPictures", EightPictures, ""},
        RoundTripCase{"FourPalettesShortStreamAndEmptyFrame",
                      [] {
                        ArtSpec sprite;
                        sprite.flags = 0;
                        for (std::uint8_t p = 0; p < 8; ++p) {
                          sprite.frames.push_back(p % 2 == 0 ? Raw(p + 1, 3, p) : Rle(9, p, p));
                        }
                        sprite.frames[3] = {4, 4, {0x03, 0x07}};  // 3 of 16 pixels
                        sprite.frames[5] = {0, 0, {}};
                        return WithPalettes(sprite, 4);
                      },
                      "sprite_5_0_3.bmp: ignored: its frame in "},
        RoundTripCase{"DuplicateColours", DuplicateColours, ""}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

// An edit of one frame's pictures, and the frame it should give.
struct EditCase {
  const char* name;
  int picture;
  int frame;
  std::function<test::IndexedPicture(PackTest&, const std::string& stem)> edit;
  bool door = false;  // the sample sprite instead of EightPictures
  friend void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }
};

class EditedPicturesTest : public PackTest, public ::testing::WithParamInterface<EditCase> {};

// Indices of the picture's first palette changed at a few places.
test::IndexedPicture Changed(test::IndexedPicture picture) {
  picture.indices.front() = static_cast<std::uint8_t>(picture.indices.front() + 1);
  picture.indices.back() = 77;
  picture.indices[picture.indices.size() / 2] = 0;
  return picture;
}

test::IndexedPicture Resized(const test::IndexedPicture& picture, std::int32_t width,
                             std::int32_t height) {
  return {width, height, Stripes(width, height, 9), picture.table};
}

// A part of a picture, as an editor crops it.
test::IndexedPicture Crop(const test::IndexedPicture& picture, std::int32_t x, std::int32_t y,
                          std::int32_t width, std::int32_t height) {
  test::IndexedPicture part{width, height, {}, picture.table};
  for (std::int32_t row = y; row < y + height; ++row) {
    const auto from = picture.indices.begin() + row * picture.width + x;
    part.indices.insert(part.indices.end(), from, from + width);
  }
  return part;
}

// A picture of fixtures/, made by a real tool from sprite_3_1_0.bmp of the sample sprite (see
// fixtures/MANIFEST), as the edited palette-0 picture of frame 0 of picture 1: the frame must
// show the part of sprite_3_1_0.bmp it was cut from.
EditCase FromFixture(const char* name, const char* file, std::array<std::int32_t, 4> cut) {
  return {name, 1, 0,
          [file, cut](PackTest& self, const std::string& stem) {
            const std::string extension = fs::path(file).extension().string();
            fs::copy_file(test::SourcePath(std::string("tests/packing/fixtures/") + file),
                          self.Picture(stem + "0" + extension),
                          fs::copy_options::overwrite_existing);
            if (extension != ".bmp") {
              fs::remove(self.Picture(stem + "0.bmp"));
            }
            return Crop(self.Extracted("sprite_3_1_0.bmp"), cut[0], cut[1], cut[2], cut[3]);
          },
          true};
}

TEST_P(EditedPicturesTest, ChangeExactlyTheEditedFrame) {
  const EditCase& c = GetParam();
  if (c.door) {
    Prepare(test::ReadFile(test::SourcePath("examples/door.art").string()));
  } else {
    Prepare(EightPictures());
  }
  const std::string stem =
      "sprite_" + std::to_string(c.picture) + "_" + std::to_string(c.frame) + "_";
  const test::IndexedPicture expected = c.edit(*this, stem);

  PackAndCheckPictures(Out(), 1);
  const Files again = Convert(Out(), "again");
  ASSERT_EQ(again.size(), extracted_.size());
  for (const auto& [name, bytes] : again) {
    if (name.rfind(stem, 0) != 0) {
      EXPECT_EQ(bytes, extracted_[name]) << name;
      continue;
    }
    const test::IndexedPicture shown = test::ReadBmp8(bytes);
    EXPECT_EQ(shown.width, expected.width) << name;
    EXPECT_EQ(shown.height, expected.height) << name;
    EXPECT_EQ(shown.indices, expected.indices) << name;
  }
  // The frame keeps its kind of storage and the words nobody interprets.
  const Bytes packed = test::ReadFile(Out());
  const std::size_t i = static_cast<std::size_t>(c.picture * 2 + c.frame);
  const auto [width, height, dataSize] = FrameSize(packed, 2, i);
  const auto [oldWidth, oldHeight, oldDataSize] = FrameSize(original_, 2, i);
  EXPECT_EQ(dataSize == width * height, oldDataSize == oldWidth * oldHeight);
  const std::size_t wordsAt = kHeaderBytes + 2 * kPaletteBytes + i * kFrameHeaderBytes + 12;
  EXPECT_TRUE(std::equal(packed.begin() + static_cast<std::ptrdiff_t>(wordsAt),
                         packed.begin() + static_cast<std::ptrdiff_t>(wordsAt + 16),
                         original_.begin() + static_cast<std::ptrdiff_t>(wordsAt)));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, EditedPicturesTest,
    ::testing::Values(EditCase{"PixelsChanged", 1, 0,
                               [](PackTest& self, const std::string& stem) {
                                 const auto edited = Changed(self.Extracted(stem + "0.bmp"));
                                 test::WriteFile(self.Picture(stem + "0.bmp"),
                                                 test::WriteBmp8(edited));
                                 return edited;
                               }},
                      EditCase{"RunLengthFrameResized", 2, 1,
                               [](PackTest& self, const std::string& stem) {
                                 const auto edited = Resized(self.Extracted(stem + "0.bmp"), 9, 7);
                                 test::WriteFile(self.Picture(stem + "0.bmp"),
                                                 test::WriteBmp8(edited));
                                 return edited;
                               }},
                      EditCase{"RawFrameResized", 3, 0,
                               [](PackTest& self, const std::string& stem) {
                                 const auto edited = Resized(self.Extracted(stem + "1.bmp"), 2, 3);
                                 test::WriteFile(self.Picture(stem + "1.bmp"),
                                                 test::WriteBmp8(edited, true));
                                 return edited;
                               }},
                      EditCase{"Saved24Bit", 4, 1,
                               [](PackTest& self, const std::string& stem) {
                                 const auto edited = Changed(self.Extracted(stem + "1.bmp"));
                                 test::WriteFile(
                                     self.Picture(stem + "1.bmp"),
                                     test::WriteBmpRgb(edited.width, edited.height,
                                                       test::Colours(edited.indices, edited.table),
                                                       24));
                                 return edited;
                               }},
                      EditCase{"SavedAsPngBesideTheUntouchedBmp", 5, 0,
                               [](PackTest& self, const std::string& stem) {
                                 const auto edited = Changed(self.Extracted(stem + "0.bmp"));
                                 test::WriteFile(
                                     self.Picture(stem + "0.png"),
                                     test::WritePng(edited.width, edited.height, 3,
                                                    test::Colours(edited.indices, edited.table)));
                                 return edited;
                               }},
                      EditCase{"SavedAsPngWithItsExtensionInCapitals", 5, 1,
                               [](PackTest& self, const std::string& stem) {
                                 const auto edited = Changed(self.Extracted(stem + "1.bmp"));
                                 test::WriteFile(
                                     self.Picture(stem + "1.PNG"),
                                     test::WritePng(edited.width, edited.height, 3,
                                                    test::Colours(edited.indices, edited.table)));
                                 return edited;
                               }},
                      EditCase{"PaletteReordered", 6, 1,
                               [](PackTest& self, const std::string& stem) {
                                 const auto edited = Changed(self.Extracted(stem + "0.bmp"));
                                 test::IndexedPicture reversed = edited;
                                 for (std::size_t i = 0; i < 256; ++i) {
                                   std::copy_n(
                                       edited.table.begin() + static_cast<std::ptrdiff_t>(i * 4), 4,
                                       reversed.table.begin() +
                                           static_cast<std::ptrdiff_t>((255 - i) * 4));
                                 }
                                 for (auto& index : reversed.indices) {
                                   index = static_cast<std::uint8_t>(255 - index);
                                 }
                                 test::WriteFile(self.Picture(stem + "0.bmp"),
                                                 test::WriteBmp8(reversed));
                                 return edited;
                               }},
                      EditCase{"BothPalettesEditedAlike", 7, 0,
                               [](PackTest& self, const std::string& stem) {
                                 const auto edited = Changed(self.Extracted(stem + "0.bmp"));
                                 test::WriteFile(self.Picture(stem + "0.bmp"),
                                                 test::WriteBmp8(edited));
                                 const auto second = self.Extracted(stem + "1.bmp");
                                 test::WriteFile(self.Picture(stem + "1.png"),
                                                 test::WritePng(edited.width, edited.height, 4,
                                                                test::Colours(edited.indices,
                                                                              second.table, 4)));
                                 return edited;
                               }},
                      FromFixture("RunLengthBmpOfImageMagick", "door-rle8.bmp", {8, 8, 12, 10}),
                      FromFixture("OneBitBmpOfPpmtobmp", "door-1bit.bmp", {8, 8, 12, 10}),
                      FromFixture("FourBitBmpOfPpmtobmp", "door-4bit.bmp", {14, 14, 16, 12}),
                      FromFixture("OneBitPngOfPnmtopng", "door-1bit.png", {8, 8, 12, 10}),
                      FromFixture("TwoBitPngOfPnmtopng", "door-2bit.png", {14, 14, 16, 12}),
                      FromFixture("FourBitPngOfImageMagick", "door-4bit.png", {14, 14, 16, 12}),
                      FromFixture("EightBitPngOfImageMagick", "door-8bit.png", {14, 14, 16, 12}),
                      // Black painted at x 5, y 5 with index 100, one of the palette's many copies
                      // of black.
                      EditCase{"PaintedWithACopyOfBlack", 1, 0,
                               [](PackTest& self, const std::string& stem) {
                                 fs::copy_file(
                                     test::SourcePath("tests/packing/fixtures/door-index100.bmp"),
                                     self.Picture(stem + "0.bmp"),
                                     fs::copy_options::overwrite_existing);
                                 test::IndexedPicture expected = self.Extracted("sprite_3_1_0.bmp");
                                 expected.indices[5 * 32 + 5] = 100;
                                 return expected;
                               },
                               true}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

// A damage to the pictures or the original, and what the refusal must say.
struct RefusalCase {
  const char* name;
  std::function<void(PackTest&)> damage;
  std::vector<std::string> messages;                       // parts of standard error
  bool inPlace = false;                                    // OUTPUT is ORIGINAL
  std::function<std::string(PackTest&)> output = nullptr;  // OUTPUT instead, when given
  friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }
};

class RefusedTest : public PackTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedTest, WritesNothing) {
  Prepare(EightPictures());
  const RefusalCase& c = GetParam();
  c.damage(*this);
  const Bytes before = test::ReadFile(Art());
  const std::string output = c.output ? c.output(*this) : c.inPlace ? Art() : Out();
  const RunResult run = Pack(output);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  for (const std::string& message : c.messages) {
    EXPECT_NE(run.err.find(message), std::string::npos) << message << "\nin: " << run.err;
  }
  EXPECT_NE(run.err.find("vostrel-pack: nothing was written to " + output + "\n"),
            std::string::npos);
  EXPECT_EQ(test::ReadFile(Art()), before);
  // No OUTPUT, and no temporary file left beside it.
  EXPECT_EQ(test::FilesIn(root_.Path() / "out"), std::vector<std::string>{});
  EXPECT_EQ(test::FilesIn(root_.Path()),
            (std::vector<std::string>{"out", "pictures", "sprite.art"}));
}

// Frame 0 of picture 0 saved as 24-bit with its first pixel in a colour that palette 0 lacks.
void PaintMissingColour(PackTest& self) {
  const auto picture = self.Extracted("sprite_0_0_0.bmp");
  Bytes rgb = test::Colours(picture.indices, picture.table);
  rgb[0] = 0x12;  // palette 0 of the test sprites holds no colour with red 0x12 and its green
  rgb[1] = 0x34;
  rgb[2] = 0x56;
  test::WriteFile(self.Picture("sprite_0_0_0.bmp"),
                  test::WriteBmpRgb(picture.width, picture.height, rgb, 24));
}

INSTANTIATE_TEST_SUITE_P(
    Damages, RefusedTest,
    ::testing::Values(
        RefusalCase{"ColourMissingFromThePalette",
                    PaintMissingColour,
                    {"sprite_0_0_0.bmp: has 1 pixel in colours that palette 0 of ",
                     "the first at x 0, y 0 (#123456)"}},
        RefusalCase{"FailureLeavesOriginalAsItWas", PaintMissingColour, {"(#123456)"}, true},
        RefusalCase{"PaletteVariantsDisagree",
                    [](PackTest& self) {
                      for (const char* name : {"sprite_1_1_0.bmp", "sprite_1_1_1.bmp"}) {
                        auto picture = Changed(self.Extracted(name));
                        picture.indices[1] = name[11] == '0' ? 3 : 4;
                        test::WriteFile(self.Picture(name), test::WriteBmp8(picture));
                      }
                    },
                    {"sprite_1_1_1.bmp: has 1 pixel unlike ",
                     "sprite_1_1_0.bmp, also edited, "
                     "the first at x 1, y 0 (#"}},
        RefusalCase{"TruncatedPicture",
                    [](PackTest& self) {
                      Bytes bytes = test::ReadFile(self.Picture("sprite_2_0_1.bmp"));
                      bytes.pop_back();
                      test::WriteFile(self.Picture("sprite_2_0_1.bmp"), bytes);
                    },
                    {"sprite_2_0_1.bmp: ends early"}},
        RefusalCase{"NotAPicture",
                    [](PackTest& self) {
                      test::WriteFile(self.Picture("sprite_0_1_0.png"), Bytes{'t', 'e', 'x', 't'});
                    },
                    {"sprite_0_1_0.png: is not a BMP or PNG picture"}},
        RefusalCase{"OriginalRefusedByTheLoader",
                    [](PackTest& self) { test::WriteFile(self.Art(), Bytes(100, 0)); },
                    {"sprite.art: is not an .ART file that can be read"}},
        RefusalCase{"OriginalEndsEarly",
                    [](PackTest& self) {
                      Bytes bytes = test::ReadFile(self.Art());
                      bytes.resize(bytes.size() - 5);
                      test::WriteFile(self.Art(), bytes);
                    },
                    {"sprite.art: ends early: its frame data lacks 5 bytes"}},
        RefusalCase{"NoPictureOfTheOriginalsNames",
                    [](PackTest& self) {
                      // As after the original was renamed from old.art.
                      for (const std::string& name : test::FilesIn(self.Pictures())) {
                        fs::rename(self.Pictures() / name, self.Pictures() / ("old" + name));
                      }
                    },
                    {"pictures: holds no picture of ",
                     "sprite.art: looked for sprite_P_F_K.bmp or .png (P from 0 to 7, F from 0 to "
                     "1, K from 0 to 1; the extension in any case); give the directory"}},
        RefusalCase{"OutputIsADirectory",
                    [](PackTest&) {},
                    {"out: is a directory; give the name of the .ART file to write, such as "},
                    false,
                    [](PackTest& self) { return (self.root_.Path() / "out").string(); }}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(PackTest, ReplacesTheOriginalInPlace) {
  Prepare(EightPictures());
  const auto edited = Changed(Extracted("sprite_0_0_0.bmp"));
  test::WriteFile(Picture("sprite_0_0_0.bmp"), test::WriteBmp8(edited));
  const RunResult run = Pack(Art());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(test::FilesIn(root_.Path()),
            (std::vector<std::string>{"out", "pictures", "sprite.art"}));
  EXPECT_EQ(test::ReadBmp8(Convert(Art(), "again")["sprite_0_0_1.bmp"]).indices, edited.indices);
}

// The round trip the README invites: edit, pack in place, edit another frame, pack in place
// again, edit the first picture once more. Every edit stays, and a last pass with nothing
// edited leaves the file as it is.
TEST_F(PackTest, PackingInPlaceAgainKeepsEveryEdit) {
  Prepare(EightPictures());
  const auto first = Changed(Extracted("sprite_3_1_0.bmp"));
  Edit("sprite_3_1_0.bmp", first);
  PackAndCheckPictures(Art(), 1);
  const auto second = Changed(Extracted("sprite_5_0_0.bmp"));
  Edit("sprite_5_0_0.bmp", second);
  PackAndCheckPictures(Art(), 1);
  auto third = first;
  third.indices[1] = 5;
  Edit("sprite_3_1_0.bmp", third);
  PackAndCheckPictures(Art(), 1);

  Files again = Convert(Art(), "again");
  EXPECT_EQ(test::ReadBmp8(again["sprite_3_1_1.bmp"]).indices, third.indices);
  EXPECT_EQ(test::ReadBmp8(again["sprite_5_0_1.bmp"]).indices, second.indices);
  const Bytes packed = test::ReadFile(Art());
  PackAndCheckPictures(Art(), 0);
  EXPECT_EQ(test::ReadFile(Art()), packed);
}

// A file of a frame announcing 46341 x 46340 pixels (2 GiB) in a two-byte stream, whose
// picture has another size: nothing is decoded for the frame. Run with a 1 GiB address space
// where the sanitizers, which reserve far more, are not in the build.
TEST_F(PackTest, AFrameCostsOnlyWhatItsPicturesNeed) {
  ArtSpec sprite =
      WithPalettes(test::OneFrameLayout(0, {Raw(4, 2, 1), {46341, 46340, {0x81, 7}}}), 1);
  test::WriteFile(Art(), WriteSprite(sprite));
  fs::create_directory(Pictures());
  fs::create_directory(root_.Path() / "out");
  const test::IndexedPicture edited{3, 2, Stripes(3, 2, 4), sprite.palettes[0]};
  Edit("sprite_1_0_0.bmp", edited);
  std::vector<std::string> args{Art(), Pictures().string(), Out()};
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  const RunResult run = Pack(args);
#else
  args.insert(args.begin(),
              {"-c", "ulimit -v 1048576 && exec \"$0\" \"$@\"", test::PackerPath().string()});
  const RunResult run = test::RunProgram("/bin/sh", args, root_.Path());
#endif
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Out() + ": 1 of 2 frames replaced\n");
  const auto [width, height, dataSize] = FrameSize(test::ReadFile(Out()), 1, 1);
  EXPECT_EQ(width * height, 6);
}

#ifndef _WIN32
// As a user who may read the pictures but not write their directory: OUTPUT is written, and
// the picture left showing the old frame is named with what to do. Root writes anywhere, so
// there the packer runs as an unprivileged user.
TEST_F(PackTest, PicturesThatCannotBeRewrittenAreNamed) {
  Prepare(EightPictures());
  const auto edited = Changed(Extracted("sprite_2_0_0.bmp"));
  Edit("sprite_2_0_0.bmp", edited);
  const fs::path packer = root_.Path() / "vostrel-pack";
  fs::copy_file(test::PackerPath(), packer);
  fs::permissions(root_.Path() / "out", fs::perms::all);
  fs::permissions(Pictures(), fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  const std::vector<std::string> args{Art(), Pictures().string(), Out()};
  RunResult run;
  if (geteuid() == 0) {
    std::vector<std::string> asNobody{
        "-c", "exec setpriv --reuid=nobody --regid=nogroup --clear-groups \"$0\" \"$@\"",
        packer.string()};
    asNobody.insert(asNobody.end(), args.begin(), args.end());
    run = test::RunProgram("/bin/sh", asNobody, root_.Path());
  } else {
    run = test::RunProgram(packer, args, root_.Path());
  }
  fs::permissions(Pictures(), fs::perms::owner_all);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, Out() + ": 1 of 16 frames replaced\n");
  const std::string expected = "vostrel-pack: warning: " + Picture("sprite_2_0_1.bmp") +
                               ": out of date: it cannot be rewritten \\(cannot create a file "
                               "there: [^\n]*\\), so it still shows the frame as it was before; "
                               "extract " +
                               Out() + " again before packing from " + Pictures().string() + "\n";
  EXPECT_TRUE(std::regex_match(run.err, std::regex(expected))) << run.err;
  EXPECT_EQ(test::ReadBmp8(Convert(Out(), "again")["sprite_2_0_1.bmp"]).indices, edited.indices);
}

// What an OUTPUT that exists already, or has a long name, must stay or become.
struct OutputCase {
  const char* name;
  std::function<std::string(const fs::path& dir)> prepare;  // gives OUTPUT
  std::function<void(const fs::path& dir, const std::string& output)> check;
  friend void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }
};

class OutputFileTest : public PackTest, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(OutputFileTest, TakesThePackedBytes) {
  Prepare(EightPictures());
  Edit("sprite_4_0_1.bmp", Changed(Extracted("sprite_4_0_1.bmp")));
  ASSERT_EQ(Pack(Out()).status, 0);
  const Bytes packed = test::ReadFile(Out());
  const fs::path dir = root_.Path() / "out";
  const std::string output = GetParam().prepare(dir);
  const RunResult run = Pack(output);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, output + ": 1 of 16 frames replaced\n");
  EXPECT_EQ(test::ReadFile(output), packed);
  GetParam().check(dir, output);
  const std::vector<std::string> left = test::FilesIn(dir);
  EXPECT_TRUE(std::none_of(left.begin(), left.end(),
                           [](const std::string& name) { return name.front() == '.'; }));
}

std::string LongName(const fs::path& dir, std::size_t length) {
  return (dir / (std::string(length - 4, 'n') + ".art")).string();
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, OutputFileTest,
    ::testing::Values(
        OutputCase{"SymbolicLinkIsFollowedAndStays",
                   [](const fs::path& dir) {
                     test::WriteFile((dir / "real.art").string(), Bytes{1, 2, 3});
                     fs::create_symlink("real.art", dir / "link.art");
                     return (dir / "link.art").string();
                   },
                   [](const fs::path& dir, const std::string&) {
                     EXPECT_TRUE(fs::is_symlink(dir / "link.art"));
                     EXPECT_EQ(fs::read_symlink(dir / "link.art"), "real.art");
                   }},
        OutputCase{"PermissionBitsAreKept",
                   [](const fs::path& dir) {
                     const fs::path output = dir / "kept.art";
                     test::WriteFile(output.string(), Bytes{1, 2, 3});
                     fs::permissions(output, fs::perms::owner_read | fs::perms::owner_write |
                                                 fs::perms::others_read);
                     return output.string();
                   },
                   [](const fs::path&, const std::string& output) {
                     EXPECT_EQ(fs::status(output).permissions(), fs::perms::owner_read |
                                                                     fs::perms::owner_write |
                                                                     fs::perms::others_read);
                   }},
        OutputCase{"NameOf240Bytes", [](const fs::path& dir) { return LongName(dir, 240); },
                   [](const fs::path&, const std::string&) {}},
        OutputCase{"NameOf255Bytes", [](const fs::path& dir) { return LongName(dir, 255); },
                   [](const fs::path&, const std::string&) {}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });
#endif

TEST_F(PackTest, CommandLineFollowsTheConventions) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string outPattern;
    std::string errPattern;
  };
  const std::string usage =
      "Usage: vostrel-pack \\[--palette K=FILE\\]\\.\\.\\. ORIGINAL\\.art PICTURES_DIR "
      "OUTPUT\\.art\n"
      "       vostrel-pack \\[--palette K=FILE\\]\\.\\.\\. ORIGINAL\\.art SHEETS/STEM\\.json "
      "OUTPUT\\.art\n"
      "       vostrel-pack --new \\[--like LIKE\\.art\\] \\[--transparent T\\] "
      "\\[--palette K=FILE\\]\\.\\.\\.\n"
      "                    SHEETS/MANIFEST\\.json OUTPUT\\.art\n";
  const std::string tryHelp = "Try 'vostrel-pack --help' for more information\\.\n";
  const Case cases[] = {
      {{"--help"}, 0, usage + "Puts edited pictures back into an \\.ART file\\.\n[^]*", ""},
      {{"--version"}, 0, "vostrel-pack [0-9]+\\.[0-9]+[0-9.]*\n", ""},
      {{}, 2, "", "vostrel-pack: missing arguments\n" + usage + tryHelp},
      {{"a", "b", "c", "d"}, 2, "", "vostrel-pack: too many arguments\n" + usage + tryHelp},
      {{"-q", "a", "b", "c"}, 2, "", "vostrel-pack: unknown option '-q'\n" + usage + tryHelp},
      {{"a", "b", "c", "--palette"},
       2,
       "",
       "vostrel-pack: option '--palette' needs a value, K=FILE\n" + usage + tryHelp},
      {{"--palette", "256=x.gpl", "a", "b", "c"},
       2,
       "",
       "vostrel-pack: option '--palette' takes K=FILE, a palette from 0 to 255 and a palette "
       "file, not '256=x\\.gpl'\n" +
           usage + tryHelp},
      {{"--palette=1", "a", "b", "c"},
       2,
       "",
       "vostrel-pack: option '--palette' takes K=FILE, a palette from 0 to 255 and a palette "
       "file, not '1'\n" +
           usage + tryHelp},
      {{"--new", "a.json", "b", "c"},
       2,
       "",
       "vostrel-pack: too many arguments\n" + usage + tryHelp},
      {{"--like", "x.art", "a", "b", "c"},
       2,
       "",
       "vostrel-pack: option '--like' is only for --new\n" + usage + tryHelp},
      {{"--new", "--transparent=256", "a.json", "b"},
       2,
       "",
       "vostrel-pack: option '--transparent' takes an index from 0 to 255, not '256'\n" + usage +
           tryHelp},
      {{"--new", "missing.json", "out.art"},
       1,
       "",
       "vostrel-pack: missing\\.json: cannot be read; check its name and that you may read it\n"
       "vostrel-pack: nothing was written to out\\.art\n"},
      {{"missing.art", "pictures", "out.art"},
       1,
       "",
       "vostrel-pack: missing\\.art: cannot be read; check its name and that you may read it\n"
       "vostrel-pack: nothing was written to out\\.art\n"},
  };
  for (const Case& c : cases) {
    const RunResult run = Pack(c.args);
    const std::string args = ::testing::PrintToString(c.args);
    EXPECT_EQ(run.status, c.status) << args;
    EXPECT_TRUE(std::regex_match(run.out, std::regex(c.outPattern))) << args << run.out;
    EXPECT_TRUE(std::regex_match(run.err, std::regex(c.errPattern))) << args << run.err;
  }
}

}  // namespace
}  // namespace vostrel
