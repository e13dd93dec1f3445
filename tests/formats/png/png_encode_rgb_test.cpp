// The RGB PNGs that vostrel-pack rewrites pictures as: the very bytes stb_image_write writes of
// the same colours, whichever filters its rows take.
#include <gtest/gtest.h>

#include "formats/png/png_encode.hpp"
#include "support/art_writer.hpp"
#include "support/picture_writer.hpp"

namespace vostrel {
namespace {

using test::Bytes;

struct RgbCase {
  const char* name;
  std::int32_t width;
  std::int32_t height;
  Bytes indices;
  Bytes palette;
};

// A palette whose colours change smoothly with the index, so that rows of indices that change
// smoothly are best filtered by their left, upper or both neighbours.
Bytes Ramp() {
  Bytes palette;
  for (int i = 0; i < 256; ++i) {
    palette.insert(palette.end(),
                   {static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i / 2),
                    static_cast<std::uint8_t>(i), 0});
  }
  return palette;
}

Bytes Gradient(std::int32_t width, std::int32_t height, int dx, int dy) {
  Bytes indices;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      indices.push_back(static_cast<std::uint8_t>(x * dx + y * dy));
    }
  }
  return indices;
}

TEST(EncodeRgbPngTest, WritesWhatStbImageWriteWrites) {
  const RgbCase cases[] = {
      {"OnePixel", 1, 1, {7}, test::MakePalette(3)},
      {"Noise", 9, 7, test::MakePixels(9, 7, 4), test::MakePalette(5)},
      {"Rows", 12, 6, Gradient(12, 6, 0, 9), Ramp()},
      {"Columns", 12, 6, Gradient(12, 6, 9, 0), Ramp()},
      {"Diagonal", 31, 17, Gradient(31, 17, 3, 5), Ramp()},
      {"Flat", 40, 3, Bytes(120, 200), Ramp()},
  };
  for (const RgbCase& c : cases) {
    const IndexedPlane plane{c.width, c.height, static_cast<std::size_t>(c.width), c.indices};
    EXPECT_EQ(EncodeRgbPng(plane, c.palette),
              test::WritePng(c.width, c.height, 3, test::Colours(c.indices, c.palette)))
        << c.name;
  }
}

}  // namespace
}  // namespace vostrel
