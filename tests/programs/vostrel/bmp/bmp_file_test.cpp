// The BMP writer: its bytes read back field by field, its marks, and its failures.
#include "programs/vostrel/bmp/bmp_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "io/memory_files.hpp"
#include "platform/platform.hpp"
#include "support/art_writer.hpp"
#include "support/recording_console.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

using test::Bytes;
using test::GetLe16;
using test::GetLe32;

// A BMP prepared as the conversion prepares one.
void Prepare(BmpFile& bmp, std::int32_t width, std::int32_t height, const Bytes& plane,
             const Bytes& palette) {
  bmp.SetPlane(plane);
  bmp.FillInfoHeader(width, height, 8);
  bmp.SetPalette(0, palette, kPaletteEntries);
}

Bytes EncodeToMemory(BmpFile& bmp) {
  Bytes out;
  const bool ok = bmp.Encode([&out](std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
    return true;
  });
  EXPECT_TRUE(ok);
  return out;
}

struct SizeCase {
  std::int32_t width;
  std::int32_t height;
  std::string pad;
  friend void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.width << 'x' << c.height; }
};

class BmpLayoutTest : public ::testing::TestWithParam<SizeCase> {};

// Reads the file back field by field, independently of the writer.
TEST_P(BmpLayoutTest, WritesHeadersTableAndPaddedBottomUpRows) {
  const auto [width, height, pad] = GetParam();
  const Bytes plane = test::MakePixels(width, height, 5);
  const Bytes palette = test::MakePalette(3);
  test::RecordingConsole console;
  BmpFile bmp(console, platform::SystemFiles());
  Prepare(bmp, width, height, plane, palette);
  const Bytes file = EncodeToMemory(bmp);

  const std::size_t stride = static_cast<std::size_t>(width) + pad.size();
  ASSERT_EQ(file.size(), 1078 + stride * static_cast<std::size_t>(height));
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(GetLe32(file, 2), file.size());
  EXPECT_EQ(std::string(file.begin() + 6, file.begin() + 10), std::string("qzv\0", 4));
  EXPECT_EQ(GetLe32(file, 10), 1078u);
  EXPECT_EQ(GetLe32(file, 14), 40u);
  EXPECT_EQ(static_cast<std::int32_t>(GetLe32(file, 18)), width);
  EXPECT_EQ(static_cast<std::int32_t>(GetLe32(file, 22)), height);
  EXPECT_EQ(GetLe16(file, 26), 1u);
  EXPECT_EQ(GetLe16(file, 28), 8u);
  EXPECT_EQ(GetLe32(file, 30), 0u);
  EXPECT_EQ(std::string(file.begin() + 34, file.begin() + 46), std::string("palomexvind\0", 12));
  EXPECT_EQ(GetLe32(file, 46), 0u);
  EXPECT_EQ(GetLe32(file, 50), 0u);
  EXPECT_TRUE(std::equal(palette.begin(), palette.end(), file.begin() + 54));
  for (std::int32_t row = 0; row < height; ++row) {
    // The first row in the file is the last row of the plane.
    const auto fileRow = file.begin() + 1078 + static_cast<std::ptrdiff_t>(stride) * row;
    const auto planeRow = plane.begin() + static_cast<std::ptrdiff_t>(width) * (height - 1 - row);
    EXPECT_TRUE(std::equal(planeRow, planeRow + width, fileRow)) << "row " << row;
    EXPECT_EQ(std::string(fileRow + width, fileRow + static_cast<std::ptrdiff_t>(stride)), pad);
  }
  EXPECT_EQ(console.Out(), std::string(static_cast<std::size_t>(height / 15), '.'));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BmpLayoutTest,
                         ::testing::Values(SizeCase{1, 1, "QZV"}, SizeCase{4, 3, ""},
                                           SizeCase{5, 2, "QZV"}, SizeCase{6, 14, "QZ"},
                                           SizeCase{7, 15, "Q"}, SizeCase{8, 30, ""},
                                           SizeCase{9, 0, "QZV"}, SizeCase{0, 4, ""},
                                           SizeCase{0, 200, ""},
                                           // Over a megabyte: handed on in several pieces.
                                           SizeCase{1501, 700, "QZV"},
                                           // Rows wider than a piece.
                                           SizeCase{1048577, 2, "QZV"}));

