#include "sprite/rle_encode.hpp"

#include <gtest/gtest.h>

#include "sprite/rle.hpp"
#include "support/art_writer.hpp"
#include "support/rle_reference.hpp"

namespace vostrel {
namespace {

using test::Bytes;

struct EncodeCase {
  const char* name;
  Bytes pixels;
  friend void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }
};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

class EncodeRleTest : public ::testing::TestWithParam<EncodeCase> {};

// The stream decodes back to the pixels, and every run announces 1 to 127 bytes.
TEST_P(EncodeRleTest, DecodesBackInRunsOfOneTo127) {
  const Bytes& pixels = GetParam().pixels;
  const Bytes stream = EncodeRle(pixels);
  Bytes decoded(pixels.size(), 0xEE);
  const auto result = DecodeRleSilently(stream, static_cast<std::int32_t>(stream.size()), decoded);
  EXPECT_EQ(result.written, static_cast<std::int32_t>(pixels.size()));
  EXPECT_EQ(decoded, pixels);
  for (std::size_t at = 0; at < stream.size();) {
    const std::size_t count = stream[at] & 0x7Fu;
    ASSERT_GE(count, 1u) << "empty run at " << at;
    at += (stream[at] & 0x80u) != 0 ? count + 1 : 2;
  }
  EXPECT_LE(stream.size(), pixels.size() + pixels.size() / 127 + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, EncodeRleTest,
    ::testing::Values(EncodeCase{"Empty", {}}, EncodeCase{"OnePixel", {7}},
                      EncodeCase{"PairStaysLiteral", {1, 2, 2, 3}},
                      EncodeCase{"FillAtBothEnds", {5, 5, 5, 1, 2, 6, 6, 6, 6}},
                      EncodeCase{"FillOf127", Bytes(127, 4)},
                      EncodeCase{"FillOf128SplitsInTwo", Bytes(128, 4)},
                      EncodeCase{"LongFill", Bytes(1000, 0)},
                      EncodeCase{"LiteralOf127", test::MakePixels(127, 1, 1)},
                      EncodeCase{"LiteralOf128SplitsInTwo", test::MakePixels(128, 1, 1)},
                      EncodeCase{"LongNoise", test::MakePixels(37, 29, 3)},
                      EncodeCase{"NoiseAroundFills",
                                 Concat({test::MakePixels(200, 1, 2), Bytes(300, 9),
                                         test::MakePixels(130, 1, 5), Bytes(3, 1)})}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct FrameDataCase {
  const char* name;
  Bytes pixels;
  bool raw;
  bool storedRaw;
};

TEST(EncodeFrameDataTest, KeepsTheKindUnlessTheStreamWouldReadAsRaw) {
  const FrameDataCase cases[] = {
      {"RawStaysRaw", Bytes(40, 3), true, true},
      {"RunLengthShorter", Bytes(40, 3), false, false},
      {"RunLengthLonger", test::MakePixels(9, 9, 1), false, false},
      // A fill of three (2 bytes) and a literal of one (2 bytes): as long as the 4 pixels.
      {"RunLengthAsLongAsThePixels", {8, 8, 8, 1}, false, true},
  };
  for (const FrameDataCase& c : cases) {
    const Bytes data = EncodeFrameData(c.pixels, c.raw);
    if (c.storedRaw) {
      EXPECT_EQ(data, c.pixels) << c.name;
    } else {
      EXPECT_EQ(data, EncodeRle(c.pixels)) << c.name;
      EXPECT_NE(data.size(), c.pixels.size()) << c.name;
    }
  }
}

}  // namespace
}  // namespace vostrel
