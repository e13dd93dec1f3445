// The sprite model beneath the converter's objects: a file read into values and written back
// unchanged, what a file that ends early lacks, memory that runs out, frames' storage and
// decoding, pictures' names read back, and BMP bytes made without the converter's BmpFile.
#include "sprite/sprite.hpp"

#include <gtest/gtest.h>

#include <new>

#include "formats/bmp/bmp_encode.hpp"
#include "io/byte_source.hpp"
#include "io/memory_files.hpp"
#include "io/path.hpp"
#include "programs/vostrel/bmp/bmp_file.hpp"
#include "sprite/picture_names.hpp"
#include "support/art_writer.hpp"

namespace vostrel {
namespace {

using test::ArtFrameSpec;
using test::ArtSpec;
using test::Bytes;

struct RoundTripCase {
  const char* name;
  ArtSpec art;
  std::size_t frames;
  friend void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }
};

ArtSpec WithPalettes(ArtSpec art, int count) {
  for (int k = 0; k < count; ++k) {
    art.palettePresent[static_cast<std::size_t>(k)] = k + 1;
    art.palettes.push_back(test::MakePalette(static_cast<std::uint8_t>(k + 3)));
  }
  art.fillerWords = {0, 5, 6, 0, 0, 0, 0, 7, 0, 8, 9, 10};
  return art;
}

ArtSpec EightPictures(std::int32_t frames) {
  ArtSpec art;
  art.flags = 2;
  for (std::int32_t i = 0; i < 8 * frames; ++i) {
    const auto seed = static_cast<std::uint8_t>(i);
    art.frames.push_back(i % 2 == 0 ? ArtFrameSpec{5, 3, test::MakePixels(5, 3, seed)}
                                    : ArtFrameSpec{6, 4, test::EncodeRle(Bytes(24, seed))});
  }
  return art;
}

class SpriteRoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

// What is read is what is written back, every word kept, and the loader's marks come as it goes:
// after the header, after the palettes, one per frame header, one at the end.
TEST_P(SpriteRoundTripTest, ReadsEveryWordAndWritesTheSameBytes) {
  const Bytes bytes = test::WriteArt(GetParam().art);
  std::size_t marks = 0;
  const SpriteLoad load = ParseSprite(bytes, [&marks] { ++marks; });
  ASSERT_TRUE(load.sprite) << ArtLoadErrorText(load.error);
  EXPECT_EQ(load.sprite->FrameCount(), GetParam().frames);
  EXPECT_EQ(marks, 3 + GetParam().frames);
  EXPECT_EQ(load.sprite->missingBytes, 0u);
  EXPECT_EQ(AnnouncedSize(*load.sprite), bytes.size());
  EXPECT_EQ(SerializeSprite(*load.sprite), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Sprites, SpriteRoundTripTest,
    ::testing::Values(
        RoundTripCase{"NoPalette", test::OneFrameLayout(0, {{2, 2, {1, 2, 3, 4}}}), 1},
        RoundTripCase{"FourPalettesEmptyFrame",
                      WithPalettes(test::OneFrameLayout(0, {{0, 0, {}}, {3, 1, {9, 8, 7}}}), 4), 2},
        RoundTripCase{"EightPictures", WithPalettes(EightPictures(3), 2), 24},
        RoundTripCase{"EightPicturesNoFrames", WithPalettes(EightPictures(0), 1), 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(SpriteTest, FileEndingInsideItsFrameDataCountsWhatItLacks) {
  Bytes bytes = test::WriteArt(test::OneFrameLayout(1, {{4, 4, test::MakePixels(4, 4, 1)}}));
  bytes.resize(bytes.size() - 5);
  const SpriteLoad load = ParseSprite(bytes);
  ASSERT_TRUE(load.sprite);
  EXPECT_EQ(load.sprite->missingBytes, 5u);
  EXPECT_EQ(load.sprite->Frame(0, 0).data.size(), 16u);
  EXPECT_EQ(load.sprite->Frame(0, 0).data.back(), 0);
}

// A source whose reads run out of memory: that is never a damaged file.
class ExhaustedSource : public ByteSource {
 public:
  std::uint64_t Size() const override { return 1000; }
  std::size_t Read(std::span<std::uint8_t> /*out*/) override { throw std::bad_alloc(); }
};

class BrokenSource : public ByteSource {
 public:
  std::uint64_t Size() const override { return 1000; }
  std::size_t Read(std::span<std::uint8_t> /*out*/) override { throw std::runtime_error("io"); }
};

TEST(SpriteTest, ExhaustedMemoryIsThrownAndAReadErrorIsAReason) {
  ExhaustedSource exhausted;
  EXPECT_THROW(ParseSprite(exhausted), std::bad_alloc);
  BrokenSource broken;
  EXPECT_EQ(ParseSprite(broken).error, ArtLoadError::kCannotRead);
}

struct FrameCase {
  const char* name;
  std::int32_t width;
  std::int32_t height;
  Bytes data;
  std::optional<FrameStorage> storage;  // nothing: no picture
  Bytes indices;
  friend void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }
};

class DecodeFrameTest : public ::testing::TestWithParam<FrameCase> {};

// Equality of the data size with width x height alone decides the storage; bytes a stream does
// not reach are zero, whatever the plane held before.
TEST_P(DecodeFrameTest, DecidesStorageAndFillsThePlane) {
  const FrameCase& c = GetParam();
  ArtFrameHeader header;
  header.width = c.width;
  header.height = c.height;
  header.dataSize = static_cast<std::int32_t>(c.data.size());
  Bytes plane(64, 0xEE);
  const std::optional<DecodedFrame> decoded = DecodeFrame(header, c.data, plane);
  ASSERT_EQ(decoded.has_value(), c.storage.has_value());
  if (decoded) {
    EXPECT_EQ(decoded->storage, *c.storage);
    EXPECT_EQ(StorageOf(header), *c.storage);
    EXPECT_EQ(plane, c.indices);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, DecodeFrameTest,
    ::testing::Values(
        FrameCase{"Raw", 2, 2, {1, 2, 3, 4}, FrameStorage::kRaw, {1, 2, 3, 4}},
        FrameCase{
            "RunLength", 3, 2, {0x03, 7, 0x82, 8, 9}, FrameStorage::kRunLength, {7, 7, 7, 8, 9, 0}},
        // A run-length stream exactly width x height bytes long reads as raw.
        FrameCase{"StreamOfPlaneLength", 2, 1, {0x02, 5}, FrameStorage::kRaw, {2, 5}},
        FrameCase{"NoPixels", 0, 9, {}, FrameStorage::kRaw, {}},
        FrameCase{"NegativeWidth", -1, 2, {1}, std::nullopt, {}},
        FrameCase{"ProductOverflows", 65536, 65536, {1}, std::nullopt, {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(SpriteTest, EncodedFrameDecodesBackInItsStorage) {
  const Bytes pixels = test::MakePixels(13, 7, 4);
  for (const FrameStorage storage : {FrameStorage::kRaw, FrameStorage::kRunLength}) {
    SpriteFrame frame;
    ReplaceFrame(frame, 13, 7, EncodeFrame(pixels, storage));
    Bytes plane;
    ASSERT_TRUE(DecodeFrame(frame.header, frame.data, plane));
    EXPECT_EQ(plane, pixels);
    EXPECT_EQ(StorageOf(frame.header), storage);
  }
}

struct NameCase {
  const char* name;
  bool ignoringCase;
  std::optional<std::array<std::size_t, 3>> indices;
  const char* extension;
};

TEST(PictureNameTest, ReadsBackExactlyTheNamesTheConverterWrites) {
  const NameCase cases[] = {
      {"door_3_1_0.bmp", false, std::array<std::size_t, 3>{3, 1, 0}, ".bmp"},
      {"door_12_0_3.PNG", false, std::array<std::size_t, 3>{12, 0, 3}, ".PNG"},
      {"DOOR_0_0_0.bmp", true, std::array<std::size_t, 3>{0, 0, 0}, ".bmp"},
      {"DOOR_0_0_0.bmp", false, std::nullopt, ""},
      {"door_01_0_0.bmp", false, std::nullopt, ""},
      {"door_-1_0_0.bmp", false, std::nullopt, ""},
      {"door_0_0.bmp", false, std::nullopt, ""},
      {"door_0_0_0", false, std::nullopt, ""},
      {"door.x_0_0_0.bmp", false, std::nullopt, ""},
  };
  for (const NameCase& c : cases) {
    const std::optional<PictureName> read = ReadPictureName(c.name, "door", c.ignoringCase);
    ASSERT_EQ(read.has_value(), c.indices.has_value()) << c.name;
    if (read) {
      EXPECT_EQ((std::array{read->picture, read->frame, read->palette}), *c.indices) << c.name;
      EXPECT_EQ(read->extension, c.extension) << c.name;
      std::string built = PictureStem("door.art");
      AppendPictureSuffix(built, static_cast<std::int32_t>(read->picture),
                          static_cast<std::int32_t>(read->frame),
                          static_cast<std::int32_t>(read->palette), read->extension);
      EXPECT_TRUE(EqualIgnoringCase(built, c.name)) << c.name;
    }
  }
}

// The model's BMP bytes are those of the converter's BmpFile, for every row padding.
TEST(BmpEncodeTest, MakesTheConvertersBytes) {
  const Bytes palette = test::MakePalette(9);
  for (std::int32_t width = 0; width < 6; ++width) {
    const Bytes plane = test::MakePixels(width, 17, 2);
    const Bytes bytes = EncodeBmp(BmpImage{width, 17, plane, palette});
    SilentConsole silent;
    MemoryFiles noFiles;
    BmpFile bmp(silent, noFiles);
    bmp.SetPlane(plane);
    bmp.SetPalette(0, palette, 256);
    bmp.FillInfoHeader(width, 17, 8);
    Bytes expected;
    ASSERT_TRUE(bmp.Encode([&expected](std::span<const std::uint8_t> piece) {
      expected.insert(expected.end(), piece.begin(), piece.end());
      return true;
    }));
    EXPECT_EQ(bytes, expected) << width;
  }
  EXPECT_TRUE(EncodeBmp(BmpImage{4, 4, Bytes(15), palette}).empty());
}

}  // namespace
}  // namespace vostrel
