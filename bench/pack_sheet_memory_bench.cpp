// Peak memory of vostrel-pack and vostrel-sheet on inputs that announce far more than they hold,
// against the bounds they keep: vostrel-pack within twice the pixels its inputs can hold plus
// 64 MiB, vostrel-sheet within twice its sheet's pixels plus 64 MiB. Writes the inputs into a
// scratch directory, runs each program on them in a child process and prints its peak resident
// set, its bound and its exit status. A benchmark to read, not a test: it fails only when a
// program cannot be run at all.
//
// usage: pack_sheet_memory_bench VOSTREL_EXE VOSTREL_PACK_EXE VOSTREL_SHEET_EXE SCRATCH_DIR

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "formats/png/png_format.hpp"
#include "support/art_writer.hpp"
#include "support/picture_writer.hpp"

namespace {

namespace fs = std::filesystem;
using vostrel::bench::Human;
using vostrel::test::Bytes;

constexpr std::uint64_t kSlack = std::uint64_t{64} << 20;
// The frames of the sprite that is packed: four pictures of one 32 x 32 frame, one palette.
constexpr int kPictures = 4;
constexpr int kSide = 32;

// The pixels that a file can hold: a PNG's whole rows that its image data can unpack to, no more
// than its header announces; any other file (BMP, .art) a pixel a byte, at most.
std::uint64_t PixelsItCanHold(const Bytes& file) {
  const std::optional<vostrel::PngHeader> header = vostrel::ReadPngHeader(file);
  if (!header) {
    return file.size();
  }
  const std::optional<std::uint64_t> rowBytes =
      vostrel::PngRowBytes({header->width, 1, header->bitDepth, header->colourType, 0});
  if (!rowBytes || *rowBytes == 0) {
    return 0;
  }
  const std::uint64_t rows =
      vostrel::MostUnpackedFrom(vostrel::PngImageDataBytes(file)) / *rowBytes;
  return std::uint64_t{header->width} * std::min<std::uint64_t>(header->height, rows);
}

std::uint64_t PixelsTheyCanHold(const std::vector<fs::path>& inputs) {
  std::uint64_t total = 0;
  for (const fs::path& input : inputs) {
    if (fs::is_directory(input)) {
      for (const auto& entry : fs::directory_iterator(input)) {
        total += PixelsItCanHold(vostrel::test::ReadFile(entry.path().string()));
      }
    } else {
      total += PixelsItCanHold(vostrel::test::ReadFile(input.string()));
    }
  }
  return total;
}

// A PNG of width x height of the colour type whose image data holds one row of zeros, its
// palette all black when it is indexed (colour type 3), 8 bits a sample.
Bytes OneRowPng(std::uint32_t width, std::uint32_t height, int colourType, int samples) {
  const Bytes row(1 + std::size_t{width} * static_cast<std::size_t>(samples), 0);
  return vostrel::test::WritePngRows(static_cast<std::int32_t>(width),
                                     static_cast<std::int32_t>(height), 8, colourType, row,
                                     colourType == 3 ? Bytes(768, 0) : Bytes{});
}

struct Run {
  std::string name;
  std::vector<std::string> command;
  std::uint64_t pixels = 0;  // what the bound is twice of
  long peakKiB = 0;
  int status = 0;
  std::string said = {};  // the first line it printed
};

std::string FirstLine(const fs::path& path) {
  const Bytes text = vostrel::test::ReadFile(path.string());
  const std::string all(text.begin(), text.end());
  return all.substr(0, all.find('\n'));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == vostrel::bench::kMeasureFlag) {
    return vostrel::bench::MeasureChild(argc - 2, argv + 2);
  }
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s VOSTREL_EXE VOSTREL_PACK_EXE VOSTREL_SHEET_EXE SCRATCH_DIR\n",
                 argv[0]);
    return 2;
  }
  const std::string vostrel = fs::absolute(argv[1]).string();
  const std::string pack = fs::absolute(argv[2]).string();
  const std::string sheet = fs::absolute(argv[3]).string();
  const fs::path scratch = fs::absolute(argv[4]);
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  const auto at = [&scratch](const std::string& name) { return (scratch / name).string(); };
  const auto write = [&](const std::string& name, const Bytes& bytes) {
    fs::create_directories(fs::path(at(name)).parent_path());
    vostrel::test::WriteFile(at(name), bytes);
  };

  // The sprite, its pictures and its sheets, as the programs make them.
  std::vector<vostrel::test::ArtFrameSpec> frames;
  for (int p = 0; p < kPictures; ++p) {
    frames.emplace_back(kSide, kSide,
                        vostrel::test::MakePixels(kSide, kSide, static_cast<std::uint8_t>(p)));
  }
  const vostrel::test::ArtSpec sprite = vostrel::test::OneFrameLayout(1, frames);
  write("s.art", vostrel::test::WriteArt(sprite));
  long ignoredPeak = 0;
  int status = 0;
  for (const auto& [program, destination] : {std::pair{vostrel, "pics/"}, {sheet, "sheets"}}) {
    if (!vostrel::bench::Measure({program, at("s.art"), at(destination)}, "/dev/null", ignoredPeak,
                                 status) ||
        status != 0) {
      std::fprintf(stderr, "cannot make the inputs with %s\n", program.c_str());
      return 1;
    }
  }
  // The same directories with one picture or every sheet announcing a size its data cannot
  // hold: one row of data.
  for (const char* dir : {"pics-rgb", "pics-indexed", "pics-large"}) {
    fs::copy(at("pics"), at(dir));
  }
  write("pics-rgb/s_0_0_0.png", OneRowPng(30000, 30000, 2, 3));
  write("pics-indexed/s_0_0_0.png", OneRowPng(30000, 30000, 3, 1));
  // A picture that holds all its pixels: 2048 x 2048 in the palette's colours.
  const Bytes large = vostrel::test::MakePixels(2048, 2048, 9);
  write("pics-large/s_0_0_0.png",
        vostrel::test::WritePng(2048, 2048, 3, vostrel::test::Colours(large, sprite.palettes[0])));
  fs::copy(at("sheets"), at("sheets-hollow"));
  const Bytes manifest = vostrel::test::ReadFile(at("sheets-hollow/s.json"));
  std::string text(manifest.begin(), manifest.end());
  const std::string sizeKey = "\"size\": {";
  const std::size_t sizeAt = text.find(sizeKey);
  text.replace(sizeAt, text.find('}', sizeAt) + 1 - sizeAt,
               sizeKey + "\"w\": 40000, \"h\": 40000}");
  write("sheets-hollow/s.json", Bytes(text.begin(), text.end()));
  write("sheets-hollow/s_0.png", OneRowPng(40000, 40000, 3, 1));
  // For vostrel-sheet: a few bytes of stream announcing one 16384 x 16384 frame.
  write("big.art", vostrel::test::WriteArt(vostrel::test::OneFrameLayout(
                       1, {vostrel::test::ArtFrameSpec(16384, 16384, Bytes{0x7F, 0x01})})));

  std::vector<Run> runs;
  const auto packRun = [&](const std::string& name, const std::string& from) {
    runs.push_back({name,
                    {pack, at("s.art"), at(from), at("out.art")},
                    PixelsTheyCanHold({at("s.art"), fs::path(at(from)).extension() == ".json"
                                                        ? fs::path(at(from)).parent_path()
                                                        : fs::path(at(from))})});
  };
  packRun("vostrel-pack, sheets as made", "sheets/s.json");
  packRun("vostrel-pack, sheet of 40000 x 40000 in 1 row", "sheets-hollow/s.json");
  packRun("vostrel-pack, RGB picture 30000 x 30000 in 1 row", "pics-rgb");
  packRun("vostrel-pack, indexed picture 30000^2 in 1 row", "pics-indexed");
  packRun("vostrel-pack, RGB picture of 2048 x 2048", "pics-large");
  runs.push_back(
      {"vostrel-sheet, 16384 x 16384 from 2 bytes", {sheet, at("big.art"), at("big-sheets")}});

  for (Run& run : runs) {
    fs::remove(at("out.art"));
    const std::string log = at("run.log");
    if (!vostrel::bench::Measure(run.command, log, run.peakKiB, run.status)) {
      std::fprintf(stderr, "cannot run %s\n", run.command.front().c_str());
      return 1;
    }
    run.said = FirstLine(log);
    if (run.command.front() == sheet) {
      // Its bound is of the sheet it wrote.
      const auto header =
          vostrel::ReadPngHeader(vostrel::test::ReadFile(at("big-sheets/big_0.png")));
      run.pixels = header ? std::uint64_t{header->width} * header->height : 0;
      fs::remove_all(at("big-sheets"));
    }
  }

  std::printf("%-48s %12s %11s %11s %5s  %s\n", "input", "pixels", "bound", "peak RSS", "exit",
              "first line");
  for (const Run& run : runs) {
    const std::uint64_t bound = 2 * run.pixels + kSlack;
    const auto peak = static_cast<std::uint64_t>(run.peakKiB) * 1024;
    std::printf("%-48s %12llu %11s %11s %5d  %s%s\n", run.name.c_str(),
                static_cast<unsigned long long>(run.pixels),
                Human(static_cast<double>(bound)).c_str(), Human(static_cast<double>(peak)).c_str(),
                run.status, peak > bound ? "OVER ITS BOUND; " : "",
                run.said.substr(0, 120).c_str());
  }
  std::printf(
      "pixels: what the inputs can hold (a PNG's whole rows its data can unpack to; any "
      "other file a pixel a byte); bound: twice that plus 64 MiB\n");
  fs::remove_all(scratch);
  return 0;
}
