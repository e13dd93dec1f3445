// The conversion of one .ART file on disk: its BMPs and its console lines.
#include "programs/vostrel/convert/convert.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/platform.hpp"
#include "support/art_writer.hpp"
#include "support/paths.hpp"
#include "support/recording_console.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

using test::ArtFrameSpec;
using test::ArtSpec;
using test::Bytes;

class ConvertTest : public ::testing::Test {
 protected:
  std::string Dest() const { return dir_.Path().string() + kPathSeparator; }

  std::string WriteArtFile(const std::string& name, const ArtSpec& sprite) const {
    const std::string path = dir_.File(name);
    test::WriteFile(path, test::WriteArt(sprite));
    return path;
  }

  bool Convert(const std::string& artPath) {
    test::RecordingConsole console;
    const bool result = ConvertArtFile(artPath, Dest(), console, platform::SystemFiles());
    out_ = console.Out();
    err_ = console.Err();
    return result;
  }

  std::vector<std::string> Bmps() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
      if (entry.path().extension() == ".bmp") {
        names.push_back(entry.path().filename().string());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  test::TempDir dir_;
  std::string out_;
  std::string err_;
};

TEST_F(ConvertTest, RawFrameWithTwoPalettesGivesTwoBmpsAndTheirLines) {
  const Bytes pixels = test::MakePixels(3, 20, 1);
  const std::string path = WriteArtFile("door.art", test::OneFrameLayout(2, {{3, 20, pixels}}));
  EXPECT_TRUE(Convert(path));
  EXPECT_EQ(out_, path + "\nOpening.....Done\n" +
                      "Standard RAW data detected, decoding\n"
                      "Saving BMP: Picture 1 Frame 1 Palette 1.\n\n"
                      "Standard RAW data detected, decoding\n"
                      "Saving BMP: Picture 1 Frame 1 Palette 2.\n\n");
  EXPECT_EQ(err_, "");
  ASSERT_EQ(Bmps(), (std::vector<std::string>{"door_0_0_0.bmp", "door_0_0_1.bmp"}));
  for (std::uint8_t k = 0; k < 2; ++k) {
    const Bytes bmp = test::ReadFile(dir_.File("door_0_0_" + std::to_string(k) + ".bmp"));
    const Bytes palette = test::MakePalette(k);
    EXPECT_TRUE(std::equal(palette.begin(), palette.end(), bmp.begin() + 54));
    EXPECT_EQ(test::GetLe32(bmp, 18), 3u);
    EXPECT_EQ(test::GetLe32(bmp, 22), 20u);
    // Bottom-up: the file's first row is the frame's last.
    EXPECT_TRUE(std::equal(pixels.end() - 3, pixels.end(), bmp.begin() + 1078));
  }
}

TEST_F(ConvertTest, EightPictureLayoutGivesOneBmpPerPictureFrameAndPalette) {
  ArtSpec sprite;
  sprite.flags = 2;
  sprite.palettePresent = {1, 1, 0, 0};
  sprite.palettes = {test::MakePalette(0), test::MakePalette(1)};
  for (int n = 0; n < 48; ++n) {
    sprite.frames.push_back({2, 2, test::MakePixels(2, 2, static_cast<std::uint8_t>(n))});
  }
  EXPECT_TRUE(Convert(WriteArtFile("tree.art", sprite)));
  const std::vector<std::string> names = Bmps();
  ASSERT_EQ(names.size(), 96u);
  EXPECT_EQ(names.front(), "tree_0_0_0.bmp");
  EXPECT_EQ(names.back(), "tree_7_5_1.bmp");
  EXPECT_NE(out_.find("Opening" + std::string(52, '.') + "Done\n"), std::string::npos);
  // The palette changes fastest.
  const auto first = out_.find("Saving BMP: Picture 1 Frame 1 Palette 2");
  const auto second = out_.find("Saving BMP: Picture 1 Frame 2 Palette 1");
  EXPECT_LT(first, second);
  EXPECT_NE(out_.find("Saving BMP: Picture 8 Frame 6 Palette 2"), std::string::npos);
}

TEST_F(ConvertTest, RunLengthFrameIsDecodedIntoItsOwnSizedPlane) {
  // 8 x 4 pixels stored in 20 bytes: not equal to 32, so run-length.
  Bytes pixels(32, 6);
  std::fill(pixels.begin(), pixels.begin() + 8, 1);
  Bytes block = test::EncodeRle(pixels);
  ASSERT_NE(block.size(), 32u);
  const std::string path = WriteArtFile("rle.art", test::OneFrameLayout(1, {{8, 4, block}}));
  EXPECT_TRUE(Convert(path));
  EXPECT_NE(out_.find("Standard RLE data detected, decodingDone\n"), std::string::npos);
  const Bytes bmp = test::ReadFile(dir_.File("rle_0_0_0.bmp"));
  ASSERT_EQ(bmp.size(), 1078u + 32u);
  EXPECT_EQ(Bytes(bmp.begin() + 1078, bmp.begin() + 1078 + 8), Bytes(8, 6));
  EXPECT_EQ(Bytes(bmp.end() - 8, bmp.end()), Bytes(8, 1));
}

TEST_F(ConvertTest, RunLengthFrameShowsItsDecodingForEveryPalette) {
  // Fifty fill runs make one decoder mark.
  Bytes pixels;
  for (std::uint8_t run = 0; run < 50; ++run) {
    pixels.insert(pixels.end(), 4, run);
  }
  const std::string path =
      WriteArtFile("three.art", test::OneFrameLayout(3, {{10, 20, test::EncodeRle(pixels)}}));
  EXPECT_TRUE(Convert(path));
  std::string expected = path + "\nOpening.....Done\n";
  for (int k = 1; k <= 3; ++k) {
    expected +=
        "Standard RLE data detected, decoding.Done\nSaving BMP: Picture 1 Frame 1 Palette " +
        std::to_string(k) + ".\n\n";
  }
  EXPECT_EQ(out_, expected);
  for (int k = 0; k < 3; ++k) {
    const Bytes bmp = test::ReadFile(dir_.File("three_0_0_" + std::to_string(k) + ".bmp"));
    ASSERT_EQ(bmp.size(), 1078u + 12u * 20u);
    // The top row of the picture is the last in the file.
    EXPECT_EQ(Bytes(bmp.end() - 12, bmp.end() - 2), (Bytes{0, 0, 0, 0, 1, 1, 1, 1, 2, 2})) << k;
  }
}

TEST_F(ConvertTest, StreamAsLongAsThePictureIsTakenRaw) {
  const Bytes block{0x02, 0x09, 0x02, 0x09};  // would decode to 9 9 9 9
  EXPECT_TRUE(Convert(WriteArtFile("eq.art", test::OneFrameLayout(1, {{2, 2, block}}))));
  EXPECT_NE(out_.find("Standard RAW data detected, decoding\n"), std::string::npos);
  const Bytes bmp = test::ReadFile(dir_.File("eq_0_0_0.bmp"));
  EXPECT_EQ(Bytes(bmp.begin() + 1078, bmp.end()),
            (Bytes{0x02, 0x09, 'Q', 'Z', 0x02, 0x09, 'Q', 'Z'}));
}

TEST_F(ConvertTest, NameWithSeveralDotsKeepsAllButTheLastPart) {
  EXPECT_TRUE(Convert(WriteArtFile("a.b.art", test::OneFrameLayout(1, {{1, 1, {0}}}))));
  EXPECT_EQ(Bmps(), (std::vector<std::string>{"a.b_0_0_0.bmp"}));
}

TEST_F(ConvertTest, NameWithoutDotIsUsedWhole) {
  EXPECT_TRUE(Convert(WriteArtFile("plain", test::OneFrameLayout(1, {{1, 1, {0}}}))));
  EXPECT_EQ(Bmps(), (std::vector<std::string>{"plain_0_0_0.bmp"}));
}

TEST_F(ConvertTest, FileWithoutPalettesWritesNothingAndSucceeds) {
  const std::string path = WriteArtFile("none.art", test::OneFrameLayout(0, {{1, 1, {0}}}));
  EXPECT_TRUE(Convert(path));
  EXPECT_EQ(out_, path + "\nOpening.....Done\n");
  EXPECT_TRUE(Bmps().empty());
}

TEST_F(ConvertTest, MissingFileIsAFailure) {
  const std::string path = dir_.File("missing.art");
  EXPECT_FALSE(Convert(path));
  EXPECT_EQ(out_, path + "\nOpening.Could not open " + path + "\n");
  EXPECT_EQ(err_, "\nCould not load ART file\n");
  EXPECT_TRUE(Bmps().empty());
}

TEST_F(ConvertTest, UnwritableDestinationTriesEveryCombinationThenFails) {
  const std::string path = WriteArtFile("door.art", test::OneFrameLayout(2, {{1, 1, {0}}}));
  test::RecordingConsole console;
  EXPECT_FALSE(
      ConvertArtFile(path, Dest() + test::Native("missing/"), console, platform::SystemFiles()));
  EXPECT_NE(console.Out().find("Palette 2"), std::string::npos);
  EXPECT_EQ(console.Err(), "\nCould not write BMP file\n\nCould not write BMP file\n");
}

struct BadFrameCase {
  const char* name;
  std::int32_t width;
  std::int32_t height;
  friend void PrintTo(const BadFrameCase& c, std::ostream* os) { *os << c.name; }
};

class BadFrameTest : public ConvertTest, public ::testing::WithParamInterface<BadFrameCase> {};

TEST_P(BadFrameTest, EndsTheConversionWithFailureAfterEarlierFrames) {
  ArtSpec sprite =
      test::OneFrameLayout(1, {{1, 1, {7}}, {GetParam().width, GetParam().height, {1, 2}}});
  EXPECT_FALSE(Convert(WriteArtFile("bad.art", sprite)));
  EXPECT_EQ(Bmps(), (std::vector<std::string>{"bad_0_0_0.bmp"}));
}

INSTANTIATE_TEST_SUITE_P(Frames, BadFrameTest,
                         ::testing::Values(BadFrameCase{"NegativeWidth", -2, 1},
                                           BadFrameCase{"NegativeHeight", 1, -2},
                                           BadFrameCase{"AreaOverflows", 65536, 32768},
                                           BadFrameCase{"BothNegative", -65536, -32768}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vostrel
