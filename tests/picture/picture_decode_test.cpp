#include <gtest/gtest.h>

#include <string>

#include "picture/picture.hpp"
#include "support/picture_writer.hpp"

namespace vostrel {
namespace {

using test::Bytes;

// A 3 x 2 picture of four colours.
const Bytes kIndices = {0, 1, 2, 3, 1, 0};
const Bytes kTable = {10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0, 1, 2, 3, 0};
const Bytes kRgb = test::Colours(kIndices, kTable);

test::IndexedPicture Indexed() { return {3, 2, kIndices, kTable}; }

Bytes Patched(Bytes bytes, std::size_t at, std::initializer_list<std::uint8_t> values) {
  std::copy(values.begin(), values.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

Bytes Cut(Bytes bytes, std::size_t by) {
  bytes.resize(bytes.size() - by);
  return bytes;
}

Bytes WithAlpha(std::uint8_t lastAlpha) {
  Bytes rgba = test::Colours(kIndices, kTable, 4);
  rgba.back() = lastAlpha;
  return rgba;
}

struct DecodeCase {
  const char* name;
  Bytes file;
  std::string error;  // a part of the refusal; empty when the picture is kRgb
  std::uint64_t maxPixels = kMaxPicturePixels;
};

TEST(DecodePictureTest, ReadsWhatEditorsSaveAndRefusesTheRest) {
  const Bytes grey = {0, 50, 100, 150, 200, 250};
  const DecodeCase cases[] = {
      {"Bmp8BottomUp", test::WriteBmp8(Indexed()), ""},
      {"Bmp8TopDown", test::WriteBmp8(Indexed(), true), ""},
      {"Bmp24", test::WriteBmpRgb(3, 2, kRgb, 24), ""},
      {"Bmp32TopDownFourthByteIgnored", test::WriteBmpRgb(3, 2, kRgb, 32, true, 0x55), ""},
      {"PngRgb", test::WritePng(3, 2, 3, kRgb), ""},
      {"PngRgbaOpaque", test::WritePng(3, 2, 4, WithAlpha(255)), ""},
      {"PngTranslucent", test::WritePng(3, 2, 4, WithAlpha(254)),
       "has 1 pixel not fully opaque (alpha below 255), the first at x 2, y 1"},
      {"BmpCutShort", Cut(test::WriteBmp8(Indexed()), 1), "ends early"},
      {"BmpIndexPastTable",
       test::WriteBmp8({3, 2, kIndices, Bytes(kTable.begin(), kTable.begin() + 8)}),
       "with 2 pixels past its colour table of 2 entries, the first at x 2, y 0 (index 2)"},
      {"Bmp4Bits", Patched(test::WriteBmp8(Indexed()), 28, {4}), "BMP of 4 bits per pixel"},
      {"BmpHugeHeader", Patched(test::WriteBmp8(Indexed()), 18, {0, 0, 1, 0, 0, 0, 1, 0}),
       "too large: 65536 x 65536 pixels"},
      {"BmpNoPixels", Patched(test::WriteBmp8(Indexed()), 18, {0, 0, 0, 0}), "has no pixels"},
      {"OverTheLimit", test::WritePng(3, 2, 3, kRgb), "too large: 3 x 2 pixels, more than 5", 5},
      {"PngCutShort", Cut(test::WritePng(3, 2, 3, kRgb), 20), "cannot be read as a PNG"},
      // 1000 x 1000 zeros told to be 10 x 10: its data unpacks far past what the size needs.
      {"PngUnpackingPastItsPixels",
       Patched(test::WritePng(1000, 1000, 1, Bytes(1000000, 0)), 16, {0, 0, 0, 10, 0, 0, 0, 10}),
       "is a damaged PNG: its data unpacks to more than its pixels need"},
      {"NotAPicture", Bytes{'G', 'I', 'F', '8'}, "is not a BMP or PNG picture"},
  };
  for (const DecodeCase& c : cases) {
    try {
      const RgbPicture picture = DecodePicture(c.file, c.maxPixels);
      EXPECT_TRUE(c.error.empty()) << c.name << " decoded";
      EXPECT_EQ(picture.width, 3) << c.name;
      EXPECT_EQ(picture.height, 2) << c.name;
      Bytes rgb;
      for (std::size_t i = 0; i < picture.Bytes().size();
           i += static_cast<std::size_t>(picture.channels)) {
        rgb.insert(rgb.end(), picture.Bytes().begin() + static_cast<std::ptrdiff_t>(i),
                   picture.Bytes().begin() + static_cast<std::ptrdiff_t>(i + 3));
      }
      EXPECT_EQ(rgb, kRgb) << c.name;
    } catch (const PictureError& error) {
      EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos)
          << c.name << ": " << error.what();
      EXPECT_FALSE(c.error.empty()) << c.name << ": " << error.what();
    }
  }
  // A grey PNG gives each pixel its grey in all three channels.
  const RgbPicture picture = DecodePicture(test::WritePng(3, 2, 1, grey));
  Bytes expected;
  for (const std::uint8_t level : grey) {
    expected.insert(expected.end(), {level, level, level});
  }
  EXPECT_EQ(Bytes(picture.Bytes().begin(), picture.Bytes().end()), expected);
}

}  // namespace
}  // namespace vostrel
