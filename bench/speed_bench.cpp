// How close the converter comes to the floor of its job. It generates a deterministic corpus of
// sprite files, converts it in batch mode, and times in alternating rounds, each into a fresh
// directory:
//   (a) the converter, console to /dev/null;
//   (b) the converter, console to a file;
//   (c) the floor: the same BMP files (names and bytes) written from memory, one open, write and
//       close each;
//   (d) the floor plus the console lines the converter must flush, one write a line;
//   (e) the converter pinned to one CPU;
//   (f) the floor plus console split over one process per usable CPU, each taking every n-th
//       BMP with its console lines, all started together once loaded.
// It prints median times, throughput, the ratios of converter to floor and the converter's
// peak resident memory. A benchmark to read, not a test: it fails only when a run cannot be
// made or its output differs from the first conversion's. Linux only.
//
// usage: speed_bench VOSTREL_EXE [--rounds N] [--files N] [--scratch DIR] [--keep]
// --keep leaves the corpus and the reference output in the scratch directory, for profiling.

#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench_support.hpp"
#include "support/art_writer.hpp"

namespace {

namespace fs = std::filesystem;
using vostrel::bench::ChildRun;
using vostrel::bench::Human;
using vostrel::test::ArtSpec;
using vostrel::test::Bytes;

constexpr int kPictures = vostrel::bench::kCorpusPictures;
constexpr std::string_view kSavingLine = "Saving BMP";

struct Corpus {
  std::vector<std::string> bmpNames;  // in the order the converter writes them
  std::uint64_t largestArt = 0;
  std::uint64_t largestPlane = 0;
  int rawFrames = 0;
  int rleFrames = 0;
};

// The corpus's sprite files in dir, run-length and raw frames in turn.
Corpus WriteCorpus(const fs::path& dir, int files) {
  Corpus corpus;
  const std::vector<vostrel::bench::CorpusSprite> sprites = vostrel::bench::CorpusSprites(files);
  for (std::size_t f = 0; f < sprites.size(); ++f) {
    const vostrel::bench::CorpusSprite& source = sprites[f];
    char name[32];
    std::snprintf(name, sizeof name, "sprite%03zu", f);
    ArtSpec sprite;
    sprite.flags = 0;
    for (int k = 0; k < source.palettes; ++k) {
      sprite.palettePresent[static_cast<std::size_t>(k)] = 1;
      sprite.palettes.push_back(
          vostrel::test::MakePalette(static_cast<std::uint8_t>(f + static_cast<std::size_t>(k))));
    }
    for (std::size_t n = 0; n < source.frames.size(); ++n) {
      const vostrel::bench::CorpusFrame& frame = source.frames[n];
      corpus.largestPlane = std::max<std::uint64_t>(corpus.largestPlane, frame.pixels.size());
      if (n % 2 == 0) {
        Bytes stream = vostrel::test::EncodeRle(frame.pixels);
        (stream.size() == frame.pixels.size() ? corpus.rawFrames : corpus.rleFrames) += 1;
        sprite.frames.emplace_back(frame.width, frame.height, std::move(stream));
      } else {
        ++corpus.rawFrames;
        sprite.frames.emplace_back(frame.width, frame.height, frame.pixels);
      }
    }
    const Bytes art = vostrel::test::WriteArt(sprite);
    corpus.largestArt = std::max<std::uint64_t>(corpus.largestArt, art.size());
    vostrel::test::WriteFile((dir / (std::string(name) + ".art")).string(), art);
    for (int i = 0; i < kPictures; ++i) {
      for (int j = 0; j < source.framesPerPicture; ++j) {
        for (int k = 0; k < source.palettes; ++k) {
          corpus.bmpNames.push_back(std::string(name) + "_" + std::to_string(i) + "_" +
                                    std::to_string(j) + "_" + std::to_string(k) + ".bmp");
        }
      }
    }
  }
  return corpus;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, bytes, size);
    if (written <= 0) {
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) {
    return false;
  }
  const bool written = WriteAll(fd, bytes.data(), bytes.size());
  return (close(fd) == 0) && written;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    lines.push_back(line);
  }
  return lines;
}

