#include "packing/colour_map.hpp"

#include <gtest/gtest.h>

#include "support/art_writer.hpp"
#include "support/picture_writer.hpp"

namespace vostrel {
namespace {

using test::Bytes;

// Entries of blue, green, red, fourth byte: 0 and 2 are both black (their fourth bytes differ,
// which does not count), 1 is red, 3 green.
const Bytes kPalette = {0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 9, 0, 255, 0, 0};

struct MapCase {
  const char* name;
  Bytes pixels;  // RGB, or RGBA when channels is 4
  std::size_t width;
  std::size_t channels;
  Bytes original;
  Bytes indices;
  std::uint64_t missing;
  std::uint64_t missingX;
  std::uint64_t missingY;
};

TEST(MapToPaletteTest, TakesTheOriginalIndexOrElseTheLowestThatHoldsTheColour) {
  const MapCase cases[] = {
      {"LowestOfDuplicates", {0, 0, 0, 255, 0, 0}, 2, 3, {}, {0, 1}, 0, 0, 0},
      {"OriginalAmongDuplicatesKept", {0, 0, 0, 0, 0, 0}, 2, 3, {2, 0}, {2, 0}, 0, 0, 0},
      {"OriginalOfAnotherColourReplaced", {0, 0, 0, 0, 255, 0}, 2, 3, {1, 1}, {0, 3}, 0, 0, 0},
      {"OriginalPastThePaletteIgnored", {0, 0, 0}, 1, 3, {200}, {0}, 0, 0, 0},
      {"FourChannelsSkipTheFourth", {255, 0, 0, 7, 0, 255, 0, 7}, 1, 4, {}, {1, 3}, 0, 0, 0},
      {"MissingCountedAndFirstGiven",
       {255, 0, 0, 255, 0, 0, 1, 2, 3, 0, 0, 0, 1, 2, 3, 9, 9, 9},
       3,
       3,
       {},
       {1, 1, 0, 0, 0, 0},
       3,
       2,
       0},
  };
  for (const MapCase& c : cases) {
    const PaletteMapping mapping =
        MapToPalette(c.pixels, c.width, c.channels, kPalette, c.original);
    EXPECT_EQ(mapping.indices, c.indices) << c.name;
    EXPECT_EQ(mapping.missing.pixels, c.missing) << c.name;
    if (c.missing > 0) {
      EXPECT_EQ(mapping.missing.x, c.missingX) << c.name;
      EXPECT_EQ(mapping.missing.y, c.missingY) << c.name;
      EXPECT_EQ(mapping.missing.red, 1) << c.name;
      EXPECT_EQ(mapping.missing.green, 2) << c.name;
      EXPECT_EQ(mapping.missing.blue, 3) << c.name;
    }
  }
}

TEST(MapToPaletteTest, KeepsTheIndicesOfAPictureWhoseTableAgreesWhereItIsUsed) {
  struct Case {
    const char* name;
    Bytes table;  // the picture's colour table
    Bytes indices;
    Bytes expected;
  };
  const Case cases[] = {
      // Index 2, a copy of black, stays 2; entry 3 differs but is not used.
      {"AgreesWhereUsed", {0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 9, 9, 9, 0}, {2, 1}, {2, 1}},
      // Entry 2 is white in the picture: mapped by colour, white is missing, black is index 0.
      {"DisagreesWhereUsed", {0, 0, 0, 0, 0, 0, 255, 0, 255, 255, 255, 0}, {0, 2}, {0, 0}},
  };
  for (const Case& c : cases) {
    RgbPicture picture{2, 1, 3, test::Colours(c.indices, c.table), c.indices, c.table, {}};
    EXPECT_EQ(MapToPalette(picture, kPalette, {}).indices, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace vostrel
