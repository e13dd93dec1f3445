// The sheet's encoders read back by other code: the PNG's chunks and indices, every APNG and
// GIF frame, and the palette files' colours.
#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "formats/apng/apng_encode.hpp"
#include "formats/gif/gif_encode.hpp"
#include "formats/palette_files/palette_files_write.hpp"
#include "formats/png/png_encode.hpp"
#include "support/art_writer.hpp"
#include "support/image_reader.hpp"

namespace vostrel {
namespace {

struct ImageCase {
  std::int32_t width;
  std::int32_t height;
  std::optional<std::uint8_t> transparent;
  bool noise;  // random indices: long LZW tables that must be cleared and started again
};

class EncodeTest : public ::testing::TestWithParam<ImageCase> {
 protected:
  // Indices of the case: a pattern, or noise from a fixed generator.
  static std::vector<std::uint8_t> Indices(std::int32_t width, std::int32_t height, bool noise,
                                           std::uint32_t seed) {
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) *
                                      static_cast<std::size_t>(height));
    std::uint32_t state = seed;
    for (std::size_t i = 0; i < indices.size(); ++i) {
      state = state * 1664525U + 1013904223U;
      indices[i] = noise ? static_cast<std::uint8_t>(state >> 24U)
                         : static_cast<std::uint8_t>((i / 7 + seed) % 5 * 40);
    }
    return indices;
  }
  const test::Bytes palette = test::MakePalette(9);
};

TEST_P(EncodeTest, PngHoldsThePaletteTheTransparentIndexAndTheIndices) {
  const ImageCase c = GetParam();
  const auto indices = Indices(c.width, c.height, c.noise, 1);
  ZlibCompressor compressor;
  const auto bytes =
      EncodeIndexedPng({c.width, c.height, static_cast<std::size_t>(c.width), indices},
                       {palette, c.transparent}, compressor);
  const test::ReadPng png = test::ParsePng(bytes);
  ASSERT_TRUE(png.signatureOk);
  for (const auto& chunk : png.chunks) {
    EXPECT_TRUE(chunk.crcOk) << chunk.type;
  }
  EXPECT_EQ(png.chunks.front().type, "IHDR");
  EXPECT_EQ(png.chunks.back().type, "IEND");
  EXPECT_EQ(png.width, static_cast<std::uint32_t>(c.width));
  EXPECT_EQ(png.height, static_cast<std::uint32_t>(c.height));
  EXPECT_EQ(png.bitDepth, 8);
  EXPECT_EQ(png.colourType, 3);
  ASSERT_EQ(png.plte.size(), 768u);
  for (std::size_t i = 0; i < 256; ++i) {
    EXPECT_EQ(png.plte[i * 3], palette[i * 4 + 2]) << i;
    EXPECT_EQ(png.plte[i * 3 + 1], palette[i * 4 + 1]) << i;
    EXPECT_EQ(png.plte[i * 3 + 2], palette[i * 4]) << i;
  }
  if (c.transparent) {
    ASSERT_EQ(png.trns.size(), std::size_t{*c.transparent} + 1);
    EXPECT_EQ(png.trns.back(), 0);
    for (std::size_t i = 0; i + 1 < png.trns.size(); ++i) {
      EXPECT_EQ(png.trns[i], 255);
    }
  } else {
    EXPECT_TRUE(png.trns.empty());
  }
  EXPECT_TRUE(png.filtersNone);
  EXPECT_EQ(png.indices, indices);
}

TEST_P(EncodeTest, ApngFramesAreTheCanvasesInOrder) {
  const ImageCase c = GetParam();
  // Three frames: the whole canvas, a smaller one at the top left, and an empty one.
  const auto first = Indices(c.width, c.height, c.noise, 2);
  const std::int32_t smallWidth = (c.width + 1) / 2;
  const std::int32_t smallHeight = (c.height + 1) / 2;
  const auto second = Indices(smallWidth, smallHeight, c.noise, 3);
  Animation animation{c.width, c.height, {}, {palette, c.transparent}, 12};
  animation.frames = {{c.width, c.height, static_cast<std::size_t>(c.width), first},
                      {smallWidth, smallHeight, static_cast<std::size_t>(smallWidth), second},
                      {}};
  ZlibCompressor compressor;
  const test::ReadPng png = test::ParsePng(EncodeApng(animation, compressor));
  std::uint32_t sequence = 0;
  for (const auto& chunk : png.chunks) {
    EXPECT_TRUE(chunk.crcOk) << chunk.type;
    if (chunk.type == "acTL") {
      EXPECT_EQ(test::GetBe32(chunk.data, 0), 3u);
      EXPECT_EQ(test::GetBe32(chunk.data, 4), 0u);  // plays forever
    } else if (chunk.type == "fcTL" || chunk.type == "fdAT") {
      EXPECT_EQ(test::GetBe32(chunk.data, 0), sequence++);
    }
    if (chunk.type == "fcTL") {
      EXPECT_EQ(test::GetBe32(chunk.data, 4), static_cast<std::uint32_t>(c.width));
      EXPECT_EQ(chunk.data[20] * 256 + chunk.data[21], 1);  // delay 1 / 12 s
      EXPECT_EQ(chunk.data[22] * 256 + chunk.data[23], 12);
      EXPECT_EQ(chunk.data[24], 1);  // dispose to background
    }
  }
  const std::uint8_t background = c.transparent.value_or(0);
  std::vector<std::uint8_t> canvas;
  ASSERT_EQ(png.frames.size(), 3u);
  EXPECT_EQ(png.frames[0], first);
  PaintOnCanvas(animation.frames[1], c.width, c.height, background, canvas);
  EXPECT_EQ(png.frames[1], canvas);
  EXPECT_EQ(png.frames[2], std::vector<std::uint8_t>(first.size(), background));
  EXPECT_EQ(png.indices, first);
}

