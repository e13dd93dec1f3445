// End-to-end tests of what only the Windows build does: its list comes from `dir` through the
// command interpreter, its paths have drive letters, and its command line is parsed by the C
// runtime rather than by a shell.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/art_writer.hpp"
#include "support/cli_texts.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

namespace fs = std::filesystem;
using test::RunResult;

using test::kBanner;
using test::kListName;

// A valid sprite: one picture of one raw 4 x 2 frame in one palette.
void PutArt(const fs::path& path) {
  test::WriteFile(path.string(),
                  test::WriteArt(test::OneFrameLayout(1, {{4, 2, test::MakePixels(4, 2, 1)}})));
}

class WindowsCliTest : public ::testing::Test {
 protected:
  WindowsCliTest() {
    fs::create_directory(bin_);
    fs::create_directory(work_);
    fs::copy_file(test::ConverterPath(), exe_);
  }

  test::TempDir root_;
  fs::path bin_ = fs::canonical(root_.Path()) / "bin";
  fs::path work_ = fs::canonical(root_.Path()) / "work";
  fs::path exe_ = bin_ / "vostrel.exe";
};

class DirListingTest : public WindowsCliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DirListingTest, ConvertsTheNameAsListedAndRemovesTheList) {
  const std::string name = GetParam();
  PutArt(work_ / name);
  test::WriteFile((work_ / "notes.txt").string(), test::Bytes{1});
  const fs::path out = root_.Path() / "out";
  const RunResult run = test::RunProgram(exe_, {"*", out.string() + '\\'}, work_);
  EXPECT_EQ(run.status, 0) << run.err;
  // The pattern matches the extension in any case, and the name is used as `dir` lists it.
  EXPECT_NE(run.out.find("Building input list...\n" + name + "\nOpening"), std::string::npos)
      << run.out;
  const std::string stem = name.substr(0, name.rfind('.'));
  EXPECT_EQ(test::FilesIn(out), (std::vector<std::string>{stem + "_0_0_0.bmp"}));
  EXPECT_FALSE(fs::exists(work_ / kListName));
}

INSTANTIATE_TEST_SUITE_P(ExtensionCases, DirListingTest,
                         ::testing::Values("DOOR.ART", "Door.Art", "door.art"),
                         [](const auto& param) {
                           std::string name = param.param;
                           std::replace(name.begin(), name.end(), '.', '_');
                           return name;
                         });

TEST_F(WindowsCliTest, UnquotedStarReachesTheProgramAsBatchMode) {
  // As typed at a prompt, where the star is not quoted: the C runtime must leave it alone
  // rather than expand it into the names of the current directory.
  PutArt(work_ / "a.art");
  PutArt(work_ / "b.art");
  const fs::path out = root_.Path() / "out";
  const std::string command = "\"cd /d \"" + work_.string() + "\" && \"" + exe_.string() +
                              "\" * \"" + out.string() + "\" >nul 2>nul <nul\"";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(test::FilesIn(out), (std::vector<std::string>{"a_0_0_0.bmp", "b_0_0_0.bmp"}));
  EXPECT_FALSE(fs::exists(work_ / kListName));
}

TEST_F(WindowsCliTest, DefaultDestinationIsTheProgramsDirectoryHoweverItIsStarted) {
  // Started by a relative path from elsewhere: the program still finds its own directory.
  PutArt(bin_ / "door.art");
  const RunResult run = test::RunProgram(fs::path("..") / "bin" / "vostrel.exe", {"door"}, work_);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string artLine = (bin_ / "door.art").string() + "\nOpening";
  EXPECT_NE(run.out.find(artLine), std::string::npos) << run.out;
  EXPECT_TRUE(fs::exists(bin_ / "door_0_0_0.bmp"));
  EXPECT_EQ(test::FilesIn(work_), std::vector<std::string>{});
}

// A drive letter that names no drive on this machine, or an empty text if all are taken.
std::string UnusedDrive() {
  const DWORD drives = GetLogicalDrives();
  for (int letter = 'Z'; letter >= 'D'; --letter) {
    if ((drives & (1u << (letter - 'A'))) == 0) {
      return std::string(1, static_cast<char>(letter)) + ":";
    }
  }
  return {};
}

struct MissingParentCase {
  const char* name;
  bool batch;
  // The destination, from the test's root directory; "?:" stands for a drive that is not there.
  const char* destination;
  friend void PrintTo(const MissingParentCase& c, std::ostream* os) { *os << c.name; }
};

class MissingParentTest : public WindowsCliTest,
                          public ::testing::WithParamInterface<MissingParentCase> {};

TEST_P(MissingParentTest, EndsTheRunBeforeConvertingAnything) {
  PutArt(work_ / "door.art");
  std::string destination = GetParam().destination;
  if (destination.starts_with("?:")) {
    const std::string drive = UnusedDrive();
    if (drive.empty()) {
      GTEST_SKIP() << "every drive letter is in use";
    }
    destination.replace(0, 2, drive);
  } else {
    destination = root_.Path().string() + destination;
  }
  const std::string art = GetParam().batch ? "*" : (work_ / "door").string();
  const RunResult run = test::RunProgram(exe_, {art, destination}, work_);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBanner + (GetParam().batch ? "Building input list...\n" : ""));
  EXPECT_EQ(run.err, "\nCould not create destination path directory\n");
  EXPECT_FALSE(fs::exists(root_.Path() / "missing"));
  EXPECT_FALSE(fs::exists(work_ / "door_0_0_0.bmp"));
  EXPECT_FALSE(fs::exists(bin_ / "door_0_0_0.bmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Destinations, MissingParentTest,
    ::testing::Values(MissingParentCase{"File", false, "\\missing\\out"},
                      MissingParentCase{"FileWithTrailingSeparator", false, "\\missing\\out\\"},
                      MissingParentCase{"Batch", true, "\\missing\\out\\"},
                      MissingParentCase{"DriveThatIsNotThere", false, "?:\\out"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vostrel
