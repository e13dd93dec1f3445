// End-to-end tests: each runs the built converter in a fresh directory and compares its
// standard output, standard error, exit status and the files it leaves. They cover what needs
// the program as a process (its own directory as the default destination, the real console);
// the cases of a given destination run in process (run_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "io/path.hpp"
#include "support/art_writer.hpp"
#include "support/cli_texts.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

using test::ConversionOut;

namespace fs = std::filesystem;
using test::Bytes;
using test::RunResult;

using test::kBanner;
using test::kListName;
using test::kUsage;

std::string WithSeparator(const fs::path& dir) { return dir.string() + kPathSeparator; }

class CliTest : public ::testing::Test {
 protected:
  CliTest() {
    fs::create_directory(bin_);
    fs::copy_file(test::ConverterPath(), bin_ / test::ConverterPath().filename());
    bin_ = fs::canonical(bin_);
    exe_ = bin_ / test::ConverterPath().filename();
  }

  RunResult Run(const std::vector<std::string>& args) { return Run(args, bin_); }
  RunResult Run(const std::vector<std::string>& args, const fs::path& workDir) {
    return test::RunProgram(exe_, args, workDir);
  }

  // A valid sprite: one picture of one raw 4 x 2 frame.
  static void PutArt(const fs::path& path, int palettes = 2) {
    test::WriteFile(path.string(), test::WriteArt(test::OneFrameLayout(
                                       palettes, {{4, 2, test::MakePixels(4, 2, 1)}})));
  }
  // A file the loader refuses: shorter than its header.
  static void PutBrokenArt(const fs::path& path) { test::WriteFile(path.string(), Bytes(10, 1)); }

  test::TempDir root_;
  fs::path bin_ = root_.Path() / "bin";
  fs::path exe_;
};

// The options work only as the one argument; anything else keeps its meaning, and a file of
// such a name is reached with a directory in front.
TEST_F(CliTest, HelpAndVersionAloneAnswerAndExit) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  PutArt(bin_ / "--help", 1);
  const std::string version = std::string("vostrel ") + VOSTREL_VERSION + "\n";
  const std::vector<Case> cases{
      {{"--help"}, 0, kBanner + kUsage},
      {{"-h"}, 0, kBanner + kUsage},
#ifdef _WIN32
      {{"/?"}, 0, kBanner + kUsage},
#endif
      {{"--version"}, 0, version},
      {{"--version", "x", "y", "z"}, 1, kBanner + "Wrong arguments" + kUsage},
      {{std::string(".") + kPathSeparator + "--help"},
       0,
       kBanner + ConversionOut(std::string(".") + kPathSeparator + "--help", 1)},
  };
  for (const Case& c : cases) {
    const RunResult run = Run(c.args);
    EXPECT_EQ(run.status, c.status) << c.args[0];
    EXPECT_EQ(run.out, c.out) << c.args[0];
    EXPECT_EQ(run.err, "") << c.args[0];
  }
}

