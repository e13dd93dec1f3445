// Where the frames go on a sheet, and which sheets are refused, as tables of cases.
#include "sheets/sheet_layout.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace vostrel {
namespace {

ArtFrameHeader Frame(std::int32_t width, std::int32_t height) {
  ArtFrameHeader header;
  header.width = width;
  header.height = height;
  header.dataSize = 1;
  return header;
}

struct LayoutCase {
  const char* name;
  std::int32_t pictures;
  std::int32_t framesPerPicture;
  std::vector<ArtFrameHeader> frames;
  std::int32_t padding;
  std::optional<std::int32_t> columns;
  // Expected: columns, rows per picture, cell, sheet, and one frame's rectangle.
  std::int32_t wantColumns, wantRows, wantCellWidth, wantCellHeight, wantWidth, wantHeight;
  std::size_t probe;
  FramePlace wantPlace;
};

class SheetLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SheetLayoutTest, CellsAndRectanglesFollowTheGrid) {
  const LayoutCase& c = GetParam();
  const SheetLayoutResult result =
      LayOutSheet(c.pictures, c.framesPerPicture, c.frames, c.padding, c.columns);
  ASSERT_TRUE(result.layout) << result.problem;
  const SheetLayout& layout = *result.layout;
  EXPECT_EQ(layout.columns, c.wantColumns);
  EXPECT_EQ(layout.rowsPerPicture, c.wantRows);
  EXPECT_EQ(layout.cellWidth, c.wantCellWidth);
  EXPECT_EQ(layout.cellHeight, c.wantCellHeight);
  EXPECT_EQ(layout.width, c.wantWidth);
  EXPECT_EQ(layout.height, c.wantHeight);
  ASSERT_EQ(layout.frames.size(), c.frames.size());
  const FramePlace& place = layout.frames[c.probe];
  EXPECT_EQ(place.x, c.wantPlace.x);
  EXPECT_EQ(place.y, c.wantPlace.y);
  EXPECT_EQ(place.width, c.wantPlace.width);
  EXPECT_EQ(place.height, c.wantPlace.height);
  // Every frame lies inside its own cell, and no two cells meet.
  for (std::size_t i = 0; i < layout.frames.size(); ++i) {
    const FramePlace& p = layout.frames[i];
    EXPECT_LE(p.x + layout.cellWidth + layout.padding, layout.width) << i;
    EXPECT_LE(p.y + layout.cellHeight + layout.padding, layout.height) << i;
    for (std::size_t j = 0; j < i; ++j) {
      EXPECT_FALSE(p.x == layout.frames[j].x && p.y == layout.frames[j].y) << i << " " << j;
    }
  }
}

const std::vector<ArtFrameHeader> kDoor(16, Frame(32, 32));

INSTANTIATE_TEST_SUITE_P(
    Grids, SheetLayoutTest,
    ::testing::Values(
        LayoutCase{
            "door", 8, 2, kDoor, 1, std::nullopt, 2, 1, 32, 32, 67, 265, 3, {34, 34, 32, 32}},
        LayoutCase{"wrapped",
                   2,
                   5,
                   {Frame(10, 4), Frame(3, 12), Frame(1, 1), Frame(2, 2), Frame(5, 5), Frame(10, 4),
                    Frame(3, 12), Frame(1, 1), Frame(7, 9), Frame(5, 5)},
                   2,
                   2,
                   2,
                   3,
                   10,
                   12,
                   26,
                   86,
                   8,
                   {14, 58, 7, 9}},
        LayoutCase{"columns past frames",
                   1,
                   3,
                   {Frame(4, 4), Frame(4, 4), Frame(4, 4)},
                   1,
                   10,
                   3,
                   1,
                   4,
                   4,
                   16,
                   6,
                   2,
                   {11, 1, 4, 4}},
        LayoutCase{"no padding",
                   2,
                   1,
                   {Frame(5, 3), Frame(2, 6)},
                   0,
                   std::nullopt,
                   1,
                   1,
                   5,
                   6,
                   5,
                   12,
                   1,
                   {0, 6, 2, 6}},
        LayoutCase{"frames without pictures",
                   1,
                   4,
                   {Frame(0, 5), Frame(-1, 4), Frame(70000, 70000), Frame(6, 2)},
                   1,
                   std::nullopt,
                   4,
                   1,
                   6,
                   2,
                   29,
                   4,
                   2,
                   {15, 1, 0, 0}},
        LayoutCase{"border alone",
                   1,
                   2,
                   {Frame(0, 0), Frame(3, 0)},
                   1,
                   std::nullopt,
                   2,
                   1,
                   0,
                   0,
                   3,
                   2,
                   1,
                   {2, 1, 0, 0}}),
    [](const auto& testCase) {
      std::string name = testCase.param.name;
      for (char& ch : name) {
        ch = std::isalnum(static_cast<unsigned char>(ch)) != 0 ? ch : '_';
      }
      return name;
    });

struct RefusalCase {
  std::int32_t pictures;
  std::int32_t framesPerPicture;
  std::vector<ArtFrameHeader> frames;
  std::int32_t padding;
  const char* names;  // what the message must name
};

TEST(SheetLayoutRefusalTest, NamesWhatMakesTheSheetImpossible) {
  const std::vector<RefusalCase> cases = {
      {1, 2, {Frame(46340, 46340), Frame(46340, 46340)}, 1, "largest frames"},
      {1, 1, {Frame(40000, 50000)}, 10000, "--padding"},
      {1, 2, {Frame(0, 0), Frame(0, 0)}, 0, "padding 1 or more"},
      {0, 0, {}, 0, "padding 1 or more"},
  };
  for (const RefusalCase& c : cases) {
    const SheetLayoutResult result =
        LayOutSheet(c.pictures, c.framesPerPicture, c.frames, c.padding, std::nullopt);
    EXPECT_FALSE(result.layout) << c.names;
    EXPECT_NE(result.problem.find(c.names), std::string::npos) << result.problem;
  }
  // The largest sheet that fits is made: 46340 x 46340 with no padding.
  EXPECT_TRUE(LayOutSheet(1, 1, std::vector{Frame(46340, 46340)}, 0, std::nullopt).layout);
}

}  // namespace
}  // namespace vostrel
