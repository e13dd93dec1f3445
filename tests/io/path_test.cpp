// The path rules: a file's name and stem from a path with the separators the platform takes,
// and a directory joined with a name.
#include "io/path.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace vostrel {
namespace {

struct SplitCase {
  const char* label;
  std::string path;
  std::string_view separators;
  std::string directory;
  std::string name;
  std::string stem;
  friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.label; }
};

class SplitPathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathTest, GivesDirectoryNameAndStem) {
  const SplitCase& c = GetParam();
  const PathParts parts = SplitPath(c.path, c.separators);
  EXPECT_EQ(parts.directory, c.directory);
  EXPECT_EQ(parts.name, c.name);
  EXPECT_EQ(parts.stem, c.stem);
}

std::vector<SplitCase> SplitCases() {
  std::vector<SplitCase> cases = {
      {"BareName", "door.art", kPathSeparators, "", "door.art", "door"},
      {"Nested", "a/b/door.art", kPathSeparators, "a/b/", "door.art", "door"},
      {"TrailingSeparator", "a/b/", kPathSeparators, "a/b/", "", ""},
      {"DotInDirectoryOnly", "a.b/door", kPathSeparators, "a.b/", "door", "door"},
      {"LastDotOfName", "x/a.b.art", kPathSeparators, "x/", "a.b.art", "a.b"},
      {"ExtensionOnly", ".art", kPathSeparators, "", ".art", ""},
      {"RootOnly", "/door.art", kPathSeparators, "/", "door.art", "door"},
  };
#ifdef _WIN32
  // Windows takes both separators, in any mix, and a drive on its own.
  cases.insert(
      cases.end(),
      {{"Backslash", "a\\door.art", kPathSeparators, "a\\", "door.art", "door"},
       {"SlashAfterBackslash", "b\\c/door.art", kPathSeparators, "b\\c/", "door.art", "door"},
       {"BackslashAfterSlash", "a/b\\door.art", kPathSeparators, "a/b\\", "door.art", "door"},
       {"DriveRelative", "C:door.art", kPathSeparators, "C:", "door.art", "door"},
       {"DriveRoot", "C:\\door.art", kPathSeparators, "C:\\", "door.art", "door"},
       // A rule given its one separator splits there alone, and knows no drive.
       {"OwnSeparatorOnly", "a/door.art", kOwnSeparatorOnly, "", "a/door.art", "a/door"},
       {"OwnSeparatorNoDrive", "C:door.art", kOwnSeparatorOnly, "", "C:door.art", "C:door"}});
#else
  // A backslash is a character of a name here, and a colon too.
  cases.insert(cases.end(),
               {{"BackslashInName", "a\\door.art", kPathSeparators, "", "a\\door.art", "a\\door"},
                {"ColonInName", "C:door.art", kPathSeparators, "", "C:door.art", "C:door"}});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Paths, SplitPathTest, ::testing::ValuesIn(SplitCases()),
                         [](const auto& param) { return std::string(param.param.label); });

struct JoinCase {
  const char* label;
  std::string directory;
  std::string joined;
  friend void PrintTo(const JoinCase& c, std::ostream* os) { *os << c.label; }
};

class JoinPathTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinPathTest, PutsOneSeparatorBetween) {
  EXPECT_EQ(JoinPath(GetParam().directory, "door_0.png"), GetParam().joined);
}

std::vector<JoinCase> JoinCases() {
  std::vector<JoinCase> cases = {
      {"NoDirectory", "", "door_0.png"},
      {"EndsWithSlash", "out/", "out/door_0.png"},
      {"WithoutSeparator", "out", std::string("out") + kPathSeparator + "door_0.png"},
  };
#ifdef _WIN32
  cases.insert(cases.end(), {{"EndsWithBackslash", "out\\", "out\\door_0.png"},
                             {"DriveAlone", "C:", "C:door_0.png"}});
#else
  // Not a separator here: the name goes inside the directory "out\".
  cases.push_back({"EndsWithBackslash", "out\\", "out\\/door_0.png"});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Paths, JoinPathTest, ::testing::ValuesIn(JoinCases()),
                         [](const auto& param) { return std::string(param.param.label); });

}  // namespace
}  // namespace vostrel
