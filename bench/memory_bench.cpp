// Peak memory of the converter on large and hostile inputs: writes the inputs into a scratch
// directory, converts each in a child process and reports the child's peak resident set next
// to the input's size and its largest frame plane. A benchmark to read, not a test: it fails
// only when a conversion cannot be run at all.
//
// usage: memory_bench VOSTREL_EXE CORPUS_DIR SCRATCH_DIR

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "support/art_writer.hpp"

namespace {

namespace fs = std::filesystem;
using vostrel::bench::Human;
using vostrel::test::ArtFrameSpec;
using vostrel::test::ArtSpec;
using vostrel::test::Bytes;

struct Sample {
  std::string name;
  std::uintmax_t inputBytes = 0;
  std::uint64_t planeBytes = 0;
  long peakKiB = 0;
  int status = 0;
};

// The largest width x height among a loadable file's frames (0 when it has none), read from its
// frame-header table the way the loader lays it out.
std::uint64_t LargestPlane(const Bytes& art) {
  if (art.size() < 132) {
    return 0;
  }
  const auto word = [&art](std::size_t offset) {
    return static_cast<std::int32_t>(vostrel::test::GetLe32(art, offset));
  };
  std::size_t palettes = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    if (word(12 + 4 * k) != 0) {
      palettes = k + 1;
    }
  }
  const std::int32_t flags = word(0);
  const std::int64_t frameCount = word(32);
  const std::int64_t frames = (flags == 0 || flags == 2) ? 8 * frameCount : frameCount;
  const std::size_t table = 132 + palettes * 1024;
  if (frames < 0 || table + static_cast<std::uint64_t>(frames) * 28 > art.size()) {
    return 0;
  }
  std::uint64_t largest = 0;
  for (std::int64_t n = 0; n < frames; ++n) {
    const std::size_t at = table + static_cast<std::size_t>(n) * 28;
    const std::int64_t pixels = std::int64_t{word(at)} * word(at + 4);
    if (word(at) >= 0 && word(at + 4) >= 0 && pixels <= INT32_MAX) {
      largest = std::max(largest, static_cast<std::uint64_t>(pixels));
    }
  }
  return largest;
}

// A file of sixteen 2048 x 2048 frames, raw and run-length in turn: 4 MiB planes, about 40 MiB.
Bytes LargeValid() {
  ArtSpec sprite = vostrel::test::OneFrameLayout(1, {});
  for (int n = 0; n < 16; ++n) {
    Bytes pixels = vostrel::test::MakePixels(2048, 2048, static_cast<std::uint8_t>(n));
    if (n % 2 == 1) {
      std::fill(pixels.begin(), pixels.begin() + static_cast<std::ptrdiff_t>(pixels.size() / 2),
                static_cast<std::uint8_t>(n));
      sprite.frames.emplace_back(2048, 2048, vostrel::test::EncodeRle(pixels));
    } else {
      sprite.frames.emplace_back(2048, 2048, std::move(pixels));
    }
  }
  return vostrel::test::WriteArt(sprite);
}

std::vector<std::pair<std::string, Bytes>> Inputs(const fs::path& corpus) {
  std::vector<std::pair<std::string, Bytes>> inputs;
  const Bytes valid = LargeValid();
  inputs.emplace_back("large_valid.art", valid);
  // The same file cut 1000 bytes short: its frames still fit the file's size, so it loads and
  // the missing bytes read as zeros.
  inputs.emplace_back("large_tail_cut.art", Bytes(valid.begin(), valid.end() - 1000));
  // The same file cut halfway: its frames now announce more data than it holds, so it is refused.
  inputs.emplace_back(
      "large_half_cut.art",
      Bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(valid.size() / 2)));
  // The same file with its last frame announcing more data than the whole file holds.
  Bytes excess = valid;
  const std::size_t lastSize = 132 + 1024 + 15 * 28 + 8;
  for (std::size_t i = 0; i < 4; ++i) {
    excess[lastSize + i] = 0xFF;
  }
  excess[lastSize + 3] = 0x7F;
  inputs.emplace_back("large_excess.art", excess);
  // A few bytes of stream announcing one 8192 x 8192 picture: memory is that one plane.
  inputs.emplace_back("tiny_big_plane.art", vostrel::test::WriteArt(vostrel::test::OneFrameLayout(
                                                1, {ArtFrameSpec(8192, 8192, Bytes{0x7F, 0x01})})));
  // The largest damaged files kept with the tests.
  std::vector<std::pair<std::uintmax_t, fs::path>> damaged;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() == ".art") {
      damaged.emplace_back(entry.file_size(), entry.path());
    }
  }
  std::sort(damaged.rbegin(), damaged.rend());
  damaged.resize(std::min<std::size_t>(damaged.size(), 4));
  for (const auto& [size, path] : damaged) {
    inputs.emplace_back("corpus/" + path.filename().string(),
                        vostrel::test::ReadFile(path.string()));
  }
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == vostrel::bench::kMeasureFlag) {
    return vostrel::bench::MeasureChild(argc - 2, argv + 2);
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s VOSTREL_EXE CORPUS_DIR SCRATCH_DIR\n", argv[0]);
    return 2;
  }
  const std::string exe = fs::absolute(argv[1]).string();
  const fs::path scratch = fs::absolute(argv[3]);
  fs::create_directories(scratch);

  std::vector<Sample> samples;
  Sample baseline{"(no file: usage only)"};
  if (!vostrel::bench::Measure({exe}, "/dev/null", baseline.peakKiB, baseline.status)) {
    std::fprintf(stderr, "cannot run %s\n", exe.c_str());
    return 1;
  }
  samples.push_back(baseline);
  for (const auto& [name, bytes] : Inputs(argv[2])) {
    const fs::path dir = scratch / fs::path(name).stem();
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path input = dir / fs::path(name).filename();
    vostrel::test::WriteFile(input.string(), bytes);
    Sample sample{name, bytes.size(), LargestPlane(bytes)};
    if (!vostrel::bench::Measure({exe, input.string(), dir.string() + "/"}, "/dev/null",
                                 sample.peakKiB, sample.status)) {
      std::fprintf(stderr, "cannot run %s on %s\n", exe.c_str(), name.c_str());
      return 1;
    }
    samples.push_back(sample);
    fs::remove_all(dir);  // the BMPs of the large files take room
  }

  std::printf("%-36s %11s %11s %11s %13s %5s\n", "input", "size", "plane", "peak RSS",
              "peak - base", "exit");
  for (const Sample& s : samples) {
    std::printf("%-36s %11s %11s %11s %13s %5d\n", s.name.c_str(),
                Human(static_cast<double>(s.inputBytes)).c_str(),
                Human(static_cast<double>(s.planeBytes)).c_str(),
                Human(static_cast<double>(s.peakKiB) * 1024.0).c_str(),
                Human(static_cast<double>(s.peakKiB - baseline.peakKiB) * 1024.0).c_str(),
                s.status);
  }
  return 0;
}
