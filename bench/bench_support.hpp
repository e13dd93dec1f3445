#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the benchmarks share: sprite-like pictures, running a program in a child process and
// measuring it, and printing sizes. Linux only.
namespace vostrel::bench {

// A small generator of its own, so that the pictures are the same with every standard library.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed) {}
  // A number from low to high, both included.
  int Between(int low, int high);

 private:
  std::uint32_t state_;
};

// A sprite of width x height palette indices: a shaded, speckled ellipse on background index 0,
// as game sprites are.
std::vector<std::uint8_t> SpritePixels(int width, int height, Random& random);

// The frames of the speed benchmark's corpus, file by file: files sprite files in the
// eight-picture layout, each of 6 to 16 frames per picture and 1 to 4 palettes, frames of
// 32 x 32 to 160 x 160.
struct CorpusFrame {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;
};
struct CorpusSprite {
  int framesPerPicture = 0;
  int palettes = 0;
  std::vector<CorpusFrame> frames;  // picture by picture
};
inline constexpr int kCorpusPictures = 8;
std::vector<CorpusSprite> CorpusSprites(int files);

struct ChildRun {
  bool started = false;
  int status = -1;       // exit status, or -1 when the child did not exit normally
  long peakKiB = 0;      // the child's peak resident set
  double seconds = 0.0;  // wall time from start to exit
};

// Runs command[0] with the arguments that follow, standard output and standard error going to
// outputPath (created or truncated), in workDir when it is not empty, and waits for it. The
// peak it reports is the larger of the child's and this process's at the time of the fork, so
// the caller should be small.
ChildRun RunChild(const std::vector<std::string>& command, const std::string& outputPath,
                  const std::string& workDir = {});

// Runs command[0] with the arguments that follow and returns what it printed on standard
// output, or nothing when it could not be run or did not exit with status 0.
std::optional<std::string> Capture(const std::vector<std::string>& command);

// The path of the running program.
std::string SelfPath();

// A program's peak memory, measured from a small process: a forked child starts with a copy of
// its parent's memory and high-water mark, so a benchmark that holds large inputs has itself
// started again as "SELF --measure OUTPUT PROGRAM ARGS...", which main hands to MeasureChild.
// MeasureChild runs PROGRAM with its output to OUTPUT and prints its peak in KiB and its status;
// Measure starts that and reads them back, false when the program could not be run.
inline constexpr const char* kMeasureFlag = "--measure";
int MeasureChild(int argc, char** argv);
bool Measure(const std::vector<std::string>& command, const std::string& outputPath, long& peakKiB,
             int& status);

// bytes as "12.3 MiB".
std::string Human(double bytes);

}  // namespace vostrel::bench
