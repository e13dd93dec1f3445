#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>

#include "formats/bmp/bmp_rle.hpp"
#include "sprite/palette.hpp"

#include "formats/picture/picture.hpp"
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

// PLTE data of the first `entries` entries of kTable, repeated past its four.
Bytes Plte(std::size_t entries) {
  Bytes plte;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t at = i % 4 * 4;
    for (const std::size_t colour : {kPaletteRedAt, kPaletteGreenAt, kPaletteBlueAt}) {
      plte.push_back(kTable[at + colour]);
    }
  }
  return plte;
}

// The picture with 2 rows of 3 pixels of the given indices (top first) in kTable.
test::IndexedPicture Indexed(Bytes indices) { return {3, 2, std::move(indices), kTable}; }

Bytes WithAlpha(std::uint8_t lastAlpha) {
  Bytes rgba = test::Colours(kIndices, kTable, 4);
  rgba.back() = lastAlpha;
  return rgba;
}

// Every case runs through each PNG decoder the build holds (libspng and stb_image on Linux,
// stb_image alone elsewhere): both must read and refuse the same files.
class DecodePictureTest : public testing::TestWithParam<PngDecoder> {
 protected:
  RgbPicture Decode(std::span<const std::uint8_t> file, std::uint64_t maxPixels = kMaxPicturePixels,
                    bool keepTransparency = false) const {
    return DecodePicture(file, maxPixels,
                         {.keepTransparency = keepTransparency, .pngDecoder = GetParam()});
  }
};

// The rows of a 3 x 2 picture of 8-bit samples (a byte a pixel), each after filter byte 0.
Bytes Rows(std::span<const std::uint8_t> samples) {
  Bytes rows;
  for (std::size_t y = 0; y < 2; ++y) {
    rows.push_back(0);
    rows.insert(rows.end(), samples.begin() + static_cast<std::ptrdiff_t>(y * 3),
                samples.begin() + static_cast<std::ptrdiff_t>(y * 3 + 3));
  }
  return rows;
}