// Memory for everything the floor writes, in one mapping that asks for huge pages. Where every
// system call flushes the TLB (page-table isolation without PCID, common on virtual machines),
// the kernel must walk the page tables again for each page a write reads; spread over some
// 20,000 small pages that alone can double the floor, while the converter writes every file
// from the same few pages of one reused buffer. Huge pages make the floor a floor again.
class Arena {
 public:
  explicit Arena(std::size_t size) : size_(std::max<std::size_t>(size, 1)) {
    void* mapped = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
      throw std::bad_alloc();
    }
    data_ = static_cast<std::uint8_t*>(mapped);
    madvise(data_, size_, MADV_HUGEPAGE);
  }
  ~Arena() { munmap(data_, size_); }
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // The next size bytes, filled from the file at path.
  std::span<const std::uint8_t> Take(const std::string& path, std::size_t size) {
    std::ifstream file(path, std::ios::binary);
    const std::span<std::uint8_t> bytes(data_ + used_, size);
    if (used_ + size > size_ ||
        !file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
      throw std::runtime_error("cannot read " + path);
    }
    used_ += size;
    return bytes;
  }

 private:
  std::size_t size_;
  std::size_t used_ = 0;
  std::uint8_t* data_ = nullptr;
};

// Which BMPs a floor process writes: those whose place in the conversion's order is share modulo
// count, each with the console lines from its "Saving BMP" line to the next file's (the lines
// before the first file go with share 0).
struct FloorShare {
  std::size_t share = 0;
  std::size_t count = 1;
  bool Takes(std::size_t file) const { return file % count == share; }
};

// The floor writer, run in a process of its own so that the driver stays small: loads the
// reference BMPs of its share, then times writing them into dest, with the console lines to
// consoleOut when one is given (each line as the converter flushes it, the file before its
// "Saving BMP" line). A share of several waits after loading for a byte (or the end) on standard
// input, so that all shares start together, and prints its start and end on the steady clock.
int RunFloor(const std::string& manifest, const fs::path& refDir, const fs::path& dest,
             const std::string& consoleRef, const std::string& consoleOut,
             const FloorShare& part = {}) {
  std::vector<std::string> names;
  {
    const std::vector<std::string> all = ReadLines(manifest);
    for (std::size_t n = 0; n < all.size(); ++n) {
      if (part.Takes(n)) {
        names.push_back(all[n]);
      }
    }
  }
  const bool withConsole = consoleOut != "-";
  std::size_t total = withConsole ? fs::file_size(consoleRef) : 0;
  for (const std::string& name : names) {
    total += fs::file_size(refDir / name);
  }
  Arena arena(total);
  std::vector<std::string> paths;
  std::vector<std::span<const std::uint8_t>> files;
  for (const std::string& name : names) {
    files.push_back(arena.Take((refDir / name).string(), fs::file_size(refDir / name)));
    paths.push_back((dest / name).string());
  }
  std::vector<std::span<const std::uint8_t>> lines;
  int console = -1;
  if (withConsole) {
    const auto text = arena.Take(consoleRef, fs::file_size(consoleRef));
    // Only the lines of this share's files are kept, so the text loaded covers all of them.
    std::size_t start = 0;
    std::size_t file = 0;  // the files whose "Saving BMP" line has been met
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') {
        const auto line = text.subspan(start, i + 1 - start);
        if (std::string_view(reinterpret_cast<const char*>(line.data()), line.size())
                .starts_with(kSavingLine)) {
          ++file;
        }
        if (file == 0 ? part.share == 0 : part.Takes(file - 1)) {
          lines.push_back(line);
        }
        start = i + 1;
      }
    }
    console = open(consoleOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (console < 0) {
      return 1;
    }
  }

  if (part.count > 1) {
    std::printf("ready\n");
    std::fflush(stdout);
    char go = 0;
    if (read(STDIN_FILENO, &go, 1) < 0) {
      return 1;
    }
  }
  bool ok = true;
  std::size_t next = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const auto line : lines) {
    if (next < files.size() &&
        std::string_view(reinterpret_cast<const char*>(line.data()), line.size())
            .starts_with(kSavingLine)) {
      ok = WriteWholeFile(paths[next], files[next]) && ok;
      ++next;
    }
    ok = WriteAll(console, line.data(), line.size()) && ok;
  }
  for (; next < files.size(); ++next) {
    ok = WriteWholeFile(paths[next], files[next]) && ok;
  }
  const auto end = std::chrono::steady_clock::now();
  if (console >= 0) {
    close(console);
  }
  if (part.count > 1) {
    const auto since = [](std::chrono::steady_clock::time_point t) {
      return std::chrono::duration<double>(t.time_since_epoch()).count();
    };
    std::printf("%.9f %.9f\n", since(start), since(end));
  } else {
    std::printf("%.9f\n", std::chrono::duration<double>(end - start).count());
  }
  return ok ? 0 : 1;
}

