// The image model's palette and block tables and its path strings.
#include "programs/vostrel/image/image_file.hpp"

#include <gtest/gtest.h>

#include "io/memory_files.hpp"
#include "support/art_writer.hpp"
#include "support/paths.hpp"

namespace vostrel {
namespace {

using test::Native;

// The base alone, with nothing to load or save.
struct Unused {
  SilentConsole console;
  MemoryFiles files;
};

class PlainImage : private Unused, public ImageFile {
 public:
  PlainImage() : ImageFile(Unused::console, Unused::files) {}
  bool Save() override { return true; }
  bool SaveAs(const std::string& /*path*/) override { return true; }
  bool Load(const std::string& /*path*/) override { return true; }
};

struct AssignCase {
  std::string path;
  std::string fileName;
  std::string directory;
  friend void PrintTo(const AssignCase& c, std::ostream* os) { *os << c.path; }
};

class AssignPathTest : public ::testing::TestWithParam<AssignCase> {};

TEST_P(AssignPathTest, SplitsPathIntoNameAndDirectory) {
  PlainImage image;
  image.AssignPath(GetParam().path);
  EXPECT_EQ(image.FullPath(), GetParam().path);
  EXPECT_EQ(image.FileName(), GetParam().fileName);
  EXPECT_EQ(image.Directory(), GetParam().directory);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AssignPathTest,
    ::testing::Values(AssignCase{Native("C:/out/x_0_0_0.bmp"), "x_0_0_0.bmp", Native("C:/out/")},
                      AssignCase{Native("C:/x.art"), "x.art", Native("C:/")},
                      AssignCase{Native("C:/d/"), "", Native("C:/d/")},
                      // No separator: no lone separator as the directory either.
                      AssignCase{"x.art", "x.art", ""}));

TEST(ImageFileTest, SetPaletteMakesOneBufferWithSpareBytes) {
  PlainImage image;
  const test::Bytes source = test::MakePalette(9);
  image.SetPalette(0, source, kPaletteEntries);
  ASSERT_EQ(image.Palettes().size(), 1u);
  const Block& palette = image.Palettes()[0];
  ASSERT_EQ(palette.size(), 1028u);
  EXPECT_TRUE(std::equal(source.begin(), source.end(), palette.begin()));
  EXPECT_EQ(image.PaletteEntries(), 256);
}

TEST(ImageFileTest, SetPaletteAtIndexStartsNewTable) {
  PlainImage image;
  image.SetPalette(0, test::MakePalette(1), kPaletteEntries);
  image.SetPalette(2, test::MakePalette(2), kPaletteEntries);
  EXPECT_EQ(image.Palettes().size(), 3u);
  EXPECT_EQ(image.Palettes()[2][5], test::MakePalette(2)[5]);
}

TEST(ImageFileTest, SetPaletteRefusesShortSource) {
  PlainImage image;
  const test::Bytes shortSource(1000);
  EXPECT_THROW(image.SetPalette(0, shortSource, kPaletteEntries), std::invalid_argument);
}

TEST(ImageFileTest, SetPlaneBuildsOneByOneTable) {
  PlainImage image;
  const test::Bytes source{1, 2, 3, 4};
  image.SetPlane(source);
  ASSERT_EQ(image.Blocks().size(), 1u);
  ASSERT_EQ(image.Blocks()[0].size(), 1u);
  EXPECT_EQ(image.Blocks()[0][0], source);
  EXPECT_EQ(image.BlockRows(), 1);
  EXPECT_EQ(image.BlockColumns(), 1);
}

TEST(ImageFileTest, SetPlaneRefusesSourceLargerThanExistingPlane) {
  PlainImage image;
  image.AllocateBlocks(1, 1, 2);
  const test::Bytes source{1, 2, 3};
  EXPECT_THROW(image.SetPlane(source), std::invalid_argument);
}

TEST(ImageFileTest, ReleaseEmptiesTablesButKeepsCounts) {
  PlainImage image;
  image.SetPalette(0, test::MakePalette(0), kPaletteEntries);
  image.AllocateBlocks(1, 1, 8);
  image.ReleaseBlocks();
  image.ReleasePalettes();
  EXPECT_TRUE(image.Blocks().empty());
  EXPECT_TRUE(image.Palettes().empty());
  EXPECT_EQ(image.PaletteEntries(), 256);
  EXPECT_EQ(image.BlockRows(), 1);
}

TEST(ImageFileTest, AllocatedBlocksAreZeroed) {
  PlainImage image;
  image.AllocateBlocks(1, 1, 16);
  EXPECT_EQ(image.Blocks()[0][0], test::Bytes(16, 0));
}

}  // namespace
}  // namespace vostrel
