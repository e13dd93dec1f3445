// The run-length decoder: every escape and bound, by table, and its progress marks.
#include "sprite/rle.hpp"
#include "support/rle_reference.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/art_writer.hpp"
#include "support/recording_console.hpp"

namespace vostrel {
namespace {

using test::Bytes;

struct RleCase {
  const char* name;
  Bytes block;
  std::int32_t dataSize;
  std::size_t outputSize;
  Bytes expectedOutput;  // the whole output buffer afterwards, starting zeroed
  std::int32_t expectedResult;
  std::string expectedMarks;
  friend void PrintTo(const RleCase& c, std::ostream* os) { *os << c.name; }
};

class DecodeRleTest : public ::testing::TestWithParam<RleCase> {};

TEST_P(DecodeRleTest, ProducesOutputResultAndMarks) {
  const RleCase& c = GetParam();
  Bytes output(c.outputSize, 0);
  test::RecordingConsole console;
  const std::int32_t result = DecodeRle(c.block, c.dataSize, output, console);
  EXPECT_EQ(result, c.expectedResult);
  EXPECT_EQ(output, c.expectedOutput);
  EXPECT_EQ(console.Out(), c.expectedMarks + "Done\n");
}

Bytes Repeat(const Bytes& unit, std::size_t times) {
  Bytes out;
  for (std::size_t i = 0; i < times; ++i) {
    out.insert(out.end(), unit.begin(), unit.end());
  }
  return out;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Ascending127() {
  Bytes bytes;
  for (std::uint8_t i = 0; i < 127; ++i) {
    bytes.push_back(i);
  }
  return bytes;
}

Bytes Literal127() { return Concat({0xFF}, Ascending127()); }

INSTANTIATE_TEST_SUITE_P(
    Streams, DecodeRleTest,
    ::testing::Values(
        RleCase{"WorkedExample",
                {0x03, 0x41, 0x82, 0x10, 0x20, 0x00, 0x07, 0x81, 0x55},
                9,
                8,
                {0x41, 0x41, 0x41, 0x10, 0x20, 0x55, 0, 0},
                6,
                ""},
        RleCase{"ZeroDataSizeDecodesNothing", {0x03, 0x41}, 0, 3, {0, 0, 0}, 0, ""},
        RleCase{"NegativeDataSizeDecodesNothing", {0x03, 0x41}, -5, 3, {0, 0, 0}, 0, ""},
        RleCase{"HundredFillRunsGiveTwoMarks", Repeat({0x01, 0x09}, 100), 200, 100,
                Bytes(100, 0x09), 100, ".."},
        RleCase{"FortyNineFillRunsGiveNoMark",
                Concat(Repeat({0x01, 0x09}, 49), Repeat({0x81, 0x02}, 60)), 218, 109,
                Concat(Bytes(49, 0x09), Bytes(60, 0x02)), 109, ""},
        RleCase{"EmptyFillRunsStillCountForMarks", Repeat({0x00, 0x09}, 50), 100, 0, {}, 0, "."},
        RleCase{"LoneEmptyLiteralAtEndIsUsed", {0x02, 0x07, 0x80}, 3, 2, {7, 7}, 2, ""},
        RleCase{"FullLiteralRun", Literal127(), 128, 127, Ascending127(), 127, ""},
        RleCase{"FullFillRun", {0x7F, 0x33}, 2, 127, Bytes(127, 0x33), 127, ""},
        RleCase{"OnlyDataSizeBytesAreRead", {0x02, 0x07, 0x02, 0x08}, 2, 4, {7, 7, 0, 0}, 2, ""},
        // Damaged streams: the decoder stops at the first bound it meets.
        RleCase{"LiteralLongerThanBlockIsCut",
                {0x01, 0x05, 0x84, 0x0A, 0x0B},
                5,
                6,
                {5, 0x0A, 0x0B, 0, 0, 0},
                3,
                ""},
        RleCase{"FillControlAsLastByteEnds", {0x81, 0x05, 0x03}, 3, 4, {5, 0, 0, 0}, 1, ""},
        RleCase{"FillPastOutputIsCut", {0x05, 0x01, 0x02, 0x02}, 4, 3, {1, 1, 1}, 3, ""},
        RleCase{
            "LiteralPastOutputIsCut", {0x83, 0x01, 0x02, 0x03, 0x02, 0x09}, 6, 2, {1, 2}, 2, ""},
        RleCase{"DataSizeBeyondBlockReadsOnlyBlock", {0x02, 0x04}, 1000, 4, {4, 4, 0, 0}, 2, ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(DecodeRleTest, RoundTripsTheTestEncoder) {
  const Bytes pixels = Concat(Concat(Bytes(300, 4), test::MakePixels(17, 9, 3)), Bytes(5, 1));
  const Bytes block = test::EncodeRle(pixels);
  Bytes output(pixels.size(), 0xEE);
  SilentConsole console;
  EXPECT_EQ(DecodeRle(block, static_cast<std::int32_t>(block.size()), output, console),
            static_cast<std::int32_t>(pixels.size()));
  EXPECT_EQ(output, pixels);
}

// Runs of every length of both kinds, long enough that most are decoded while both buffers have
// room for any run, with guard bytes past the output that no run may touch.
TEST(DecodeRleTest, EveryRunLengthRoundTripsWithinItsOutput) {
  Bytes pixels;
  for (std::uint8_t length = 1; length <= 127; ++length) {
    for (std::uint8_t i = 0; i < length; ++i) {
      pixels.push_back(static_cast<std::uint8_t>(i * 2 + 1));  // no repeats: a literal run
    }
    pixels.insert(pixels.end(), length, length);  // a fill run from three bytes on
  }
  const Bytes block = test::EncodeRle(pixels);
  constexpr std::size_t kGuard = 32;
  Bytes output(pixels.size() + kGuard, 0xEE);
  SilentConsole console;
  EXPECT_EQ(DecodeRle(block, static_cast<std::int32_t>(block.size()),
                      std::span(output).first(pixels.size()), console),
            static_cast<std::int32_t>(pixels.size()));
  EXPECT_EQ(Bytes(output.begin(), output.end() - kGuard), pixels);
  EXPECT_EQ(Bytes(output.end() - kGuard, output.end()), Bytes(kGuard, 0xEE));
}

// The fast decoder against the careful one on streams of every kind, whole or damaged, into
// outputs shorter and longer than they fill: the same count, fill runs and bytes produced; the
// careful one leaves the rest of the output alone, the fast one zeroes it, and neither writes past
// the output.
TEST(DecodeRleWildTest, AgreesWithTheCarefulDecoder) {
  std::uint32_t state = 19;
  const auto next = [&state](std::uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  };
  constexpr std::size_t kGuard = 16;
  for (int round = 0; round < 400; ++round) {
    Bytes block(next(700));
    for (auto& byte : block) {
      // Mostly short runs, as in sprites, some of any length.
      byte = static_cast<std::uint8_t>(next(4) == 0 ? next(256) : (next(2) << 7) | next(6));
    }
    const auto dataSize =
        static_cast<std::int32_t>(block.size()) - static_cast<std::int32_t>(next(3));
    const std::size_t outputSize = next(1500);
    Bytes careful(outputSize + kGuard, 0xEE);
    Bytes wild(outputSize + kGuard, 0xEE);
    const RleDecoding expected =
        DecodeRleSilently(block, dataSize, std::span(careful).first(outputSize));
    const RleDecoding got = DecodeRleWild(block, dataSize, std::span(wild).first(outputSize));
    ASSERT_EQ(got.written, expected.written) << "round " << round;
    ASSERT_EQ(got.fillRuns, expected.fillRuns) << "round " << round;
    const auto produced = static_cast<std::ptrdiff_t>(expected.written);
    ASSERT_TRUE(std::equal(wild.begin(), wild.begin() + produced, careful.begin()))
        << "round " << round;
    ASSERT_EQ(Bytes(wild.begin() + produced, wild.end() - kGuard),
              Bytes(outputSize - static_cast<std::size_t>(produced), 0))
        << "round " << round;
    ASSERT_EQ(Bytes(wild.end() - kGuard, wild.end()), Bytes(kGuard, 0xEE)) << "round " << round;
  }
}

}  // namespace
}  // namespace vostrel