// The floor split over count processes, started together once all have loaded their shares:
// seconds from the first start to the last end, or nothing when a share failed.
std::optional<double> RunSplitFloor(const std::string& self, const std::string& manifest,
                                    const fs::path& refDir, const fs::path& dest,
                                    const std::string& consoleRef, const std::string& consoleOut,
                                    std::size_t count) {
  int go[2];
  if (pipe(go) != 0) {
    return std::nullopt;
  }
  struct Child {
    pid_t pid = -1;
    std::FILE* out = nullptr;
  };
  std::vector<Child> children;
  bool ok = true;
  for (std::size_t share = 0; share < count && ok; ++share) {
    const std::vector<std::string> command{self,
                                           "--floor",
                                           manifest,
                                           refDir.string(),
                                           dest.string(),
                                           consoleRef,
                                           consoleOut,
                                           std::to_string(share),
                                           std::to_string(count)};
    std::vector<char*> argv;
    for (const std::string& arg : command) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) {
      ok = false;
      break;
    }
    const pid_t pid = fork();
    if (pid == 0) {
      close(go[1]);
      close(out[0]);
      if (dup2(go[0], STDIN_FILENO) < 0 || dup2(out[1], STDOUT_FILENO) < 0) {
        _exit(127);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    if (pid < 0) {
      close(out[0]);
      ok = false;
      break;
    }
    children.push_back({pid, fdopen(out[0], "r")});
  }
  close(go[0]);
  char line[128];
  for (const Child& child : children) {
    ok = ok && child.out != nullptr && std::fgets(line, sizeof line, child.out) != nullptr;
  }
  close(go[1]);  // every share has loaded: all go at once
  double first = 0;
  double last = 0;
  for (std::size_t n = 0; n < children.size(); ++n) {
    double start = 0;
    double end = 0;
    ok = ok && children[n].out != nullptr &&
         std::fscanf(children[n].out, "%lf %lf", &start, &end) == 2;
    first = (n == 0) ? start : std::min(first, start);
    last = std::max(last, end);
    if (children[n].out != nullptr) {
      std::fclose(children[n].out);
    }
    int status = 0;
    ok = waitpid(children[n].pid, &status, 0) == children[n].pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0 && ok;
  }
  if (!ok || children.size() != count) {
    return std::nullopt;
  }
  return last - first;
}

// Times the converter in batch mode from a process as small as this one can be, and prints
// seconds, peak KiB and exit status. With cpus "one" it runs on the first CPU it may use alone,
// as `taskset -c N` would, so the converter finds a single CPU to work on.
int RunConverter(const std::string& exe, const std::string& workDir, const std::string& dest,
                 const std::string& output, const std::string& cpus) {
  if (cpus == "one") {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0) {
      return 1;
    }
    std::size_t first = 0;
    while (!CPU_ISSET(first, &allowed)) {
      ++first;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    if (sched_setaffinity(0, sizeof(one), &one) != 0) {
      return 1;
    }
  }
  const ChildRun run = vostrel::bench::RunChild({exe, "*", dest}, output, workDir);
  if (!run.started) {
    return 1;
  }
  std::printf("%.9f %ld %d\n", run.seconds, run.peakKiB, run.status);
  return 0;
}

bool SameFile(const fs::path& a, const fs::path& b) {
  return vostrel::test::ReadFile(a.string()) == vostrel::test::ReadFile(b.string());
}

// Whether dir holds exactly the reference BMPs, byte for byte.
bool SameOutput(const fs::path& dir, const fs::path& refDir,
                const std::vector<std::string>& names) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) {
    ++count;
  }
  return count == names.size() &&
         std::all_of(names.begin(), names.end(),
                     [&](const std::string& name) { return SameFile(dir / name, refDir / name); });
}