TEST_P(EncodeTest, GifFramesShowThePaletteColoursAndTheTransparentIndexClear) {
  const ImageCase c = GetParam();
  const auto first = Indices(c.width, c.height, c.noise, 4);
  const std::int32_t smallWidth = (c.width + 2) / 3;
  const auto second = Indices(smallWidth, c.height, c.noise, 5);
  Animation animation{c.width, c.height, {}, {palette, c.transparent}, 30};
  animation.frames = {{c.width, c.height, static_cast<std::size_t>(c.width), first},
                      {smallWidth, c.height, static_cast<std::size_t>(smallWidth), second}};
  const test::ReadGif gif = test::ParseGif(EncodeGif(animation));
  ASSERT_EQ(gif.frames.size(), 2u);
  EXPECT_EQ(gif.width, c.width);
  EXPECT_EQ(gif.height, c.height);
  const std::uint8_t background = c.transparent.value_or(0);
  std::vector<std::uint8_t> canvas;
  for (std::size_t f = 0; f < 2; ++f) {
    EXPECT_EQ(gif.delays[f], 30);  // 100 / 30 hundredths, rounded: 3
    PaintOnCanvas(animation.frames[f], c.width, c.height, background, canvas);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < canvas.size(); ++i) {
      const std::uint8_t* rgba = gif.frames[f].data() + i * 4;
      const std::size_t entry = std::size_t{canvas[i]} * 4;
      const bool clear = c.transparent && canvas[i] == *c.transparent;
      const bool same = clear ? rgba[3] == 0
                              : rgba[0] == palette[entry + 2] && rgba[1] == palette[entry + 1] &&
                                    rgba[2] == palette[entry] && rgba[3] == 255;
      wrong += same ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0u) << "frame " << f;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EncodeTest,
    ::testing::Values(ImageCase{1, 1, 0, false}, ImageCase{1, 1, std::nullopt, true},
                      ImageCase{32, 32, 0, false}, ImageCase{33, 5, 200, false},
                      ImageCase{160, 160, 0, true}, ImageCase{300, 7, std::nullopt, true},
                      ImageCase{97, 131, 255, true}),
    [](const auto& testCase) {
      const ImageCase& c = testCase.param;
      return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
             (c.transparent ? "T" + std::to_string(*c.transparent) : std::string("opaque")) +
             (c.noise ? "_noise" : "");
    });

TEST(GifDelayTest, RoundedHundredthsOfAtLeastTwo) {
  const std::vector<std::pair<std::int32_t, std::uint16_t>> cases = {{1, 100}, {3, 33}, {8, 13},
                                                                     {30, 3},  {50, 2}, {100, 2}};
  for (const auto& [fps, delay] : cases) {
    EXPECT_EQ(GifDelay(fps), delay) << fps;
  }
}

TEST(GifEncodeTest, RefusesACanvasAGifCannotDescribe) {
  const test::Bytes palette = test::MakePalette(1);
  Animation animation{kGifMaxSide + 1, 1, {IndexedPlane{}}, {palette, 0}, 8};
  EXPECT_THROW(EncodeGif(animation), std::invalid_argument);
  animation.width = 0;
  EXPECT_THROW(EncodeGif(animation), std::invalid_argument);
}

TEST(PaletteFilesTest, EveryFormatReadsBackToTheSameColours) {
  const test::Bytes palette = test::MakePalette(77);
  std::vector<std::array<int, 3>> expected;
  for (std::size_t i = 0; i < 256; ++i) {
    expected.push_back({palette[i * 4 + 2], palette[i * 4 + 1], palette[i * 4]});
  }
  const auto readTriples = [](std::istringstream& in) {
    std::vector<std::array<int, 3>> colours;
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::array<int, 3> rgb{};
      if (fields >> rgb[0] >> rgb[1] >> rgb[2]) {
        colours.push_back(rgb);
      }
    }
    return colours;
  };

  std::istringstream gpl(GimpPalette(palette, "door_0"));
  std::string line;
  std::getline(gpl, line);
  EXPECT_EQ(line, "GIMP Palette");
  std::getline(gpl, line);
  EXPECT_EQ(line, "Name: door_0");
  EXPECT_EQ(readTriples(gpl), expected);

  const std::string jasc = JascPalette(palette);
  EXPECT_EQ(jasc.substr(0, 19), "JASC-PAL\r\n0100\r\n256");
  std::istringstream pal(jasc.substr(jasc.find("256\r\n") + 5));
  EXPECT_EQ(readTriples(pal), expected);

  const std::vector<std::uint8_t> act = AdobeColourTable(palette);
  ASSERT_EQ(act.size(), 768u);
  for (std::size_t i = 0; i < 256; ++i) {
    EXPECT_EQ((std::array<int, 3>{act[i * 3], act[i * 3 + 1], act[i * 3 + 2]}), expected[i]);
  }
}

}  // namespace
}  // namespace vostrel
