// The converter's path helpers, which split at its one separator only.
#include "programs/vostrel/image/path_helpers.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/paths.hpp"

namespace vostrel {
namespace {

using test::Native;

// A separator the platform may take but the converter never splits at.
const std::string kForeign = kPathSeparator == '/' ? "\\" : "/";

struct HelperCase {
  const char* name;
  std::function<void(std::string&)> helper;
  std::string input;
  std::string expected;
  friend void PrintTo(const HelperCase& c, std::ostream* os) { *os << c.name; }
};

class PathHelperTest : public ::testing::TestWithParam<HelperCase> {};

TEST_P(PathHelperTest, TransformsInPlace) {
  std::string text = GetParam().input;
  GetParam().helper(text);
  EXPECT_EQ(text, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Helpers, PathHelperTest,
    ::testing::Values(
        HelperCase{"CutKeepsDirectory", CutAtLastSeparator, Native("C:/art/a.art"),
                   Native("C:/art")},
        HelperCase{"CutWithoutSeparatorGivesEmpty", CutAtLastSeparator, "a.art", ""},
        HelperCase{"CutTrailingSeparator", CutAtLastSeparator, Native("d/"), "d"},
        HelperCase{"StripKeepsName", StripDirectory, Native("C:/art/a.art"), "a.art"},
        HelperCase{"StripWithoutSeparatorUnchanged", StripDirectory, "a.art", "a.art"},
        HelperCase{"StripTrailingSeparatorGivesEmpty", StripDirectory, Native("C:/d/"), ""},
        HelperCase{"StripNotAtOtherSeparators", StripDirectory, "d" + kForeign + "a.art",
                   "d" + kForeign + "a.art"},
        HelperCase{"CutNotAtOtherSeparators", CutAtLastSeparator,
                   Native("C:/d") + kForeign + "a.art", Native("C:")},
        HelperCase{"CutDotKeepsAllButLastPart", CutAtLastDot, "a.b.art", "a.b"},
        HelperCase{"CutDotWithoutDotUnchanged", CutAtLastDot, "a", "a"},
        HelperCase{"CutDotOfExtensionOnlyGivesEmpty", CutAtLastDot, ".art", ""},
        HelperCase{"AppendAddsSuffix", [](std::string& text) { AppendText(".art", text); },
                   "sprite", "sprite.art"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vostrel
