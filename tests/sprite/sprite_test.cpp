// The sprite model beneath the converter's objects: a file read into values and written back
// unchanged, what a file that ends early lacks, memory that runs out, what a frame's size makes
// of it, its storage, decoding and new pixels, pictures' names read back, and the BMP writer's
// refusal of a short plane.
#include "sprite/sprite.hpp"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "formats/bmp/bmp_encode.hpp"
#include "io/byte_source.hpp"
#include "io/path.hpp"
#include "sprite/frame_rules.hpp"
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
  FrameShape shape;
  FrameStorage storage;
  std::optional<Bytes> indices;  // as decoded; nothing for a frame too large to decode here
  friend void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }
};

class FrameRuleTest : public ::testing::TestWithParam<FrameCase> {};

// What a frame's size makes of it and how its data is stored, for every size: equality of the
// data size with width x height alone decides the storage, and a size that counts no pixels is
// run-length. Decoding agrees, and bytes a stream does not reach are zero, whatever the plane
// held before.
TEST_P(FrameRuleTest, ShapeStorageAndDecoding) {
  const FrameCase& c = GetParam();
  ArtFrameHeader header;
  header.width = c.width;
  header.height = c.height;
  header.dataSize = static_cast<std::int32_t>(c.data.size());
  EXPECT_EQ(ShapeOf(header), c.shape);
  EXPECT_EQ(MakesPicture(header), c.shape == FrameShape::kPicture);
  EXPECT_EQ(StorageOf(header), c.storage);
  if (c.shape == FrameShape::kInvalid || c.indices) {
    Bytes plane(64, 0xEE);
    const std::optional<DecodedFrame> decoded = DecodeFrame(header, c.data, plane);
    ASSERT_EQ(decoded.has_value(), c.shape != FrameShape::kInvalid);
    if (decoded) {
      EXPECT_EQ(decoded->storage, c.storage);
      EXPECT_EQ(plane, *c.indices);
    }
  }
}

using enum FrameShape;
using enum FrameStorage;

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameRuleTest,
    ::testing::Values(
        FrameCase{"Raw", 2, 2, {1, 2, 3, 4}, kPicture, kRaw, Bytes{1, 2, 3, 4}},
        FrameCase{
            "RunLength", 3, 2, {3, 7, 0x82, 8, 9}, kPicture, kRunLength, Bytes{7, 7, 7, 8, 9, 0}},
        // A run-length stream exactly width x height bytes long reads as raw.
        FrameCase{"StreamOfPlaneLength", 2, 1, {0x02, 5}, kPicture, kRaw, Bytes{2, 5}},
        FrameCase{"NoPixels", 0, 9, {}, kNoPixels, kRaw, Bytes{}},
        FrameCase{"LargestPicture", 65535, 32768, {}, kPicture, kRunLength, std::nullopt},
        FrameCase{"NegativeWidth", -1, 2, {1}, kInvalid, kRunLength, std::nullopt},
        // Sides whose product is the data size, but which count no pixels.
        FrameCase{"NegativeSides", -1, -1, {7}, kInvalid, kRunLength, std::nullopt},
        FrameCase{"ProductOverflows", 65536, 32768, {1}, kInvalid, kRunLength, std::nullopt},
        // Its product wraps to 0 in 32 bits, the data size: still no pixels, so run-length (the
        // manifest's storage too).
        FrameCase{
            "ProductWrapsToTheDataSize", 65536, 65536, {}, kInvalid, kRunLength, std::nullopt}),
    [](const auto& param) { return std::string(param.param.name); });

struct ReplaceCase {
  const char* name;
  ArtFrameHeader before;  // its data is dataSize bytes of index 9
  std::int32_t width;
  std::int32_t height;
  bool replaced;
  FrameStorage storage;  // after
  friend void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.name; }
};

class ReplaceFramePixelsTest : public ::testing::TestWithParam<ReplaceCase> {};

// New pixels keep the frame's storage and its other words, and decode back; a size no frame
// may have leaves the frame as it was.
TEST_P(ReplaceFramePixelsTest, KeepsStorageOrRefuses) {
  const ReplaceCase& c = GetParam();
  SpriteFrame frame{c.before, Bytes(static_cast<std::size_t>(c.before.dataSize), 9)};
  frame.header.unknown = {1, 2, 3, 4};
  const SpriteFrame original = frame;
  const Bytes pixels =
      c.replaced ? test::MakePixels(c.width, c.height, 4) : Bytes();  // never looked at
  EXPECT_EQ(ReplaceFramePixels(frame, c.width, c.height, pixels), c.replaced);
  EXPECT_EQ(frame.header.unknown, original.header.unknown);
  if (!c.replaced) {
    EXPECT_EQ(frame.data, original.data);
    EXPECT_EQ(frame.header.width, original.header.width);
    return;
  }
  EXPECT_EQ(frame.header.width, c.width);
  EXPECT_EQ(frame.header.height, c.height);
  EXPECT_EQ(StorageOf(frame.header), c.storage);
  Bytes plane;
  ASSERT_TRUE(DecodeFrame(frame.header, frame.data, plane));
  EXPECT_EQ(plane, pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ReplaceFramePixelsTest,
    ::testing::Values(ReplaceCase{"RawStaysRaw", {2, 2, 4, {}}, 13, 7, true, kRaw},
                      ReplaceCase{"RunLengthEncodedAgain", {2, 2, 2, {}}, 13, 7, true, kRunLength},
                      ReplaceCase{
                          "MorePixelsThanAFrameMayHave", {2, 2, 4, {}}, 65536, 32768, false, kRaw}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ReplaceFramePixelsTest, RefusesSizesWithoutPixelsAndMiscountedIndices) {
  SpriteFrame frame;
  EXPECT_THROW(ReplaceFramePixels(frame, 0, 3, {}), std::invalid_argument);
  EXPECT_THROW(ReplaceFramePixels(frame, 2, 2, Bytes(3)), std::invalid_argument);
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

TEST(BmpEncodeTest, RefusesAPlaneShorterThanItsSize) {
  EXPECT_TRUE(EncodeBmp(BmpImage{4, 4, Bytes(15), test::MakePalette(9)}).empty());
}

}  // namespace
}  // namespace vostrel
