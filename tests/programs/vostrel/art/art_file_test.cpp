// The .ART loader: layouts, palettes, frame tables, and the reason for each refused file.
#include "programs/vostrel/art/art_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.hpp"
#include "support/art_writer.hpp"
#include "support/recording_console.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

using test::ArtFrameSpec;
using test::ArtSpec;
using test::Bytes;

std::string Marks(std::size_t count) { return std::string(count, '.'); }

// Frame f of picture p's block, as bytes to compare.
Bytes Block(const ArtFile& art, std::int32_t p, std::int32_t f) {
  const std::span<const std::uint8_t> block = art.FrameBlock(p, f);
  return Bytes(block.begin(), block.end());
}

struct LoadOutcome {
  bool loaded;
  std::string out;
  std::string err;
};

// An .ART file loaded from bytes, with what it wrote on its console.
struct Loaded {
  test::RecordingConsole console;
  ArtFile art{console, platform::SystemFiles()};
};

LoadOutcome LoadFromBytes(Loaded& loaded, const Bytes& bytes) {
  const bool result = loaded.art.LoadBytes(bytes);
  return {result, loaded.console.Out(), loaded.console.Err()};
}

struct PaletteCase {
  std::array<std::int32_t, 4> presence;
  std::int32_t expected;
  friend void PrintTo(const PaletteCase& c, std::ostream* os) { *os << c.expected; }
};

class PaletteCountTest : public ::testing::TestWithParam<PaletteCase> {};

TEST_P(PaletteCountTest, HighestPresenceWordDecidesAndThatManyPalettesAreRead) {
  ArtSpec sprite;
  sprite.palettePresent = GetParam().presence;
  for (std::int32_t k = 0; k < GetParam().expected; ++k) {
    sprite.palettes.push_back(test::MakePalette(static_cast<std::uint8_t>(k + 1)));
  }
  sprite.frames.push_back({2, 1, {7, 8}});
  Loaded loaded;
  const ArtFile& art = loaded.art;
  ASSERT_TRUE(LoadFromBytes(loaded, test::WriteArt(sprite)).loaded);
  EXPECT_EQ(art.PaletteCount(), GetParam().expected);
  ASSERT_EQ(art.Palettes().size(), static_cast<std::size_t>(GetParam().expected));
  for (std::size_t k = 0; k < sprite.palettes.size(); ++k) {
    EXPECT_EQ(art.Palettes()[k].size(), 1028u);
    EXPECT_TRUE(std::equal(sprite.palettes[k].begin(), sprite.palettes[k].end(),
                           art.Palettes()[k].begin()));
  }
  // The frame table starts right after the palettes read.
  EXPECT_EQ(art.FrameHeader(0, 0).width, 2);
  EXPECT_EQ(Block(art, 0, 0), (Bytes{7, 8}));
}

INSTANTIATE_TEST_SUITE_P(Presence, PaletteCountTest,
                         ::testing::Values(PaletteCase{{0, 0, 0, 0}, 0},
                                           PaletteCase{{1, 0, 0, 0}, 1},
                                           PaletteCase{{5, 0, 9, 0}, 3},
                                           PaletteCase{{0, 0, 0, 7}, 4},
                                           PaletteCase{{0, -1, 0, 0}, 2}));

struct LayoutCase {
  std::int32_t flags;
  std::int32_t frameCount;
  std::int32_t pictures;
  std::int32_t framesPerPicture;
  friend void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << "flags " << c.flags << " frameCount " << c.frameCount;
  }
};

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, FlagsPickTheFrameTableShape) {
  const LayoutCase& c = GetParam();
  ArtSpec sprite;
  sprite.flags = c.flags;
  sprite.frameCount = c.frameCount;
  sprite.palettePresent = {1, 0, 0, 0};
  sprite.palettes.push_back(test::MakePalette(0));
  for (std::int32_t n = 0; n < c.pictures * c.framesPerPicture; ++n) {
    sprite.frames.push_back({1, 1, {static_cast<std::uint8_t>(n)}});
  }
  Loaded loaded;
  const ArtFile& art = loaded.art;
  const LoadOutcome outcome = LoadFromBytes(loaded, test::WriteArt(sprite));
  ASSERT_TRUE(outcome.loaded);
  EXPECT_EQ(art.PictureCount(), c.pictures);
  EXPECT_EQ(art.FramesPerPicture(), c.framesPerPicture);
  EXPECT_EQ(art.BlockRows(), c.pictures);
  EXPECT_EQ(art.BlockColumns(), c.framesPerPicture);
  // The header stays as the file holds it, whatever the layout.
  ASSERT_NE(art.Header(), nullptr);
  EXPECT_EQ(art.Header()->frameCount, c.frameCount);
  // Picture-major order: frame f of picture p is the (p * frames + f)-th block of the file.
  for (std::int32_t p = 0; p < c.pictures; ++p) {
    for (std::int32_t f = 0; f < c.framesPerPicture; ++f) {
      EXPECT_EQ(art.FrameBlock(p, f)[0], p * c.framesPerPicture + f);
    }
  }
  const auto frames = static_cast<std::size_t>(c.pictures * c.framesPerPicture);
  EXPECT_EQ(outcome.out, Marks(4 + frames) + "Done\n");
  EXPECT_EQ(outcome.err, "");
}

