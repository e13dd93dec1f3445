// Both builds convert the shipped sample into the very same bytes: each compares its BMPs with
// one committed list of digests, made with `sha256sum *.bmp` in the output directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "io/path.hpp"
#include "platform/sha256.hpp"
#include "support/art_writer.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

TEST(SameBmpsTest, ShippedSampleConvertsToTheCommittedBytes) {
  const auto expected = test::ReadDigestList(test::SourcePath("tests/platform/door_bmps.sha256"));
  ASSERT_EQ(expected.size(), 32u) << "eight directions x two frames x two palettes";

  const test::TempDir root;
  const fs::path out = root.Path() / "out";
  const test::RunResult run = test::RunProgram(
      test::ConverterPath(),
      {test::SourcePath("examples/door.art").string(), out.string() + kPathSeparator}, root.Path());
  ASSERT_EQ(run.status, 0) << run.err;

  std::map<std::string, std::string> actual;
  for (const auto& entry : fs::directory_iterator(out)) {
    actual[entry.path().filename().string()] =
        test::Sha256Hex(test::ReadFile(entry.path().string()));
  }
  // One comparison of the whole maps names every missing, extra or differing file at once.
  EXPECT_EQ(actual, expected);
}

}  // namespace
}  // namespace vostrel