TEST(BmpFileTest, SpriteIsHandedOnInOnePiece) {
  test::RecordingConsole console;
  BmpFile bmp(console, platform::SystemFiles());
  Prepare(bmp, 161, 161, test::MakePixels(161, 161, 2), test::MakePalette(2));
  std::size_t pieces = 0;
  EXPECT_TRUE(bmp.Encode([&pieces](std::span<const std::uint8_t> /*bytes*/) {
    ++pieces;
    return true;
  }));
  EXPECT_EQ(pieces, 1u);
}

TEST(BmpFileTest, OneByOneFileIsTenEightyTwoBytes) {
  test::RecordingConsole console;
  BmpFile bmp(console, platform::SystemFiles());
  Prepare(bmp, 1, 1, {0x2A}, test::MakePalette(0));
  const Bytes file = EncodeToMemory(bmp);
  ASSERT_EQ(file.size(), 1082u);
  EXPECT_EQ(std::string(file.begin() + 1078, file.end()), "*QZV");
}

TEST(BmpFileTest, SaveAsWritesFileAndEndsTheLineTwice) {
  test::TempDir dir;
  const std::string path = dir.File("x_0_0_0.bmp");
  test::RecordingConsole console;
  BmpFile bmp(console, platform::SystemFiles());
  Prepare(bmp, 2, 15, test::MakePixels(2, 15, 1), test::MakePalette(1));
  EXPECT_TRUE(bmp.SaveAs(path));
  EXPECT_EQ(console.Out(), ".\n\n");
  EXPECT_EQ(console.Err(), "");
  EXPECT_EQ(test::ReadFile(path), EncodeToMemory(bmp));
  EXPECT_EQ(bmp.FileName(), "x_0_0_0.bmp");
}

TEST(BmpFileTest, SaveIntoMissingDirectoryFailsWithMessage) {
  test::TempDir dir;
  test::RecordingConsole console;
  BmpFile bmp(console, platform::SystemFiles());
  Prepare(bmp, 2, 2, test::MakePixels(2, 2, 1), test::MakePalette(1));
  EXPECT_FALSE(bmp.SaveAs((dir.Path() / "missing" / "x.bmp").string()));
  EXPECT_EQ(console.Out(), "");
  EXPECT_EQ(console.Err(), "\nCould not write BMP file\n");
}

struct MissingCase {
  const char* name;
  std::function<void(BmpFile&)> prepare;
  friend void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.name; }
};

class BmpIncompleteTest : public ::testing::TestWithParam<MissingCase> {};

TEST_P(BmpIncompleteTest, FailsWithoutLeavingAFile) {
  test::TempDir dir;
  const std::string path = dir.File("x.bmp");
  test::RecordingConsole console;
  BmpFile bmp(console, platform::SystemFiles());
  GetParam().prepare(bmp);
  EXPECT_FALSE(bmp.SaveAs(path));
  EXPECT_EQ(console.Err(), "\nCould not write BMP file\n");
  EXPECT_FALSE(std::filesystem::exists(path));
}

