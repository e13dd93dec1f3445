#include <gtest/gtest.h>

#include <cstdio>

#include "platform/file_io.hpp"
#include "programs/vostrel/frontend/cli.hpp"
#include "support/art_writer.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

struct ListCase {
  const char* name;
  std::string content;
  std::vector<std::string> expected;
  friend void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }
};

class ReadListLineTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ReadListLineTest, ReturnsEachNameWithoutItsLineEnd) {
  test::TempDir dir;
  const std::string path = dir.File("list.lst");
  const std::string& content = GetParam().content;
  test::WriteFile(path, test::Bytes(content.begin(), content.end()));
  FilePtr list = OpenFile(path, "rt");
  ASSERT_TRUE(list);
  std::vector<std::string> names;
  while (const auto name = ReadListLine(list.get())) {
    names.push_back(*name);
  }
  EXPECT_EQ(names, GetParam().expected);
  EXPECT_FALSE(ReadListLine(list.get()).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ReadListLineTest,
    ::testing::Values(ListCase{"Empty", "", {}},
                      ListCase{"CrLfLines", "a.art\r\nb c.art\r\n", {"a.art", "b c.art"}},
                      ListCase{"LastLineWithoutEnd", "a.art\r\nb.art", {"a.art", "b.art"}},
                      ListCase{"LfLines", "a.art\nb.art\n", {"a.art", "b.art"}}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vostrel