INSTANTIATE_TEST_SUITE_P(Flags, LayoutTest,
                         ::testing::Values(LayoutCase{2, 6, 8, 6}, LayoutCase{0, 2, 8, 2},
                                           LayoutCase{0, 0, 8, 0}, LayoutCase{1, 3, 3, 1},
                                           LayoutCase{3, 3, 3, 1}, LayoutCase{-1, 0, 0, 1}));

TEST(ArtFileTest, OneFrameLayoutKeepsHeaderAsRead) {
  ArtSpec sprite = test::OneFrameLayout(1, {{1, 1, {0}}, {1, 1, {1}}, {1, 1, {2}}});
  sprite.fillerWords[20] = 12345;
  Loaded loaded;
  const ArtFile& art = loaded.art;
  ASSERT_TRUE(LoadFromBytes(loaded, test::WriteArt(sprite)).loaded);
  EXPECT_EQ(art.Header()->frameCount, 3);
  EXPECT_EQ(art.Header()->unknown3[11], 12345);
}

TEST(ArtFileTest, EmptyFrameGetsEmptyBlockAndUsesNoData) {
  ArtSpec sprite = test::OneFrameLayout(1, {{4, 4, {}}, {1, 2, {5, 6}}});
  Loaded loaded;
  const ArtFile& art = loaded.art;
  ASSERT_TRUE(LoadFromBytes(loaded, test::WriteArt(sprite)).loaded);
  EXPECT_TRUE(art.FrameBlock(0, 0).empty());
  EXPECT_EQ(Block(art, 1, 0), (Bytes{5, 6}));
}

TEST(ArtFileTest, FileEndingInsideFrameDataLoadsWithZeroFill) {
  ArtSpec sprite = test::OneFrameLayout(1, {{2, 2, {1, 2, 3, 4}}, {2, 2, {5, 6, 7, 8}}});
  Bytes bytes = test::WriteArt(sprite);
  bytes.resize(bytes.size() - 3);
  Loaded loaded;
  const ArtFile& art = loaded.art;
  const LoadOutcome outcome = LoadFromBytes(loaded, bytes);
  ASSERT_TRUE(outcome.loaded);
  EXPECT_EQ(Block(art, 0, 0), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Block(art, 1, 0), (Bytes{5, 0, 0, 0}));
  EXPECT_EQ(outcome.err, "");
}

TEST(ArtFileTest, MissingFileReportsOpenAndLoadFailure) {
  test::TempDir dir;
  const std::string path = dir.File("missing.art");
  test::RecordingConsole console;
  ArtFile art(console, platform::SystemFiles());
  EXPECT_FALSE(art.Load(path));
  EXPECT_EQ(art.LoadError(), ArtLoadError::kCannotOpen);
  EXPECT_EQ(console.Out(), ".Could not open " + path + "\n");
  EXPECT_EQ(console.Err(), "\nCould not load ART file\n");
  EXPECT_EQ(art.PictureCount(), 0);
  EXPECT_EQ(art.FullPath(), path);
  EXPECT_EQ(art.FileName(), "missing.art");
}

TEST(ArtFileTest, DirectoryNamedLikeAFileCannotBeOpened) {
  test::TempDir dir;
  const std::string path = dir.File("folder.art");
  std::filesystem::create_directory(path);
  test::RecordingConsole console;
  ArtFile art(console, platform::SystemFiles());
  EXPECT_FALSE(art.Load(path));
  EXPECT_EQ(console.Out(), ".Could not open " + path + "\n");
  EXPECT_EQ(console.Err(), "\nCould not load ART file\n");
}

