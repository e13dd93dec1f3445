// vostrel-sheet against the floor of its job and against the Pillow script a user would write
// instead. On the speed benchmark's corpus (written by vostrel_speed_bench --write-corpus), in
// alternating rounds, each into a fresh directory:
//   (a) vostrel-sheet on every file: sheets of all palettes, manifests, palette files;
//   (b) the floor: the same files (names and bytes) written from memory, one open, write and
//       close each, split over one process per usable CPU;
//   (c) the Pillow script (given with --pillow), indexed sheets of all palettes alone.
// It prints median times, the ratio of the script's time to vostrel-sheet's (target: 5 or more)
// and the sheets' total size against the script's (target: at most 2 % more). Every round's
// output must equal the first's. Linux only.
//
// usage: sheet_bench VOSTREL_SHEET SPEED_BENCH [--pillow SCRIPT] [--python PYTHON]
//                    [--rounds N] [--files N] [--scratch DIR]

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
  std::string sheet;
  std::string speedBench;
  std::string pillow;
  std::string python = "/usr/bin/python3";
  int rounds = 7;
  int files = 40;
  fs::path scratch;
};

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file of dir, by name.
std::map<std::string, std::vector<std::uint8_t>> ReadDir(const fs::path& dir) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = ReadBytes(entry.path());
  }
  return files;
}

// The PNGs of dir: their count and total size.
std::pair<int, std::uint64_t> PngTotal(const fs::path& dir) {
  int count = 0;
  std::uint64_t bytes = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".png") {
      ++count;
      bytes += entry.file_size();
    }
  }
  return {count, bytes};
}

bool WriteWhole(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) {
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      close(fd);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return close(fd) == 0;
}