TEST_F(CliTest, BareNameGetsExtensionAndIsConvertedBesideTheProgram) {
  PutArt(bin_ / "door.art");
  const RunResult run = Run({"door"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kBanner + ConversionOut(WithSeparator(bin_) + "door.art", 2));
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(fs::exists(bin_ / "door_0_0_0.bmp"));
  EXPECT_TRUE(fs::exists(bin_ / "door_0_0_1.bmp"));
}

TEST_F(CliTest, DestinationWithoutSeparatorIsIgnored) {
  PutArt(bin_ / "door.art");
  const RunResult run = Run({"door", "out", "ignored"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kBanner + ConversionOut(WithSeparator(bin_) + "door.art", 2));
  EXPECT_FALSE(fs::exists(bin_ / "out"));
  EXPECT_TRUE(fs::exists(bin_ / "door_0_0_1.bmp"));
}

TEST_F(CliTest, NameWithADotKeepsItsExtension) {
  PutArt(bin_ / "door.v2", 1);
  const RunResult run = Run({"door.v2"});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(fs::exists(bin_ / "door_0_0_0.bmp"));
}

TEST_F(CliTest, MissingFileIsReportedAndFails) {
  const RunResult run = Run({"nothing"});
  const std::string path = WithSeparator(bin_) + "nothing.art";
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBanner + path + "\nOpening.Could not open " + path + "\n");
  EXPECT_EQ(run.err, "\nCould not load ART file\nCould not convert " + path + " to " +
                         WithSeparator(bin_) + "\n");
}

TEST_F(CliTest, StarWithExtensionIsAFileNameNotBatchMode) {
  PutArt(bin_ / "door.art");
  const RunResult run = Run({"*.art"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.find("Building input list"), std::string::npos);
  EXPECT_NE(run.out.find("Could not open " + WithSeparator(bin_) + "*.art"), std::string::npos);
  EXPECT_FALSE(fs::exists(bin_ / "door_0_0_0.bmp"));
}

TEST_F(CliTest, DestinationThatCannotHoldFilesFailsEveryBmp) {
  PutArt(bin_ / "door.art");
  // A plain file where the destination directory should be: it cannot be created, and no BMP
  // can be written under it.
  const fs::path blocked = root_.Path() / "blocked";
  test::WriteFile(blocked.string(), Bytes{1});
  const RunResult run = Run({(bin_ / "door").string(), blocked.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "\nCould not write BMP file\n\nCould not write BMP file\nCould not convert " +
                         (bin_ / "door.art").string() + " to " + WithSeparator(blocked) + "\n");
}

TEST_F(CliTest, BatchWithoutArtFilesSaysSo) {
  const RunResult run = Run({"*"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, kBanner + "Building input list...\n\nI could not found any .ART files\n");
#ifndef _WIN32
  // On Windows `dir` itself reports the empty match ("File Not Found") on standard error.
  EXPECT_EQ(run.err, "");
#endif
  EXPECT_FALSE(fs::exists(bin_ / kListName));
}

TEST_F(CliTest, BatchOverwritesAStaleList) {
  test::WriteFile((bin_ / kListName).string(),
                  Bytes{'g', 'o', 'n', 'e', '.', 'a', 'r', 't', '\r', '\n'});
  const RunResult run = Run({"*"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find("gone.art"), std::string::npos);
  EXPECT_FALSE(fs::exists(bin_ / kListName));
}

TEST_F(CliTest, BatchWithDefaultDestinationReportsAFailedFileAndGoesOn) {
  PutBrokenArt(bin_ / "a.art");
  PutArt(bin_ / "b.art", 1);
  const RunResult run = Run({"*"});
  EXPECT_EQ(run.status, 1);
#ifdef _WIN32
  // The report is a message box; nothing of it reaches the streams.
  EXPECT_EQ(run.err, "\nCould not load ART file\n");
#else
  EXPECT_EQ(run.err,
            "\nCould not load ART file\n"
            "Error: Could not convert a.art. It may possibly have multiple palettes.\n");
#endif
  EXPECT_TRUE(fs::exists(bin_ / "b_0_0_0.bmp"));
  EXPECT_FALSE(fs::exists(bin_ / kListName));
}

TEST_F(CliTest, BatchWithDefaultDestinationReadsFromTheCurrentDirectory) {
  const fs::path work = root_.Path() / "work";
  fs::create_directory(work);
  PutArt(work / "door.art", 1);
  const RunResult run = Run({"*"}, work);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(WithSeparator(fs::canonical(work)) + "door.art\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(bin_ / "door_0_0_0.bmp"));
}

TEST_F(CliTest, BatchWithUnreadableListFails) {
  // A directory in the list's place can be neither written nor read as a list.
  fs::create_directory(bin_ / kListName);
  PutArt(bin_ / "door.art", 1);
  const RunResult run = Run({"*"});
  EXPECT_EQ(run.status, 1);
  // Where the listing can tell, it fails at once; otherwise reading the list does.
  EXPECT_NE(run.err.find(" the input list art0101.lst in the current directory\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(bin_ / "door_0_0_0.bmp"));
}

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(CliTest, ExhaustedMemoryEndsTheRunWithItsMessage) {
  // A tiny run-length frame that needs a plane of 1 GiB, converted under a 256 MiB limit.
  test::WriteFile((bin_ / "big.art").string(),
                  test::WriteArt(test::OneFrameLayout(1, {{32768, 32768, {0x01, 0x05}}})));
  const RunResult run = test::RunProgram(
      "/bin/sh", {"-c", "ulimit -v 262144 && exec \"$0\" \"$@\"", exe_.string(), "big"}, bin_);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, "\nMemory exhausted! Abnormal program termination");
  EXPECT_FALSE(fs::exists(bin_ / "big_0_0_0.bmp"));
}
#endif

#ifndef _WIN32
// A FIFO where a file should be must fail at once, not wait for a writer; the run is bounded by
// timeout(1) so that a regression fails instead of hanging the suite.
TEST_F(CliTest, FifoIsAFileThatCannotBeOpenedInEitherMode) {
  const fs::path work = root_.Path() / "work";
  fs::create_directory(work);
  ASSERT_EQ(mkfifo((work / "a.art").c_str(), 0644), 0);
  PutArt(work / "b.art", 1);
  const std::string out = (root_.Path() / "out").string();
  const auto runBounded = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"-c", "exec timeout 20 \"$0\" \"$@\"", exe_.string()});
    return test::RunProgram("/bin/sh", args, work);
  };
  const RunResult single = runBounded({"./a.art", out});
  EXPECT_EQ(single.status, 1);
  EXPECT_EQ(single.out, kBanner + "./a.art\nOpening.Could not open ./a.art\n");
  EXPECT_EQ(single.err, "\nCould not load ART file\nCould not convert ./a.art to " + out + "/\n");

  const RunResult batch = runBounded({"*", out});
  EXPECT_EQ(batch.status, 1);
  EXPECT_EQ(batch.out, kBanner + "Building input list...\na.art\nOpening.Could not open a.art\n" +
                           ConversionOut("b.art", 1));
  EXPECT_EQ(batch.err, "\nCould not load ART file\n");
}

// As a user who may enter and write the current directory but not read it: listing fails, and
// that is a failure, not an empty batch. Only root can set that up for another user.
TEST_F(CliTest, UnreadableCurrentDirectoryFailsTheBatch) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "needs root to run the program as an unprivileged user";
  }
  const fs::path work = root_.Path() / "work";
  fs::create_directory(work);
  PutArt(work / "door.art", 1);
  fs::permissions(root_.Path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
  fs::permissions(work, fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_write |
                            fs::perms::group_exec | fs::perms::others_write |
                            fs::perms::others_exec);
  const RunResult run = test::RunProgram(
      "/bin/sh",
      {"-c", "exec setpriv --reuid=nobody --regid=nogroup --clear-groups \"$0\" \"$@\"",
       exe_.string(), "*", "./out"},
      work);
  fs::permissions(work, fs::perms::owner_all);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kBanner + "Building input list...\n");
  EXPECT_EQ(run.err, "Could not list the .art files of the current directory\n");
  EXPECT_EQ(test::FilesIn(work), (std::vector<std::string>{"door.art"}));
}

TEST_F(CliTest, BatchListsArtNamesInAnyCaseSortedAndSkipsHiddenOnes) {
  const fs::path work = root_.Path() / "work";
  fs::create_directory(work);
  for (const char* name : {"b.ART", "A.art", ".hidden.art", "c.Art.bak"}) {
    PutArt(work / name, 1);
  }
  const fs::path out = root_.Path() / "out";
  const RunResult run = Run({"*", out.string()}, work);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(test::FilesIn(out), (std::vector<std::string>{"A_0_0_0.bmp", "b_0_0_0.bmp"}));
  EXPECT_LT(run.out.find("A.art\n"), run.out.find("b.ART\n"));
}
#endif

}  // namespace
}  // namespace vostrel