TEST(ArtFileTest, LoadsFromDiskLikeFromBytes) {
  test::TempDir dir;
  const std::string path = dir.File("door.art");
  // A file larger than the loader reads at once, with a frame larger still.
  const Bytes large = test::MakePixels(400, 300, 4);
  const Bytes file = test::WriteArt(test::OneFrameLayout(
      2, {{3, 1, {9, 8, 7}}, {400, 300, large}, {2, 2, test::EncodeRle(Bytes(4, 5))}}));
  test::WriteFile(path, file);
  test::RecordingConsole console;
  ArtFile fromDisk(console, platform::SystemFiles());
  ASSERT_TRUE(fromDisk.Load(path));
  ArtFile fromBytes(console, platform::SystemFiles());
  ASSERT_TRUE(fromBytes.LoadBytes(file));
  for (std::int32_t p = 0; p < 3; ++p) {
    EXPECT_EQ(Block(fromDisk, p, 0), Block(fromBytes, p, 0)) << p;
  }
  EXPECT_EQ(Block(fromDisk, 0, 0), (Bytes{9, 8, 7}));
  EXPECT_EQ(Block(fromDisk, 1, 0), large);
  EXPECT_EQ(fromDisk.Palettes(), fromBytes.Palettes());
  EXPECT_EQ(fromDisk.PaletteCount(), 2);
  EXPECT_EQ(console.Out(), Marks(7) + "Done\n" + Marks(7) + "Done\n");
}

// Files whose announced sizes they cannot hold: every one must fail cleanly, leave no
// pictures, and not allocate what the header claims.
struct DamageCase {
  const char* name;
  std::function<Bytes()> make;
  std::string expectedOut;
  ArtLoadError reason;
  friend void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }
};

class DamagedFileTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedFileTest, FailsAsALoadFailureAndLeavesNoPictures) {
  Loaded loaded;
  const ArtFile& art = loaded.art;
  const LoadOutcome outcome = LoadFromBytes(loaded, GetParam().make());
  EXPECT_FALSE(outcome.loaded);
  EXPECT_EQ(art.LoadError(), GetParam().reason) << ArtLoadErrorText(art.LoadError());
  EXPECT_EQ(outcome.out, GetParam().expectedOut);
  EXPECT_EQ(outcome.err, "\nCould not load ART file\n");
  EXPECT_EQ(art.PictureCount(), 0);
  EXPECT_EQ(art.FramesPerPicture(), 0);
  EXPECT_EQ(art.PaletteCount(), 0);
  EXPECT_FALSE(art.Loaded().has_value());
  EXPECT_EQ(art.Header(), nullptr);
  EXPECT_TRUE(art.Palettes().empty());
}

Bytes ValidFile() {
  return test::WriteArt(test::OneFrameLayout(1, {{2, 2, {1, 2, 3, 4}}, {2, 2, {5, 6, 7, 8}}}));
}

Bytes WithFrameCount(std::int32_t flags, std::int32_t frameCount) {
  ArtSpec sprite = test::OneFrameLayout(1, {{1, 1, {1}}});
  sprite.flags = flags;
  sprite.frameCount = frameCount;
  return test::WriteArt(sprite);
}

Bytes WithDataSize(std::int32_t dataSize) {
  ArtSpec sprite = test::OneFrameLayout(1, {{2, 2, {1, 2, 3, 4}}});
  sprite.frames[0].dataSize = dataSize;
  return test::WriteArt(sprite);
}

Bytes Truncated(std::size_t size) {
  Bytes bytes = ValidFile();
  bytes.resize(size);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedFileTest,
    ::testing::Values(
        DamageCase{"Empty", [] { return Bytes{}; }, ".", ArtLoadError::kShortHeader},
        DamageCase{"ShorterThanHeader", [] { return Truncated(131); }, ".",
                   ArtLoadError::kShortHeader},
        DamageCase{"EndsInsidePalette", [] { return Truncated(132 + 1023); }, "..",
                   ArtLoadError::kShortPalettes},
        DamageCase{"EndsInsideFrameTable", [] { return Truncated(132 + 1024 + 28 + 27); }, "...",
                   ArtLoadError::kShortFrameTable},
        DamageCase{"NegativeFrameCountOneFrameLayout", [] { return WithFrameCount(1, -1); }, "...",
                   ArtLoadError::kNegativeFrameCount},
        DamageCase{"NegativeFrameCountEightPictures", [] { return WithFrameCount(0, -5); }, "...",
                   ArtLoadError::kNegativeFrameCount},
        DamageCase{"HugeFrameCount", [] { return WithFrameCount(2, 0x7FFFFFFF); }, "...",
                   ArtLoadError::kShortFrameTable},
        DamageCase{"NegativeDataSize", [] { return WithDataSize(-4); }, "....",
                   ArtLoadError::kNegativeDataSize},
        DamageCase{"DataSizeOverFileSize", [] { return WithDataSize(0x7FFFFFFF); }, "....",
                   ArtLoadError::kDataExceedsFile},
        DamageCase{"DataSizesTogetherOverFileSize",
                   [] {
                     ArtSpec sprite = test::OneFrameLayout(1, {});
                     for (int i = 0; i < 3; ++i) {
                       sprite.frames.push_back({1, 1, {}, 600});
                     }
                     return test::WriteArt(sprite);
                   },
                   "......", ArtLoadError::kDataExceedsFile}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vostrel
