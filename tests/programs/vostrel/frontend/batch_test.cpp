// Batch mode on several workers against one: for every run, the combined console transcript, the
// exit status and every BMP left must be exactly those of converting the files one after another.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "io/path.hpp"
#include "support/art_writer.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

#ifdef _WIN32
// Each run starts cmd and the converter under Wine, which takes a good part of a second.
constexpr int kRounds = 2;
#else
constexpr int kRounds = 6;
#endif

// A sprite of eight pictures of frames x frames frames each, side x side pixels, the second
// palette included; seed keeps files apart.
Bytes EightPictureSprite(int frames, std::int32_t side, std::uint8_t seed) {
  test::ArtSpec sprite = test::OneFrameLayout(2, {});
  sprite.flags = 0;
  sprite.frameCount = frames;
  sprite.palettes = {test::MakePalette(seed),
                     test::MakePalette(static_cast<std::uint8_t>(seed + 1))};
  for (int n = 0; n < 8 * frames; ++n) {
    const Bytes pixels = test::MakePixels(side + n % 3, side, static_cast<std::uint8_t>(seed + n));
    sprite.frames.emplace_back(side + n % 3, side, n % 2 == 0 ? pixels : test::EncodeRle(pixels));
  }
  return test::WriteArt(sprite);
}

struct Outcome {
  int status = 0;
  std::string transcript;
  std::map<std::string, Bytes> bmps;
};

class ParallelBatchTest : public ::testing::Test {
 protected:
  ParallelBatchTest() {
    fs::create_directories(bin_);
    fs::copy_file(test::ConverterPath(), exe_);
    // Damaged files of every kind, each failing or stopping its own way.
    for (const auto& entry : fs::directory_iterator(test::SourcePath("tests/corpus"))) {
      if (entry.path().extension() == ".art") {
        fs::copy_file(entry.path(), bin_ / entry.path().filename());
      }
    }
    for (int n = 0; n < 6; ++n) {
      test::WriteFile((bin_ / ("sprite" + std::to_string(n) + ".art")).string(),
                      EightPictureSprite(1 + n % 3, 9 + 7 * n, static_cast<std::uint8_t>(n)));
    }
#ifndef _WIN32
    // Two files whose BMPs have the same names: the large one is listed first, so the small one
    // must win, which only one-after-another guarantees.
    test::WriteFile((bin_ / "door.ART").string(), EightPictureSprite(6, 80, 40));
    test::WriteFile((bin_ / "door.art").string(), EightPictureSprite(1, 4, 80));
#endif
  }

  // Converts the batch with the given workers into dest (or beside the program when empty),
  // where a directory stands in the way of one BMP.
  Outcome Convert(int workers, const std::string& dest) {
    const fs::path out = dest.empty() ? bin_ : fs::path(dest);
    fs::create_directories(out);
    for (const auto& entry : fs::directory_iterator(out)) {
      if (entry.path().extension() == ".bmp") {
        fs::remove_all(entry.path());
      }
    }
    fs::create_directories(out / "sprite1_2_0_1.bmp");
    SetWorkers(workers);
    std::vector<std::string> args{"*"};
    if (!dest.empty()) {
      args.push_back(dest);
    }
    const test::RunResult run = test::RunProgram(exe_, args, bin_, true);
    Outcome outcome{run.status, run.out, {}};
    for (const auto& entry : fs::directory_iterator(out)) {
      if (entry.path().extension() == ".bmp" && entry.is_regular_file()) {
        outcome.bmps[entry.path().filename().string()] = test::ReadFile(entry.path().string());
      }
    }
    return outcome;
  }

  static void SetWorkers(int workers) {
    const std::string count = std::to_string(workers);
#ifdef _WIN32
    _putenv_s("VOSTREL_WORKERS", count.c_str());
#else
    setenv("VOSTREL_WORKERS", count.c_str(), 1);
#endif
  }

  void ExpectSameAsOneWorker(const std::string& dest) {
    const Outcome serial = Convert(1, dest);
    ASSERT_EQ(serial.status, 1) << serial.transcript;
    ASSERT_NE(serial.transcript.find("Could not write BMP file"), std::string::npos);
    for (int round = 0; round < kRounds; ++round) {
      for (const int workers : {2, 3, 8}) {
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(workers) +
                     " workers");
        const Outcome parallel = Convert(workers, dest);
        EXPECT_EQ(parallel.status, serial.status);
        EXPECT_EQ(parallel.transcript, serial.transcript);
        EXPECT_TRUE(parallel.bmps == serial.bmps) << "the BMPs differ";
        if (HasFailure()) {
          return;
        }
      }
    }
  }

  test::TempDir root_;
  const fs::path bin_ = root_.Path() / "bin";
  const fs::path exe_ = bin_ / test::ConverterPath().filename();
};

TEST_F(ParallelBatchTest, GivenDestinationGivesWhatOneWorkerGives) {
  ExpectSameAsOneWorker((root_.Path() / "out").string());
}

TEST_F(ParallelBatchTest, DefaultDestinationGivesWhatOneWorkerGives) { ExpectSameAsOneWorker(""); }

}  // namespace
}  // namespace vostrel