enum class Mode {
  kConverterNull,
  kConverterFile,
  kFloor,
  kFloorConsole,
  kConverterOneCpu,
  kSplitFloorConsole
};
constexpr std::array<Mode, 6> kModes{Mode::kConverterNull,   Mode::kConverterFile,
                                     Mode::kFloor,           Mode::kFloorConsole,
                                     Mode::kConverterOneCpu, Mode::kSplitFloorConsole};
constexpr std::array<const char*, 6> kModeNames{"(a) converter, console to /dev/null",
                                                "(b) converter, console to a file",
                                                "(c) floor: the files alone",
                                                "(d) floor + console to /dev/null",
                                                "(e) converter on one CPU, to /dev/null",
                                                "(f) floor + console, a process per CPU"};

// The CPUs this process may run on, which the converter's batch mode uses as its workers.
int UsableCpus() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  return sched_getaffinity(0, sizeof(allowed), &allowed) == 0 ? CPU_COUNT(&allowed) : 1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

fs::path DefaultScratch() {
  std::error_code error;
  // A RAM-backed file system keeps the disk's speed out of the comparison.
  if (fs::is_directory("/dev/shm", error) && access("/dev/shm", W_OK) == 0) {
    return "/dev/shm";
  }
  return fs::temp_directory_path();
}