Bytes Joined(Bytes first, std::span<const std::uint8_t> second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// An indexed 3 x 2 PNG of kIndices whose image data goes on past its rows with `more` bytes,
// cut to its first `kept` bytes when kept is given (the rows are in its first 20).
Bytes IndexedWithMore(const Bytes& more, std::optional<std::size_t> kept = std::nullopt) {
  const Bytes png = test::WritePngRows(3, 2, 8, 3, Joined(Rows(kIndices), more), Plte(4));
  if (!kept) {
    return png;
  }
  // The signature, IHDR and PLTE (4 entries), then the data chunk's length and type.
  constexpr std::size_t kDataAt = 8 + 25 + 24 + 8;
  return test::WithPngChunkData(png, "IDAT", std::span(png).subspan(kDataAt, *kept));
}

struct DecodeCase {
  const char* name;
  Bytes file;
  std::string error;   // a part of the refusal; empty when the picture decodes
  Bytes indices = {};  // of an indexed picture, whose colours are then these in kTable
  std::uint64_t maxPixels = kMaxPicturePixels;
};

TEST_P(DecodePictureTest, ReadsWhatEditorsSaveAndRefusesTheRest) {
  const Bytes grey = {0, 50, 100, 150, 200, 250};
  const Bytes twoColours = {0, 1, 1, 1, 0, 0};
  // IHDR, PLTE (11 entries), tRNS (2), an IDAT chunk of no bytes, IEND: 116 bytes.
  const Bytes emptyData = test::WithPngChunkData(
      test::WithPngChunk(test::WritePackedPng(3, 2, 8, 3, kIndices, Plte(11)), "tRNS",
                         Bytes{255, 0}),
      "IDAT", {});
  ASSERT_EQ(emptyData.size(), 116u);
  const DecodeCase cases[] = {
      {"Bmp8BottomUp", test::WriteBmp8(Indexed()), "", kIndices},
      {"Bmp8TopDown", test::WriteBmp8(Indexed(), true), "", kIndices},
      {"Bmp4", test::WriteBmpIndexed(Indexed(), 4), "", kIndices},
      {"Bmp1", test::WriteBmpIndexed(Indexed(twoColours), 1), "", twoColours},
      // Bottom row: an absolute run of 3 (padded); top row: 1, 0, 3 through runs and a delta,
      // which leaves its pixel 0.
      {"BmpRle8",
       test::WriteBmpRle(Indexed(), 8, Bytes{0, 3, 3, 3, 2, 0, 0, 0, 1, 1, 0, 2, 1, 0, 1, 3, 0, 1}),
       "", Bytes{1, 0, 3, 3, 3, 2}},
      {"BmpRle4", test::WriteBmpRle(Indexed(), 4, Bytes{3, 0x10, 0, 0, 0, 3, 0x23, 0x10, 0, 1}), "",
       Bytes{2, 3, 1, 1, 0, 1}},
      {"Bmp24", test::WriteBmpRgb(3, 2, kRgb, 24), ""},
      {"Bmp32TopDownFourthByteIgnored", test::WriteBmpRgb(3, 2, kRgb, 32, true, 0x55), ""},
      {"Bmp32Masks40", test::WriteBmpMasked(3, 2, kRgb, 40), ""},
      {"Bmp32Masks52", test::WriteBmpMasked(3, 2, kRgb, 52), ""},
      {"Bmp32Masks56", test::WriteBmpMasked(3, 2, kRgb, 56), ""},
      {"Bmp32Masks124", test::WriteBmpMasked(3, 2, kRgb, 124), ""},
      {"Bmp32MaskNot8Bits", Patched(test::WriteBmpMasked(3, 2, kRgb, 52), 54, {0xFF, 0x01}),
       "with colour masks other than 8 bits a colour"},
      {"PngRgb", test::WritePng(3, 2, 3, kRgb), ""},
      {"PngRgbaOpaque", test::WritePng(3, 2, 4, WithAlpha(255)), ""},
      {"PngIndexed", test::WritePalettePng(Indexed(), 4), "", kIndices},
      {"PngTranslucent", test::WritePng(3, 2, 4, WithAlpha(254)),
       "has 1 pixel not fully opaque (alpha below 255), the first at x 2, y 1; make every pixel "
       "opaque"},
      // Transparency told by a tRNS chunk: per palette entry, or a grey or RGB colour key (here
      // the colour of index 3, at x 0, y 1).
      {"PngIndexedTransparentEntry",
       test::WithPngChunk(test::WritePalettePng(Indexed(), 4), "tRNS", Bytes{255, 255, 255, 0}),
       "has 1 pixel not fully opaque (alpha below 255), the first at x 0, y 1"},
      {"PngRgbColourKey",
       test::WithPngChunk(test::WritePng(3, 2, 3, kRgb), "tRNS", Bytes{0, 3, 0, 2, 0, 1}),
       "has 1 pixel not fully opaque (alpha below 255), the first at x 0, y 1"},
      {"PngGreyColourKey", test::WithPngChunk(test::WritePng(3, 2, 1, grey), "tRNS", Bytes{0, 150}),
       "has 1 pixel not fully opaque (alpha below 255), the first at x 0, y 1"},
      {"PngIndexPastPalette", test::WritePalettePng(Indexed(), 2),
       "is a damaged PNG: 2 pixels past its colour table of 2 entries, the first at x 2, y 0 "
       "(index 2); save it again as BMP or PNG"},
      {"PngIndexed4Bits", test::WritePackedPng(3, 2, 4, 3, kIndices, Plte(4)), "", kIndices},
      {"PngIndexed2Bits", test::WritePackedPng(3, 2, 2, 3, kIndices, Plte(4)), "", kIndices},
      {"PngIndexed1Bit", test::WritePackedPng(3, 2, 1, 3, twoColours, Plte(2)), "", twoColours},
      {"PngIndexedWithoutPalette", test::WritePackedPng(3, 2, 8, 3, kIndices, {}),
       "cannot be read as a PNG ("},
      // Checksums are not checked: what a chunk holds is checked as it is decoded.
      {"PngChecksumsWrong", Patched(test::WritePng(3, 2, 3, kRgb), 29, {0, 0, 0, 0}), ""},
      // Each of these once reached a fault inside an image library.
      {"PngDataChunkOf2GiB",
       test::WithPngChunkLength(test::WritePng(3, 2, 3, kRgb), "IDAT", 0x80000000),
       "cannot be read as a PNG (the file ends inside its chunk at byte 33, which is said to hold "
       "2147483648 bytes); save it again as BMP or PNG"},
      {"PngOnlyDataChunkEmpty", emptyData,
       "is a damaged PNG: it holds no pixel data (no IDAT chunk, or only empty ones); save it "
       "again as BMP or PNG"},
      // All the rows are there, whatever follows them: read alike by every decoder.
      {"PngNoEndChunk", Cut(test::WritePalettePng(Indexed(), 4), 12), "", kIndices},
      {"PngBytesAfterTheEnd", Joined(test::WritePng(3, 2, 3, kRgb), Bytes{0, 0, 0, 9, 'I'}), ""},
      {"PngDataPastItsRows", IndexedWithMore(Rows(kIndices)), "", kIndices},
      {"PngDataFarPastItsRows", IndexedWithMore(Bytes(1 << 20, 0)), "", kIndices},
      {"PngDataDamagedPastItsRows",
       Patched(IndexedWithMore(test::MakePixels(300, 300, 3)), 1000, {0xFF, 0xFF}), "", kIndices},
      {"PngDataStopsPastItsRows", IndexedWithMore(test::MakePixels(300, 300, 3), 40), "", kIndices},
      // Adam7's passes of 3 x 2 pixels: x 0 of the first row, then x 2, then x 1, then the second
      // row.
      {"PngInterlaced",
       test::WritePngRows(3, 2, 8, 3, Bytes{0, 0, 0, 2, 0, 1, 0, 3, 1, 0}, Plte(4), 1), "",
       kIndices},
      // The libraries word their reasons in their own way.
      {"PngRowsMissing", test::WritePngRows(3, 2, 8, 3, Bytes{0, 0, 1, 2}, Plte(4)),
       "cannot be read as a PNG ("},
      // Announcing more pixels than its data can hold: refused before anything is sized from it.
      {"PngHollow",
       Patched(test::WritePng(3, 2, 3, kRgb), 16, {0, 0, 0x9C, 0x40, 0, 0, 0x9C, 0x40}),
       "is a damaged PNG: its 40000 x 40000 pixels need 4800040000 bytes of rows, more than its "},
      {"PngInterlacedHollow",
       Patched(test::WritePngRows(3, 2, 8, 3, Bytes{0, 0, 0, 2, 0, 1, 0, 3, 1, 0}, Plte(4), 1), 16,
               {0, 0, 0x9C, 0x40, 0, 0, 0x9C, 0x40}),
       "is a damaged PNG: its 40000 x 40000 pixels need 1600075000 bytes of rows, more than its "},
      {"BmpCutShort", Cut(test::WriteBmp8(Indexed()), 1), "ends early"},
      {"BmpIndexPastTable",
       test::WriteBmp8({3, 2, kIndices, Bytes(kTable.begin(), kTable.begin() + 8)}),
       "is a damaged BMP: 2 pixels past its colour table of 2 entries, the first at x 2, y 0 "
       "(index 2); save it again as BMP or PNG"},
      {"BmpRleOverrun", test::WriteBmpRle(Indexed(), 8, Bytes{4, 1, 0, 1}),
       "is a damaged BMP: its compressed data runs past the end of a row"},
      {"BmpPixelsInsideHeaders", Patched(test::WriteBmp8(Indexed()), 10, {40}),
       "is a damaged BMP: its pixel data is said to start at byte 40, inside its headers, which "
       "end at byte 54"},
      {"BmpNoColourTable", test::WriteBmp8({3, 2, kIndices, {}}),
       "indexed but has no colour table"},
      {"Bmp16Bits", Patched(test::WriteBmp8(Indexed()), 28, {16}),
       "is a BMP of 16 bits per pixel, which is not read; save it as PNG or as an uncompressed "
       "BMP of 8 (indexed), 24 or 32 bits per pixel"},
      {"Bmp24Rle", Patched(test::WriteBmpRgb(3, 2, kRgb, 24), 30, {1}),
       "is a BMP of 24 bits per pixel and compression 1, which is not read"},
      {"BmpCoreHeader", Patched(test::WriteBmp8(Indexed()), 14, {12}), "old or unknown header"},
      {"BmpHugeHeader", Patched(test::WriteBmp8(Indexed()), 18, {0, 0, 1, 0, 0, 0, 1, 0}),
       "too large: 65536 x 65536 pixels"},
      {"BmpNoPixels", Patched(test::WriteBmp8(Indexed()), 18, {0, 0, 0, 0}), "has no pixels"},
      {"OverTheLimit",
       test::WritePng(3, 2, 3, kRgb),
       "too large: 3 x 2 pixels, more than 5",
       {},
       5},
      {"PngCutShort", Cut(test::WritePng(3, 2, 3, kRgb), 20), "cannot be read as a PNG ("},
      {"NotAPicture", Bytes{'G', 'I', 'F', '8'},
       "is not a BMP or PNG picture; save it as BMP or PNG"},
  };
  for (const DecodeCase& c : cases) {
    try {
      const RgbPicture picture = Decode(c.file, c.maxPixels);
      EXPECT_TRUE(c.error.empty()) << c.name << " decoded";
      EXPECT_EQ(picture.width, 3) << c.name;
      EXPECT_EQ(picture.height, 2) << c.name;
      Bytes rgb;
      for (std::size_t i = 0; i < picture.Bytes().size();
           i += static_cast<std::size_t>(picture.channels)) {
        rgb.insert(rgb.end(), picture.Bytes().begin() + static_cast<std::ptrdiff_t>(i),
                   picture.Bytes().begin() + static_cast<std::ptrdiff_t>(i + 3));
      }
      EXPECT_EQ(rgb, c.indices.empty() ? kRgb : test::Colours(c.indices, kTable)) << c.name;
      EXPECT_EQ(picture.indices, c.indices) << c.name;
      if (!c.indices.empty()) {
        EXPECT_EQ(picture.colourTable,
                  Bytes(kTable.begin(),
                        kTable.begin() + static_cast<std::ptrdiff_t>(picture.colourTable.size())))
            << c.name;
      }
    } catch (const PictureError& error) {
      EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos)
          << c.name << ": " << error.what();
      EXPECT_FALSE(c.error.empty()) << c.name << ": " << error.what();
    }
  }
}