// The floor: the reference files written into dest by one process per CPU, each taking every
// n-th file. Seconds from the start of the first to the end of the last.
double RunFloor(const std::map<std::string, std::vector<std::uint8_t>>& files, const fs::path& dest,
                int processes) {
  fs::create_directories(dest);
  const auto start = Clock::now();
  std::vector<pid_t> children;
  for (int p = 0; p < processes; ++p) {
    const pid_t child = fork();
    if (child == 0) {
      int i = 0;
      bool ok = true;
      for (const auto& [name, bytes] : files) {
        if (i++ % processes == p) {
          ok = WriteWhole((dest / name).string(), bytes) && ok;
        }
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  bool ok = true;
  for (const pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return ok ? seconds : -1.0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "sheet_bench: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s VOSTREL_SHEET SPEED_BENCH [--pillow SCRIPT] [--python PYTHON] "
                 "[--rounds N] [--files N] [--scratch DIR]\n",
                 argv[0]);
    return 2;
  }
  options.sheet = fs::absolute(argv[1]).string();
  options.speedBench = fs::absolute(argv[2]).string();
  for (int i = 3; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--pillow") {
      options.pillow = value;
    } else if (name == "--python") {
      options.python = value;
    } else if (name == "--rounds") {
      options.rounds = std::max(1, std::atoi(value.c_str()));
    } else if (name == "--files") {
      options.files = std::max(1, std::atoi(value.c_str()));
    } else if (name == "--scratch") {
      options.scratch = value;
    } else {
      return Fail("unknown option " + name);
    }
  }
  if (options.scratch.empty()) {
    options.scratch =
        fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  }
  const fs::path root = options.scratch / ("vostrel-sheet-bench-" + std::to_string(getpid()));
  const fs::path corpus = root / "corpus";
  fs::create_directories(corpus);
  if (vostrel::bench::RunChild(
          {options.speedBench, "--write-corpus", corpus.string(), std::to_string(options.files)},
          (root / "corpus.log").string())
          .status != 0) {
    return Fail("could not write the corpus");
  }
  std::vector<std::string> arts;
  std::uint64_t artBytes = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    arts.push_back(entry.path().string());
    artBytes += entry.file_size();
  }
  std::sort(arts.begin(), arts.end());

  const auto runSheet = [&](const fs::path& dest) {
    std::vector<std::string> command = {options.sheet};
    command.insert(command.end(), arts.begin(), arts.end());
    command.push_back(dest.string());
    return vostrel::bench::RunChild(command, "/dev/null");
  };
  const fs::path refDir = root / "reference";
  const vostrel::bench::ChildRun first = runSheet(refDir);
  if (first.status != 0) {
    return Fail("vostrel-sheet failed on the corpus");
  }
  const auto reference = ReadDir(refDir);
  std::uint64_t outBytes = 0;
  for (const auto& [name, bytes] : reference) {
    outBytes += bytes.size();
  }
  const int cpus = static_cast<int>(std::max<std::size_t>(1, std::thread::hardware_concurrency()));

  std::vector<double> sheetTimes;
  std::vector<double> floorTimes;
  std::vector<double> pillowTimes;
  long peakKiB = first.peakKiB;
  for (int round = 0; round < options.rounds; ++round) {
    const fs::path dest = root / ("round" + std::to_string(round));
    fs::create_directories(dest);
    const vostrel::bench::ChildRun run = runSheet(dest / "sheet");
    if (run.status != 0 || ReadDir(dest / "sheet") != reference) {
      return Fail("round " + std::to_string(round) + " differs from the first run");
    }
    sheetTimes.push_back(run.seconds);
    peakKiB = std::max(peakKiB, run.peakKiB);
    const double floor = RunFloor(reference, dest / "floor", cpus);
    if (floor < 0) {
      return Fail("the floor could not write its files");
    }
    floorTimes.push_back(floor);
    // The script takes seconds a run: three runs give its median.
    if (!options.pillow.empty() && round < 3) {
      const vostrel::bench::ChildRun script = vostrel::bench::RunChild(
          {options.python, options.pillow, corpus.string(), (dest / "pillow").string()},
          (root / "pillow.log").string());
      if (script.status != 0) {
        return Fail("the Pillow script failed (see " + (root / "pillow.log").string() + ")");
      }
      pillowTimes.push_back(script.seconds);
    }
    fs::remove_all(dest / "floor");
    fs::remove_all(dest / "sheet");
  }

  const auto [sheets, sheetBytes] = PngTotal(refDir);
  std::printf("vostrel-sheet against its floor and Pillow\n");
  std::printf("corpus: %zu files, %s; output: %zu files, %s, of which %d sheets, %s\n", arts.size(),
              vostrel::bench::Human(static_cast<double>(artBytes)).c_str(), reference.size(),
              vostrel::bench::Human(static_cast<double>(outBytes)).c_str(), sheets,
              vostrel::bench::Human(static_cast<double>(sheetBytes)).c_str());
  const double sheetMedian = Median(sheetTimes);
  const double floorMedian = Median(floorTimes);
  std::printf("median of %d rounds, %d CPUs:\n", options.rounds, cpus);
  std::printf("  (a) vostrel-sheet            %8.3f s   peak %ld KiB\n", sheetMedian, peakKiB);
  std::printf("  (b) floor, %d processes       %8.3f s   (a)/(b) %.1f\n", cpus, floorMedian,
              sheetMedian / floorMedian);
  if (!pillowTimes.empty()) {
    const double pillowMedian = Median(pillowTimes);
    const auto [pillowSheets, pillowBytes] = PngTotal(root / "round0" / "pillow");
    std::printf("  (c) Pillow script            %8.3f s   (c)/(a) %.2f (target: 5 or more)\n",
                pillowMedian, pillowMedian / sheetMedian);
    std::printf(
        "sheets: vostrel-sheet %llu bytes, Pillow %llu bytes in %d sheets: %+.2f %% "
        "(target: at most +2 %%)\n",
        static_cast<unsigned long long>(sheetBytes), static_cast<unsigned long long>(pillowBytes),
        pillowSheets,
        100.0 * (static_cast<double>(sheetBytes) / static_cast<double>(pillowBytes) - 1.0));
  }
  fs::remove_all(root);
  return 0;
}