INSTANTIATE_TEST_SUITE_P(
    Missing, BmpIncompleteTest,
    ::testing::Values(
        MissingCase{"NoPalette",
                    [](BmpFile& bmp) {
                      bmp.SetPlane(Bytes(4));
                      bmp.FillInfoHeader(2, 2, 8);
                    }},
        MissingCase{"NoPlane",
                    [](BmpFile& bmp) {
                      bmp.SetPalette(0, test::MakePalette(0), kPaletteEntries);
                      bmp.FillInfoHeader(2, 2, 8);
                    }},
        MissingCase{"PlaneSmallerThanPicture",
                    [](BmpFile& bmp) { Prepare(bmp, 3, 3, Bytes(8), test::MakePalette(0)); }},
        MissingCase{"NegativeHeight",
                    [](BmpFile& bmp) { Prepare(bmp, 1, -1, Bytes(1), test::MakePalette(0)); }}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(BmpFileTest, EncodeStopsWhenSinkRefuses) {
  test::RecordingConsole console;
  BmpFile bmp(console, platform::SystemFiles());
  Prepare(bmp, 4, 4, test::MakePixels(4, 4, 0), test::MakePalette(0));
  std::size_t accepted = 0;
  EXPECT_FALSE(bmp.Encode([&accepted](std::span<const std::uint8_t> bytes) {
    if (accepted + bytes.size() > 1080) {
      return false;
    }
    accepted += bytes.size();
    return true;
  }));
}

#ifdef __linux__
TEST(BmpFileTest, FullDiskIsAFailureNotASuccess) {
  test::RecordingConsole console;
  BmpFile bmp(console, platform::SystemFiles());
  Prepare(bmp, 64, 64, test::MakePixels(64, 64, 0), test::MakePalette(0));
  EXPECT_FALSE(bmp.SaveAs("/dev/full"));
  EXPECT_EQ(console.Err(), "\nCould not write BMP file\n");
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}
#endif

// A save reads the plane as it is at that moment, whatever reference to it was kept: a change
// made between two saves through the table handed out before the first shows in the second.
TEST(BmpFileTest, EverySaveWritesThePlaneAsItIsThen) {
  SilentConsole console;
  MemoryFiles files;
  BmpFile bmp(console, files);
  Prepare(bmp, 3, 2, Bytes{1, 2, 3, 4, 5, 6}, test::MakePalette(0));
  BlockTable& blocks = bmp.Blocks();
  ASSERT_TRUE(bmp.SaveAs("first.bmp"));
  blocks[0][0][0] = 9;
  ASSERT_TRUE(bmp.SaveAs("second.bmp"));
  const Bytes& first = files.Contents().at("first.bmp");
  const Bytes& second = files.Contents().at("second.bmp");
  // Rows bottom-up: the top row, which holds the changed pixel, is the last in the file.
  EXPECT_EQ(first[1078 + 4], 1);
  EXPECT_EQ(second[1078 + 4], 9);
  EXPECT_EQ(second, EncodeToMemory(bmp));
}

// A plane saved with several palettes is laid out once, only its colour table written again for
// each: every file, and the text of every save, must be what a fresh encoding with that palette
// gives. Bytes laid out under other headers are refused, and a file larger than a piece is not
// laid out whole.
TEST(BmpFileTest, FileLaidOutOnceSavesAsAFreshEncodingWithEachPalette) {
  test::RecordingConsole laidOutConsole;
  test::RecordingConsole freshConsole;
  MemoryFiles files;
  BmpFile laidOut(laidOutConsole, files);
  BmpFile fresh(freshConsole, files);
  const Bytes plane = test::MakePixels(5, 31, 4);
  // Longer than the file, as a larger frame before it leaves the buffer.
  std::vector<std::uint8_t> buffer(4000, 0xEE);
  std::span<std::uint8_t> file;
  for (std::uint8_t k = 0; k < 3; ++k) {
    Prepare(laidOut, 5, 31, plane, test::MakePalette(k));
    file = (k == 0) ? laidOut.EncodeWhole(buffer) : file;
    laidOut.RewriteColourTable(file);
    Prepare(fresh, 5, 31, plane, test::MakePalette(k));
    ASSERT_TRUE(laidOut.SaveAs("laid_out.bmp", file));
    ASSERT_TRUE(fresh.SaveAs("fresh.bmp"));
    EXPECT_EQ(files.Contents().at("laid_out.bmp"), files.Contents().at("fresh.bmp"));
  }
  EXPECT_EQ(laidOutConsole.Transcript(), freshConsole.Transcript());

  files.Contents().clear();
  Prepare(laidOut, 5, 30, plane, test::MakePalette(0));
  EXPECT_FALSE(laidOut.SaveAs("stale.bmp", file));
  EXPECT_EQ(files.Contents().count("stale.bmp"), 0u);

  BmpFile huge(freshConsole, files);
  Prepare(huge, 1100, 1000, test::MakePixels(1100, 1000, 1), test::MakePalette(0));
  EXPECT_TRUE(huge.EncodeWhole(buffer).empty());
}

// Counts progress marks without keeping them: a damaged header can ask for a hundred million.
class MarkCounter : public SilentConsole {
 public:
  void Marks(std::uint64_t count) override { marks += count; }
  std::uint64_t marks = 0;
};

// A picture no pixel wide whose header announces the most rows there can be: the rows hold no
// bytes, so writing it costs no time for them (a loop over its rows ran for seconds, and for
// many such frames, minutes), and its marks are still one for every 15th row.
TEST(BmpFileTest, ZeroWidthPictureOfMaximalHeightHasNoRowsToWrite) {
  MarkCounter console;
  MemoryFiles files;
  BmpFile bmp(console, files);
  for (int save = 0; save < 20; ++save) {
    Prepare(bmp, 0, 0x7FFFFFFF, Bytes{}, test::MakePalette(1));
    ASSERT_TRUE(bmp.SaveAs("tall.bmp"));
    ASSERT_EQ(files.Contents().at("tall.bmp").size(), 1078u);
  }
  EXPECT_EQ(console.marks, 20 * (0x7FFFFFFFull / 15));
}

}  // namespace
}  // namespace vostrel
