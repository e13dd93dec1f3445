#include "bench_support.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

namespace vostrel::bench {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  return argv;
}

constexpr std::uint8_t kBackground = 0;

}  // namespace

int Random::Between(int low, int high) {
  state_ = state_ * 1664525u + 1013904223u;
  return low + static_cast<int>((state_ >> 8) % static_cast<std::uint32_t>(high - low + 1));
}

std::vector<std::uint8_t> SpritePixels(int width, int height, Random& random) {
  std::vector<std::uint8_t> pixels(
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kBackground);
  const std::int64_t w = width;
  const std::int64_t h = height;
  const int shade = random.Between(0, 23);
  for (std::int64_t y = 0; y < h; ++y) {
    for (std::int64_t x = 0; x < w; ++x) {
      // Inside an ellipse filling seven tenths of the frame's box.
      const std::int64_t dx = 2 * x + 1 - w;
      const std::int64_t dy = 2 * y + 1 - h;
      if (10 * (dx * dx * h * h + dy * dy * w * w) > 7 * w * w * h * h) {
        continue;
      }
      auto value = static_cast<std::uint8_t>(16 + (x / 3 + y / 5 + shade) % 24);
      if (random.Between(0, 10) == 0) {
        value = static_cast<std::uint8_t>(random.Between(64, 95));
      }
      pixels[static_cast<std::size_t>(y * w + x)] = value;
    }
  }
  return pixels;
}

std::vector<CorpusSprite> CorpusSprites(int files) {
  std::vector<CorpusSprite> sprites;
  Random random(20261207);
  for (int f = 0; f < files; ++f) {
    CorpusSprite sprite;
    sprite.framesPerPicture = random.Between(6, 16);
    sprite.palettes = random.Between(1, 4);
    for (int n = 0; n < kCorpusPictures * sprite.framesPerPicture; ++n) {
      CorpusFrame frame;
      frame.width = random.Between(32, 160);
      frame.height = random.Between(32, 160);
      frame.pixels = SpritePixels(frame.width, frame.height, random);
      sprite.frames.push_back(std::move(frame));
    }
    sprites.push_back(std::move(sprite));
  }
  return sprites;
}

ChildRun RunChild(const std::vector<std::string>& command, const std::string& outputPath,
                  const std::string& workDir) {
  ChildRun run;
  // Everything the child needs is prepared before the clock starts.
  std::vector<char*> argv = Argv(command);
  const int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (output < 0) {
    return run;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if (dup2(output, STDOUT_FILENO) < 0 || dup2(output, STDERR_FILENO) < 0 ||
        (!workDir.empty() && chdir(workDir.c_str()) != 0)) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(output);
  if (child < 0) {
    return run;
  }
  int waitStatus = 0;
  rusage usage{};
  if (wait4(child, &waitStatus, 0, &usage) != child) {
    return run;
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.started = !(WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 127);
  run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
  run.peakKiB = usage.ru_maxrss;
  return run;
}

std::optional<std::string> Capture(const std::vector<std::string>& command) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    return std::nullopt;
  }
  std::vector<char*> argv = Argv(command);
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    if (dup2(pipeEnds[1], STDOUT_FILENO) < 0) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string text;
  char chunk[4096];
  ssize_t got = 0;
  while (child > 0 && (got = read(pipeEnds[0], chunk, sizeof chunk)) > 0) {
    text.append(chunk, static_cast<std::size_t>(got));
  }
  close(pipeEnds[0]);
  int waitStatus = 0;
  if (child < 0 || waitpid(child, &waitStatus, 0) != child || !WIFEXITED(waitStatus) ||
      WEXITSTATUS(waitStatus) != 0) {
    return std::nullopt;
  }
  return text;
}

std::string SelfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

int MeasureChild(int argc, char** argv) {
  if (argc < 2) {
    return 1;
  }
  const ChildRun run = RunChild(std::vector<std::string>(argv + 1, argv + argc), argv[0]);
  if (!run.started || run.status < 0) {
    return 1;
  }
  std::printf("%ld %d\n", run.peakKiB, run.status);
  return 0;
}

bool Measure(const std::vector<std::string>& command, const std::string& outputPath, long& peakKiB,
             int& status) {
  std::vector<std::string> measure{SelfPath(), kMeasureFlag, outputPath};
  measure.insert(measure.end(), command.begin(), command.end());
  const auto printed = Capture(measure);
  return printed && std::sscanf(printed->c_str(), "%ld %d", &peakKiB, &status) == 2;
}

std::string Human(double bytes) {
  const char* unit = "B";
  for (const char* next : {"KiB", "MiB", "GiB"}) {
    if (bytes < 1024.0) {
      break;
    }
    bytes /= 1024.0;
    unit = next;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", bytes, unit);
  return text;
}

}  // namespace vostrel::bench
