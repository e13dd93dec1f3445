// Micro-benchmarks of the converter's two inner loops, reported as bytes of output per second:
// decoding a run-length frame, and producing one BMP (in memory, and saved to a file).

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "bench_support.hpp"
#include "io/memory_files.hpp"
#include "platform/platform.hpp"
#include "programs/vostrel/bmp/bmp_file.hpp"
#include "sprite/rle.hpp"
#include "support/art_writer.hpp"
#include "support/rle_reference.hpp"

namespace {

namespace fs = std::filesystem;
using vostrel::test::Bytes;

// The progress the code under measure writes goes nowhere.
// The progress of the code measured goes nowhere.
vostrel::SilentConsole silent;

Bytes Sprite(int side) {
  vostrel::bench::Random random(static_cast<std::uint32_t>(side));
  return vostrel::bench::SpritePixels(side, side, random);
}

void PrepareBmp(vostrel::BmpFile& bmp, int width, int height) {
  bmp.SetPlane(Sprite(width));
  bmp.FillInfoHeader(width, height, 8);
  bmp.SetPalette(0, vostrel::test::MakePalette(1), vostrel::kPaletteEntries);
}

// Square sprites of the given side, run-length coded as the game's files are. The frames
// decoded in turn are all different, as in a real file: one stream decoded over and over would
// let the branch predictor learn it by heart.
void DecodeSprite(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  constexpr std::size_t kFrameBytesInTurn = std::size_t{4} << 20;
  const std::size_t frameCount = std::max<std::size_t>(
      4, kFrameBytesInTurn / (static_cast<std::size_t>(side) * static_cast<std::size_t>(side)));
  vostrel::bench::Random random(static_cast<std::uint32_t>(side));
  std::vector<Bytes> pixels;
  std::vector<Bytes> streams;
  std::size_t streamBytes = 0;
  for (std::size_t n = 0; n < frameCount; ++n) {
    pixels.push_back(vostrel::bench::SpritePixels(side, side, random));
    streams.push_back(vostrel::test::EncodeRle(pixels.back()));
    streamBytes += streams.back().size();
  }
  Bytes output(pixels.front().size());
  for (std::size_t n = 0; n < frameCount; ++n) {
    vostrel::DecodeRle(streams[n], static_cast<std::int32_t>(streams[n].size()), output, silent);
    if (output != pixels[n]) {
      state.SkipWithError("a decoded frame differs from its sprite");
      return;
    }
  }
  std::size_t next = 0;
  for (auto _ : state) {
    const Bytes& stream = streams[next];
    benchmark::DoNotOptimize(
        vostrel::DecodeRle(stream, static_cast<std::int32_t>(stream.size()), output, silent));
    benchmark::ClobberMemory();
    next = (next + 1) % frameCount;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(output.size()));
  state.counters["stream_bytes"] =
      static_cast<double>(streamBytes) / static_cast<double>(frameCount);
}
BENCHMARK(DecodeSprite)->Arg(32)->Arg(96)->Arg(160)->Arg(512);

// The run-length frames of the speed benchmark's corpus, decoded in turn as a batch meets them,
// by the decoder the converter uses and by the careful one that it is checked against.
using Decoder = vostrel::RleDecoding (*)(std::span<const std::uint8_t>, std::int32_t,
                                         std::span<std::uint8_t>);
void DecodeCorpus(benchmark::State& state, Decoder decode) {
  constexpr int kCorpusFiles = 40;
  struct Frame {
    Bytes stream;
    std::size_t pixels = 0;
  };
  std::vector<Frame> frames;
  std::size_t largest = 0;
  for (const auto& sprite : vostrel::bench::CorpusSprites(kCorpusFiles)) {
    // The speed benchmark stores every other frame run-length coded.
    for (std::size_t n = 0; n < sprite.frames.size(); n += 2) {
      const Bytes& pixels = sprite.frames[n].pixels;
      frames.push_back({vostrel::test::EncodeRle(pixels), pixels.size()});
      largest = std::max(largest, pixels.size());
      Bytes output(pixels.size());
      const Bytes& stream = frames.back().stream;
      decode(stream, static_cast<std::int32_t>(stream.size()), output);
      if (output != pixels) {
        state.SkipWithError("a decoded frame differs from its sprite");
        return;
      }
    }
  }
  Bytes output(largest);
  std::size_t next = 0;
  std::int64_t produced = 0;
  for (auto _ : state) {
    const Frame& frame = frames[next];
    const auto decoding = decode(frame.stream, static_cast<std::int32_t>(frame.stream.size()),
                                 std::span(output).first(frame.pixels));
    benchmark::DoNotOptimize(decoding);
    benchmark::ClobberMemory();
    produced += static_cast<std::int64_t>(frame.pixels);
    next = (next + 1) % frames.size();
  }
  state.SetBytesProcessed(produced);
}
BENCHMARK_CAPTURE(DecodeCorpus, wild, &vostrel::DecodeRleWild);
BENCHMARK_CAPTURE(DecodeCorpus, careful, &vostrel::DecodeRleSilently);

// The whole file assembled in memory, as a caller receives it; odd sides give padded rows.
void EncodeBmp(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  vostrel::MemoryFiles files;
  vostrel::BmpFile bmp(silent, files);
  PrepareBmp(bmp, side, side);
  Bytes file;
  for (auto _ : state) {
    file.clear();
    const bool ok = bmp.Encode([&file](std::span<const std::uint8_t> bytes) {
      file.insert(file.end(), bytes.begin(), bytes.end());
      return true;
    });
    benchmark::DoNotOptimize(ok);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}
BENCHMARK(EncodeBmp)->Arg(33)->Arg(96)->Arg(161)->Arg(512);

// One BMP saved, file creation included, on a RAM-backed file system where there is one.
void SaveBmp(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const fs::path dir = (fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                       ("vostrel-micro-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "sprite.bmp").string();
  vostrel::BmpFile bmp(silent, vostrel::platform::SystemFiles());
  PrepareBmp(bmp, side, side);
  for (auto _ : state) {
    benchmark::DoNotOptimize(bmp.SaveAs(path));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(path)));
  fs::remove_all(dir);
}
BENCHMARK(SaveBmp)->Arg(33)->Arg(96)->Arg(161)->Arg(512);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
  reporter.SetOutputStream(&std::cout);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