struct Options {
  std::string exe;
  int rounds = 9;
  int files = 40;
  fs::path scratch;
  bool keep = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  if (argc < 2) {
    return false;
  }
  options.exe = fs::absolute(argv[1]).string();
  options.scratch = DefaultScratch();
  for (int i = 2; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--keep") {
      options.keep = true;
      continue;
    }
    if (i + 1 == argc) {
      return false;
    }
    const char* const value = argv[++i];
    if (name == "--rounds") {
      options.rounds = std::atoi(value);
    } else if (name == "--files") {
      options.files = std::atoi(value);
    } else if (name == "--scratch") {
      options.scratch = fs::absolute(value);
    } else {
      return false;
    }
  }
  return options.rounds > 0 && options.files > 0;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "speed_bench: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 7 && std::string(argv[1]) == "--converter") {
    return RunConverter(argv[2], argv[3], argv[4], argv[5], argv[6]);
  }
  if (argc == 7 && std::string(argv[1]) == "--floor") {
    return RunFloor(argv[2], argv[3], argv[4], argv[5], argv[6]);
  }
  if (argc == 9 && std::string(argv[1]) == "--floor") {
    const FloorShare part{static_cast<std::size_t>(std::atol(argv[7])),
                          static_cast<std::size_t>(std::atol(argv[8]))};
    if (part.count == 0 || part.share >= part.count) {
      return 2;
    }
    return RunFloor(argv[2], argv[3], argv[4], argv[5], argv[6], part);
  }
  // Only the corpus, for the comparison with the WebAssembly build (web/bench.mjs).
  if (argc == 4 && std::string(argv[1]) == "--write-corpus") {
    fs::create_directories(argv[2]);
    WriteCorpus(argv[2], std::atoi(argv[3]));
    return 0;
  }
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s VOSTREL_EXE [--rounds N] [--files N] [--scratch DIR] [--keep]\n"
                 "       %s --write-corpus DIR FILES\n",
                 argv[0], argv[0]);
    return 2;
  }

  const fs::path root = options.scratch / ("vostrel-speed-" + std::to_string(getpid()));
  const fs::path corpusDir = root / "corpus";
  const fs::path refDir = root / "reference";
  const std::string manifest = (root / "manifest.txt").string();
  const std::string consoleRef = (root / "reference-console.txt").string();
  fs::remove_all(root);
  fs::create_directories(corpusDir);

  const Corpus corpus = WriteCorpus(corpusDir, options.files);
  {
    std::ofstream list(manifest);
    for (const std::string& name : corpus.bmpNames) {
      list << name << '\n';
    }
  }

  const std::string self = vostrel::bench::SelfPath();
  // One run beforehand: the reference every later run must reproduce, and the console lines
  // that the floor writes.
  const ChildRun reference = vostrel::bench::RunChild({options.exe, "*", refDir.string() + "/"},
                                                      consoleRef, corpusDir.string());
  if (!reference.started || reference.status != 0) {
    return Fail("the reference conversion failed; its console output is in " + consoleRef);
  }
  if (!SameOutput(refDir, refDir, corpus.bmpNames)) {
    return Fail("the reference conversion did not write the expected BMP files");
  }
  std::uint64_t outputBytes = 0;
  for (const std::string& name : corpus.bmpNames) {
    outputBytes += fs::file_size(refDir / name);
  }
  std::size_t consoleLines = 0;
  {
    const Bytes console = vostrel::test::ReadFile(consoleRef);
    consoleLines = static_cast<std::size_t>(std::count(console.begin(), console.end(), '\n'));
  }

  const int cpus = UsableCpus();
  std::array<std::vector<double>, kModes.size()> times;
  long peakKiB = 0;
  for (int round = 0; round < options.rounds; ++round) {
    for (std::size_t m = 0; m < kModes.size(); ++m) {
      // Each round starts with another mode, so that none always follows the same one.
      const std::size_t index = (m + static_cast<std::size_t>(round)) % kModes.size();
      const Mode mode = kModes[index];
      const fs::path dest = root / ("run-" + std::to_string(round) + "-" + std::to_string(index));
      const std::string consoleFile = dest.string() + "-console.txt";
      fs::create_directories(dest);
      const bool converter = mode == Mode::kConverterNull || mode == Mode::kConverterFile ||
                             mode == Mode::kConverterOneCpu;
      const std::string consoleTarget = (mode == Mode::kConverterFile) ? consoleFile
                                        : (mode == Mode::kFloor)       ? std::string("-")
                                                                       : std::string("/dev/null");
      std::optional<std::string> printed;
      if (converter) {
        printed = vostrel::bench::Capture({self, "--converter", options.exe, corpusDir.string(),
                                           dest.string() + "/", consoleTarget,
                                           mode == Mode::kConverterOneCpu ? "one" : "all"});
      } else if (mode == Mode::kSplitFloorConsole) {
        if (const auto seconds = RunSplitFloor(self, manifest, refDir, dest, consoleRef,
                                               consoleTarget, static_cast<std::size_t>(cpus))) {
          printed = std::to_string(*seconds);
        }
      } else {
        printed = vostrel::bench::Capture(
            {self, "--floor", manifest, refDir.string(), dest.string(), consoleRef, consoleTarget});
      }
      if (!printed) {
        return Fail(std::string("could not run ") + kModeNames[index]);
      }
      std::istringstream fields(*printed);
      double seconds = 0;
      long kib = 0;
      int status = 0;
      fields >> seconds;
      if (converter) {
        fields >> kib >> status;
        if (status != 0) {
          return Fail(std::string(kModeNames[index]) + " exited with status " +
                      std::to_string(status));
        }
        peakKiB = std::max(peakKiB, kib);
      }
      if (!fields || !SameOutput(dest, refDir, corpus.bmpNames)) {
        return Fail(std::string(kModeNames[index]) + " did not reproduce the reference BMPs");
      }
      if (mode == Mode::kConverterFile && !SameFile(consoleFile, consoleRef)) {
        return Fail("the console output differs from the reference conversion's");
      }
      times[index].push_back(seconds);
      fs::remove_all(dest);
      fs::remove(consoleFile);
    }
  }

  const auto bmps = static_cast<double>(corpus.bmpNames.size());
  std::printf(
      "vostrel speed benchmark: %u cores, %d usable (the converter's workers), scratch %s\n",
      std::thread::hardware_concurrency(), cpus, options.scratch.c_str());
  std::printf(
      "corpus: %d .art files, largest %s; %d raw and %d run-length frames, largest "
      "plane %s\n",
      options.files, Human(static_cast<double>(corpus.largestArt)).c_str(), corpus.rawFrames,
      corpus.rleFrames, Human(static_cast<double>(corpus.largestPlane)).c_str());
  std::printf("output: %zu BMPs, %.1f MB, %zu console lines; medians of %d rounds\n\n",
              corpus.bmpNames.size(), static_cast<double>(outputBytes) / 1e6, consoleLines,
              options.rounds);
  std::printf("%-40s %10s %10s %10s %10s %9s\n", "run", "median", "fastest", "slowest", "BMPs/s",
              "MB/s");
  std::array<double, kModes.size()> median{};
  for (std::size_t m = 0; m < kModes.size(); ++m) {
    median[m] = Median(times[m]);
    const auto [fastest, slowest] = std::minmax_element(times[m].begin(), times[m].end());
    std::printf("%-40s %7.1f ms %7.1f ms %7.1f ms %10.0f %9.1f\n", kModeNames[m], median[m] * 1e3,
                *fastest * 1e3, *slowest * 1e3, bmps / median[m],
                static_cast<double>(outputBytes) / 1e6 / median[m]);
  }
  const auto index = [](Mode mode) { return static_cast<std::size_t>(mode); };
  const double perWorker =
      2.0 * static_cast<double>(corpus.largestArt) + static_cast<double>(corpus.largestPlane);
  const double bound = 16.0 * 1024 * 1024 + cpus * perWorker;
  std::printf(
      "\nconverter on all %d CPUs / (floor + console, a process per CPU): %5.2f"
      "  (target <= 1.10)\n",
      cpus, median[index(Mode::kConverterNull)] / median[index(Mode::kSplitFloorConsole)]);
  std::printf(
      "converter on one CPU / (floor + console):                     %5.2f"
      "  (target <= 1.15)\n",
      median[index(Mode::kConverterOneCpu)] / median[index(Mode::kFloorConsole)]);
  std::printf("converter on all %d CPUs / (floor + console):                  %5.2f\n", cpus,
              median[index(Mode::kConverterNull)] / median[index(Mode::kFloorConsole)]);
  std::printf("converter / floor, console to /dev/null:            %5.2f\n",
              median[index(Mode::kConverterNull)] / median[index(Mode::kFloor)]);
  std::printf("converter / floor, console to a file:               %5.2f  (target <= 1.60)\n",
              median[index(Mode::kConverterFile)] / median[index(Mode::kFloor)]);
  std::printf("converter peak resident memory: %s  (target <= %s: 16 MiB + %d x (2 x %s + %s))\n",
              Human(static_cast<double>(peakKiB) * 1024.0).c_str(), Human(bound).c_str(), cpus,
              Human(static_cast<double>(corpus.largestArt)).c_str(),
              Human(static_cast<double>(corpus.largestPlane)).c_str());
  if (options.keep) {
    std::printf("corpus and reference output kept in %s\n", root.c_str());
  } else {
    fs::remove_all(root);
  }
  return 0;
}
