// Peak memory of vostrel-sheet on damaged files of a few kilobytes that ask for sheets of
// hundreds of millions of pixels: each is made in a child process, and its peak resident set is
// printed against the bound that vostrel-sheet keeps, twice its sheet's pixels plus 64 MiB (the
// sheet's rows, and room for its compressed form and everything else). A benchmark to read: it
// fails only when a file cannot be made or a peak passes its bound. It needs about 2 GB of memory.
//
// usage: sheet_memory_bench VOSTREL_SHEET_EXE SCRATCH_DIR

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "support/art_writer.hpp"

namespace {

namespace fs = std::filesystem;
using vostrel::test::ArtFrameSpec;
using vostrel::test::ArtSpec;
using vostrel::test::Bytes;

// The PNG header's width and height (IHDR's first two fields, big-endian, after the 8-byte
// signature and the chunk's length and type).
constexpr std::size_t kIhdrWidthAt = 16;
constexpr std::size_t kIhdrHeightAt = 20;
constexpr double kSlackBytes = 64.0 * 1024 * 1024;

struct Input {
  std::string name;
  Bytes art;
  std::vector<std::string> options;
};

std::uint32_t Be32(const Bytes& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) << 24U |
         static_cast<std::uint32_t>(bytes[at + 1]) << 16U |
         static_cast<std::uint32_t>(bytes[at + 2]) << 8U | bytes[at + 3];
}

std::vector<Input> Inputs() {
  std::vector<Input> inputs;
  // Three pictures of one frame, two palettes; a frame of 67108865 x 2 pixels whose three bytes
  // of run-length stream decode to zeros after them, among small ones, with no padding: a sheet
  // of 67108865 x 24 pixels (1.6 billion) from 2.3 kB.
  ArtSpec wide =
      vostrel::test::OneFrameLayout(2, {ArtFrameSpec(67108865, 2, Bytes{0x02, 0x07, 0x85}),
                                        ArtFrameSpec(9, 8, vostrel::test::MakePixels(68, 1, 1)),
                                        ArtFrameSpec(5, 2, vostrel::test::MakePixels(11, 1, 2))});
  inputs.push_back({"wide_frame.art", vostrel::test::WriteArt(wide), {"--padding", "0"}});
  // Eight pictures of one frame, one palette; one frame of 9 x 8388613 pixels from 45 bytes of
  // stream: a sheet of 11 x 67108913 pixels (738 million) from 1.6 kB.
  ArtSpec tall;
  tall.flags = 0;
  tall.palettePresent[0] = 1;
  tall.palettes.push_back(vostrel::test::MakePalette(3));
  const std::int32_t sizes[8][3] = {{9, 6, 52},       {2, 9, 19}, {2, 6, 13}, {5, 9, 42},
                                    {9, 8388613, 45}, {8, 4, 33}, {2, 5, 11}, {6, 5, 30}};
  for (std::uint8_t n = 0; n < 8; ++n) {
    const auto [width, height, size] = sizes[n];
    tall.frames.emplace_back(width, height, vostrel::test::MakePixels(size, 1, n));
  }
  inputs.push_back({"tall_frame.art", vostrel::test::WriteArt(tall), {}});
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s VOSTREL_SHEET_EXE SCRATCH_DIR\n", argv[0]);
    return 2;
  }
  const std::string exe = fs::absolute(argv[1]).string();
  const fs::path scratch = fs::absolute(argv[2]);
  bool withinBounds = true;
  std::printf("%-16s %9s %22s %11s %11s %11s %5s\n", "input", "size", "sheet", "peak RSS", "bound",
              "seconds", "exit");
  for (const Input& input : Inputs()) {
    const fs::path dir = scratch / fs::path(input.name).stem();
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path art = dir / input.name;
    vostrel::test::WriteFile(art.string(), input.art);
    std::vector<std::string> command{exe};
    command.insert(command.end(), input.options.begin(), input.options.end());
    command.insert(command.end(), {art.string(), (dir / "out").string()});
    const vostrel::bench::ChildRun run =
        vostrel::bench::RunChild(command, (dir / "console.txt").string());
    const fs::path sheet = dir / "out" / (fs::path(input.name).stem().string() + "_0.png");
    if (!run.started || run.status != 0 || !fs::exists(sheet)) {
      std::fprintf(stderr, "%s: vostrel-sheet did not make it (status %d); see %s\n",
                   input.name.c_str(), run.status, (dir / "console.txt").c_str());
      return 1;
    }
    const Bytes png = vostrel::test::ReadFile(sheet.string());
    const std::uint32_t width = Be32(png, kIhdrWidthAt);
    const std::uint32_t height = Be32(png, kIhdrHeightAt);
    const double pixels = static_cast<double>(width) * height;
    const double bound = 2.0 * pixels + kSlackBytes;
    const double peak = static_cast<double>(run.peakKiB) * 1024.0;
    withinBounds = withinBounds && peak <= bound;
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    std::printf("%-16s %9s %22s %11s %11s %11.1f %5d%s\n", input.name.c_str(),
                vostrel::bench::Human(static_cast<double>(input.art.size())).c_str(), size.c_str(),
                vostrel::bench::Human(peak).c_str(), vostrel::bench::Human(bound).c_str(),
                run.seconds, run.status, peak <= bound ? "" : "  OVER ITS BOUND");
    fs::remove_all(dir);
  }
  return withinBounds ? 0 : 1;
}