TEST_P(DecodePictureTest, GivesGreyInAllThreeChannelsScaledToEightBits) {
  struct GreyCase {
    int bits;
    Bytes samples;
    Bytes levels;
  };
  const GreyCase cases[] = {
      {8, {0, 50, 100, 150, 200, 250}, {0, 50, 100, 150, 200, 250}},
      {4, {0, 1, 2, 7, 14, 15}, {0, 17, 34, 119, 238, 255}},
      {2, {0, 1, 2, 3, 2, 1}, {0, 85, 170, 255, 170, 85}},
      {1, {0, 1, 1, 0, 0, 1}, {0, 255, 255, 0, 0, 255}},
  };
  for (const GreyCase& c : cases) {
    const RgbPicture picture = Decode(test::WritePackedPng(3, 2, c.bits, 0, c.samples, {}));
    Bytes expected;
    for (const std::uint8_t level : c.levels) {
      expected.insert(expected.end(), {level, level, level});
    }
    EXPECT_EQ(picture.channels, 3) << c.bits;
    EXPECT_EQ(Bytes(picture.Bytes().begin(), picture.Bytes().end()), expected) << c.bits;
  }
}

struct KeepCase {
  const char* name;
  Bytes file;
  Bytes alphas;            // of the six pixels
  Bytes indices = {};      // of an indexed picture
  Bytes entryAlphas = {};  // of an indexed picture's table
};

