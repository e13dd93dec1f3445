// Feeds arbitrary bytes to the .ART loader and turns whatever loads into BMPs in memory, the way
// the converter does, checking the loaded tables against the bytes themselves and every BMP
// against a plane decoded independently.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "fuzz_support.hpp"
#include "io/memory_files.hpp"
#include "programs/vostrel/art/art_file.hpp"
#include "programs/vostrel/bmp/bmp_file.hpp"
#include "programs/vostrel/convert/convert.hpp"

namespace {

using vostrel::fuzz::Bytes;
using vostrel::fuzz::Le32;

// A frame header of a few bytes may announce a plane of two gigabytes, which the converter
// rightly allocates, or a picture no pixels wide and millions of rows high, which it writes row by
// row; here such frames are only checked for being accepted, so that a run stays fast and within
// libFuzzer's memory limit.
constexpr std::int64_t kMaxPlane = std::int64_t{1} << 18;
constexpr std::int64_t kMaxRows = std::int64_t{1} << 14;
// Work allowed for one input, in plane bytes placed plus rows encoded; past it the remaining
// combinations are skipped.
constexpr std::int64_t kWorkBudget = std::int64_t{4} << 20;

std::int32_t Word(std::span<const std::uint8_t> input, std::size_t offset) {
  return static_cast<std::int32_t>(Le32(input, offset));
}

void CheckNothingLoaded(const vostrel::ArtFile& art) {
  FUZZ_CHECK(art.Header() == nullptr && !art.Loaded().has_value());
  FUZZ_CHECK(art.PictureCount() == 0 && art.FramesPerPicture() == 0 && art.PaletteCount() == 0);
  FUZZ_CHECK(art.Palettes().empty());
}

// Recomputes the layout from the raw bytes and compares it with what the loader built.
void CheckLoadedTables(const vostrel::ArtFile& art, std::span<const std::uint8_t> input) {
  FUZZ_CHECK(art.Header() != nullptr && art.Loaded().has_value());
  FUZZ_CHECK(input.size() >= vostrel::kArtHeaderSize);
  const std::int32_t flags = Word(input, 0);
  const std::int32_t frameCount = Word(input, 32);
  const bool eightPictures = flags == 0 || flags == 2;
  const std::int32_t pictures = art.PictureCount();
  const std::int32_t frames = art.FramesPerPicture();
  FUZZ_CHECK(pictures == (eightPictures ? 8 : frameCount));
  FUZZ_CHECK(frames == (eightPictures ? frameCount : 1));

  std::int32_t palettes = 0;
  for (std::int32_t k = 0; k < 4; ++k) {
    if (Word(input, 12 + 4 * static_cast<std::size_t>(k)) != 0) {
      palettes = k + 1;
    }
  }
  FUZZ_CHECK(art.PaletteCount() == palettes);
  FUZZ_CHECK(art.Palettes().size() == static_cast<std::size_t>(palettes));
  std::size_t offset = vostrel::kArtHeaderSize;
  for (const auto& palette : art.Palettes()) {
    FUZZ_CHECK(palette.size() >= 1024 && offset + 1024 <= input.size());
    FUZZ_CHECK(std::equal(palette.begin(), palette.begin() + 1024,
                          input.begin() + static_cast<std::ptrdiff_t>(offset)));
    offset += 1024;
  }

  const auto rows = static_cast<std::size_t>(pictures);
  const auto columns = static_cast<std::size_t>(frames);
  FUZZ_CHECK(art.Loaded()->frames.size() == rows * columns);
  std::size_t dataOffset = offset + rows * columns * vostrel::kArtFrameHeaderSize;
  FUZZ_CHECK(dataOffset <= input.size());
  std::uint64_t dataTotal = 0;
  for (std::size_t p = 0; p < rows; ++p) {
    for (std::size_t f = 0; f < columns; ++f) {
      const auto picture = static_cast<std::int32_t>(p);
      const auto frame = static_cast<std::int32_t>(f);
      const vostrel::ArtFrameHeader& header = art.FrameHeader(picture, frame);
      FUZZ_CHECK(header.width == Word(input, offset));
      FUZZ_CHECK(header.height == Word(input, offset + 4));
      FUZZ_CHECK(header.dataSize == Word(input, offset + 8));
      offset += vostrel::kArtFrameHeaderSize;
      // The block holds exactly dataSize bytes: the file's, then zeros where the file ends.
      const std::span<const std::uint8_t> block = art.FrameBlock(picture, frame);
      FUZZ_CHECK(header.dataSize >= 0);
      FUZZ_CHECK(block.size() == static_cast<std::size_t>(header.dataSize));
      const std::size_t present = std::min(block.size(), input.size() - dataOffset);
      FUZZ_CHECK(std::equal(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(present),
                            input.begin() + static_cast<std::ptrdiff_t>(dataOffset)));
      FUZZ_CHECK(std::all_of(block.begin() + static_cast<std::ptrdiff_t>(present), block.end(),
                             [](std::uint8_t b) { return b == 0; }));
      dataOffset += present;
      dataTotal += block.size();
    }
  }
  // Announced sizes beyond what the whole file could hold are refused, not zero-filled.
  FUZZ_CHECK(dataTotal <= input.size());
}

// Takes every BMP of the converter's own loop in memory and checks it byte for byte against a
// plane decoded independently.
class CheckingTarget : public vostrel::BmpTarget {
 public:
  CheckingTarget(const vostrel::ArtFile& art, vostrel::MemoryFiles& files)
      : art_(art), files_(files) {}

