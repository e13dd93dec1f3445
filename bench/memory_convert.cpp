// Converts every .art file of a directory into BMPs in memory, in rounds, and prints the median
// round's time with a digest of every BMP byte. Built natively (bench preset) and to WebAssembly
// (web preset, run under node), so that web/bench.mjs can compare the two on the same corpus:
// the loader, the decoder and the writer without the file system or the console.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "io/console.hpp"
#include "io/memory_files.hpp"
#include "programs/vostrel/art/art_file.hpp"
#include "programs/vostrel/bmp/bmp_file.hpp"
#include "programs/vostrel/convert/convert.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Keeps each BMP in memory, as a caller that hands it on would, and folds its bytes into a
// digest (FNV-1a, 64 bits) so that two builds can be shown to write the same files.
class MemoryTarget : public vostrel::BmpTarget {
 public:
  bool Store(vostrel::BmpFile& bmp, std::span<const std::uint8_t> encoded, std::int32_t /*picture*/,
             std::int32_t /*frame*/, std::int32_t /*palette*/) override {
    file_.assign(encoded.begin(), encoded.end());
    const bool stored = !encoded.empty() || bmp.Encode([this](std::span<const std::uint8_t> bytes) {
      file_.insert(file_.end(), bytes.begin(), bytes.end());
      return true;
    });
    for (const std::uint8_t byte : file_) {
      digest_ = (digest_ ^ byte) * kFnvPrime;
    }
    bytes_ += file_.size();
    ++files_;
    return stored;
  }

  std::uint64_t digest() const { return digest_; }
  std::uint64_t bytes() const { return bytes_; }
  std::uint64_t files() const { return files_; }

 private:
  static constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
  static constexpr std::uint64_t kFnvPrime = 1099511628211ULL;
  Bytes file_;
  std::uint64_t digest_ = kFnvOffset;
  std::uint64_t bytes_ = 0;
  std::uint64_t files_ = 0;
};

std::vector<Bytes> ReadCorpus(const fs::path& dir) {
  std::vector<fs::path> paths;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".art") {
      paths.push_back(entry.path());
    }
  }
  std::sort(paths.begin(), paths.end());
  std::vector<Bytes> files;
  for (const fs::path& path : paths) {
    std::ifstream in(path, std::ios::binary);
    files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::atoi(argv[2]) <= 0) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR ROUNDS\n", argv[0]);
    return 2;
  }
  const std::vector<Bytes> corpus = ReadCorpus(argv[1]);
  const int rounds = std::atoi(argv[2]);
  std::vector<double> seconds;
  MemoryTarget last;
  for (int round = 0; round < rounds; ++round) {
    MemoryTarget target;
    const auto start = std::chrono::steady_clock::now();
    for (const Bytes& bytes : corpus) {
      // Bytes in, BMP bytes out: no file is opened, so none is given.
      vostrel::SilentConsole silent;
      vostrel::MemoryFiles noFiles;
      vostrel::ArtFile art(silent, noFiles);
      vostrel::BmpFile bmp(silent, noFiles);
      if (!art.LoadBytes(bytes) || !vostrel::ConvertFrames(art, bmp, target, silent)) {
        std::fprintf(stderr, "a file of the corpus did not convert\n");
        return 1;
      }
    }
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    last = target;
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("files %zu bmps %llu bytes %llu digest %016llx median %.6f\n", corpus.size(),
              static_cast<unsigned long long>(last.files()),
              static_cast<unsigned long long>(last.bytes()),
              static_cast<unsigned long long>(last.digest()), seconds[seconds.size() / 2]);
  return 0;
}