TEST_P(DecodePictureTest, KeepsTransparencyWhenAsked) {
  const Bytes opaque(6, 255);
  const KeepCase cases[] = {
      {"PngTranslucent", test::WritePng(3, 2, 4, WithAlpha(7)), {255, 255, 255, 255, 255, 7}},
      {"PngIndexedTransparentEntry",
       test::WithPngChunk(test::WritePalettePng(Indexed(), 4), "tRNS", Bytes{255, 128}),
       {255, 128, 255, 255, 128, 255},
       kIndices,
       {255, 128, 255, 255}},
      {"PngIndexedOpaque", test::WritePalettePng(Indexed(), 4), opaque, kIndices, Bytes(4, 255)},
      {"PngRgbColourKey",
       test::WithPngChunk(test::WritePng(3, 2, 3, kRgb), "tRNS", Bytes{0, 3, 0, 2, 0, 1}),
       {255, 255, 255, 0, 255, 255}},
      {"PngRgb", test::WritePng(3, 2, 3, kRgb), opaque},
      {"Bmp8", test::WriteBmp8(Indexed()), opaque, kIndices, Bytes(4, 255)},
      {"Bmp32FourthByteNotAlpha", test::WriteBmpRgb(3, 2, kRgb, 32, false, 0x55), opaque},
  };
  for (const KeepCase& c : cases) {
    const RgbPicture picture = Decode(c.file, kMaxPicturePixels, true);
    ASSERT_EQ(picture.channels, 4) << c.name;
    ASSERT_EQ(picture.pixels.size(), 24u) << c.name;
    Bytes rgb;
    Bytes alphas;
    for (std::size_t i = 0; i < picture.pixels.size(); i += 4) {
      rgb.insert(rgb.end(), picture.pixels.begin() + static_cast<std::ptrdiff_t>(i),
                 picture.pixels.begin() + static_cast<std::ptrdiff_t>(i + 3));
      alphas.push_back(picture.pixels[i + 3]);
    }
    EXPECT_EQ(rgb, c.indices.empty() ? kRgb : test::Colours(c.indices, kTable)) << c.name;
    EXPECT_EQ(alphas, c.alphas) << c.name;
    EXPECT_EQ(picture.indices, c.indices) << c.name;
    EXPECT_EQ(picture.entryAlphas, c.entryAlphas) << c.name;
  }
}