  bool Wants(const vostrel::ArtFrameHeader& header) override {
    // The loop stops at the first frame that cannot make a picture, unless there is no palette
    // to place it for.
    FUZZ_CHECK(!sawInvalid_ || art_.PaletteCount() == 0);
    const std::int64_t pixels = std::int64_t{header.width} * header.height;
    if (header.width < 0 || header.height < 0 ||
        pixels > std::numeric_limits<std::int32_t>::max()) {
      sawInvalid_ = true;
      return true;
    }
    if (pixels > kMaxPlane || header.height > kMaxRows) {
      return false;
    }
    work_ += pixels + art_.PaletteCount() * (pixels + header.height);
    return work_ <= kWorkBudget;
  }

  bool Store(vostrel::BmpFile& bmp, std::span<const std::uint8_t> encoded, std::int32_t picture,
             std::int32_t frame, std::int32_t palette) override {
    const vostrel::ArtFrameHeader& header = art_.FrameHeader(picture, frame);
    if (palette == 0) {
      const auto pixels = static_cast<std::size_t>(std::int64_t{header.width} * header.height);
      const std::span<const std::uint8_t> block = art_.FrameBlock(picture, frame);
      expected_.assign(pixels, 0);
      if (pixels == static_cast<std::size_t>(header.dataSize)) {
        expected_.assign(block.begin(), block.end());
      } else {
        vostrel::fuzz::ReferenceRle(block, header.dataSize, expected_);
      }
    }
    FUZZ_CHECK(bmp.Blocks().size() == 1 && bmp.Blocks()[0].size() == 1);
    FUZZ_CHECK(bmp.Blocks()[0][0] == expected_);
    // What Save really writes, through the files it was given: in memory here.
    FUZZ_CHECK(bmp.SaveAs("out/picture.bmp", encoded));
    Bytes file = std::move(files_.Contents().at("out/picture.bmp"));
    files_.Contents().clear();
    const auto& colours = art_.Palettes()[static_cast<std::size_t>(palette)];
    vostrel::fuzz::CheckBmp(file, header.width, header.height, expected_,
                            std::span(colours).first(1024));
    return true;
  }

  bool SawInvalid() const { return sawInvalid_; }

 private:
  const vostrel::ArtFile& art_;
  vostrel::MemoryFiles& files_;
  std::int64_t work_ = 0;
  bool sawInvalid_ = false;
  Bytes expected_;
};

// Runs the converter's loop over the loaded file, as the program does, into memory.
void CheckConversion(const vostrel::ArtFile& art) {
  vostrel::SilentConsole silent;
  vostrel::MemoryFiles files;
  vostrel::BmpFile bmp(silent, files);
  CheckingTarget target(art, files);
  const bool converted = vostrel::ConvertFrames(art, bmp, target, silent);
  // Without palettes no frame is placed, so none is found wanting.
  FUZZ_CHECK(converted == (art.PaletteCount() == 0 || !target.SawInvalid()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  vostrel::SilentConsole silent;
  vostrel::MemoryFiles files;
  vostrel::ArtFile art(silent, files);
  if (!art.LoadBytes(input)) {
    CheckNothingLoaded(art);
    return 0;
  }
  CheckLoadedTables(art, input);
  CheckConversion(art);
  return 0;
}