struct RleCase {
  const char* name;
  unsigned bits;
  std::size_t width;
  std::size_t height;
  Bytes stream;
  Bytes indices;      // top row first
  std::string error;  // a part of the refusal, or empty
};

TEST(DecodeBmpRleTest, FollowsEveryEscapeAndRefusesEveryOverrun) {
  const char* pastBitmap = "runs past the end of the bitmap";
  const char* endsEarly = "ends before its end-of-bitmap mark";
  const RleCase cases[] = {
      {"Runs", 8, 4, 2, {3, 7, 1, 8, 0, 0, 4, 9, 0, 1}, {9, 9, 9, 9, 7, 7, 7, 8}, ""},
      {"RunOf4BitsAlternates", 4, 5, 1, {5, 0x12, 0, 1}, {1, 2, 1, 2, 1}, ""},
      {"AbsoluteRunPadded", 8, 4, 1, {0, 3, 1, 2, 3, 0, 1, 4, 0, 1}, {1, 2, 3, 4}, ""},
      {"AbsoluteRunOf4BitsPadded", 4, 5, 1, {0, 5, 0x12, 0x34, 0x50, 0, 0, 1}, {1, 2, 3, 4, 5}, ""},
      {"AbsoluteRunOf4BitsUnpadded",
       4,
       5,
       1,
       {0, 3, 0x12, 0x30, 2, 0x55, 0, 1},
       {1, 2, 3, 5, 5},
       ""},
      {"DeltaSkipsAsZeros", 8, 3, 2, {1, 9, 0, 2, 1, 1, 1, 8, 0, 1}, {0, 0, 8, 9, 0, 0}, ""},
      {"EndOfLineLeavesZeros", 8, 3, 2, {1, 5, 0, 0, 2, 6, 0, 1}, {6, 6, 0, 5, 0, 0}, ""},
      {"EndOfBitmapLeavesZeros", 8, 2, 2, {1, 5, 0, 1}, {0, 0, 5, 0}, ""},
      {"EndOfLineAfterTheLastRow", 8, 1, 1, {1, 5, 0, 0, 0, 1}, {5}, ""},
      {"RunPastTheRow",
       8,
       2,
       1,
       {3, 1, 0, 1},
       {},
       "runs past the end of a row: 3 pixels from x 0, y 0 in a row of 2"},
      {"AbsoluteRunPastTheRow",
       8,
       2,
       1,
       {1, 1, 0, 3, 1, 2, 3, 0, 0, 1},
       {},
       "3 pixels from x 1, y 0"},
      {"RunPastTheBitmap", 8, 1, 1, {1, 1, 0, 0, 1, 1, 0, 1}, {}, pastBitmap},
      {"EndOfLinePastTheBitmap", 8, 1, 1, {0, 0, 0, 0, 0, 1}, {}, pastBitmap},
      {"DeltaPastTheLastRow", 8, 2, 2, {0, 2, 0, 2, 0, 1}, {}, pastBitmap},
      {"DeltaPastTheRowEnd", 8, 2, 2, {0, 2, 3, 0, 0, 1}, {}, pastBitmap},
      {"NoEndOfBitmap", 8, 2, 1, {1, 1}, {}, endsEarly},
      {"AbsoluteRunCutShort", 8, 4, 1, {0, 4, 1, 2}, {}, endsEarly},
      {"DeltaCutShort", 8, 4, 1, {0, 2, 1}, {}, endsEarly},
      {"Empty", 8, 1, 1, {}, {}, endsEarly},
  };
  for (const RleCase& c : cases) {
    try {
      EXPECT_EQ(DecodeBmpRle(c.stream, c.width, c.height, c.bits), c.indices) << c.name;
      EXPECT_EQ(c.error, "") << c.name << " decoded";
    } catch (const PictureError& error) {
      const std::string what = error.what();
      EXPECT_NE(what.find(c.error), std::string::npos) << c.name << ": " << what;
      EXPECT_FALSE(c.error.empty()) << c.name << ": " << what;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PngDecoders, DecodePictureTest, testing::ValuesIn(PngDecoders()),
                         [](const testing::TestParamInfo<PngDecoder>& decoder) {
                           return std::string(PngDecoderName(decoder.param));
                         });

}  // namespace
}  // namespace vostrel
