// Runs arbitrary bytes through what vostrel-pack does with a manifest and a sheet: the manifest
// reader, the checks of every rectangle against the sheet and the other frames, the sheet's
// decoding and the cutting and mapping of each rectangle, then the writing of the output and the
// sheets and manifest brought up to date, all on files in memory. It checks what the packing
// promises: a refusal leaves the output unwritten; a pack that replaced nothing writes the
// original byte for byte; any output is a sprite that loads, with the original's counts. Then
// the same manifest and sheet make a new sprite (vostrel-pack --new): the manifest read in our
// form or a sprite editor's, the table from its counts or tags, the frames cut, trimmed frames
// put back in their cells; a refusal writes nothing, and what is written is a whole sprite of at
// least one palette and of the frames its table holds.
//
// Input: the manifest's length (2 bytes, little-endian), the manifest, then the sheet (PNG).
// The sprite is fixed: eight pictures of one 2 x 2 frame, one palette.

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>

#include "fuzz_support.hpp"
#include "io/memory_files.hpp"
#include "packing/new_sprite.hpp"
#include "packing/pack.hpp"
#include "sprite/sprite.hpp"

namespace {

constexpr std::size_t kPictures = 8;
constexpr std::int32_t kSide = 2;
// The .ART file's fixed parts: 33 header words, then a 1024-byte palette, then 7-word frame
// headers (width, height, data size, four words no reader interprets) and the data.
constexpr std::size_t kHeaderWords = 33;
constexpr std::size_t kPaletteCountAt = 1;  // words 1 to 4: which palettes are present
constexpr std::size_t kFrameCountAt = 32;

void PutWord(vostrel::fuzz::Bytes& bytes, std::int32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> shift));
  }
}

// Flags 1: pictures of one frame each, frame count pictures.
vostrel::fuzz::Bytes Sprite() {
  vostrel::fuzz::Bytes bytes;
  for (std::size_t word = 0; word < kHeaderWords; ++word) {
    std::int32_t value = 0;
    if (word == 0) {
      value = 1;
    } else if (word == kPaletteCountAt) {
      value = 1;
    } else if (word == kFrameCountAt) {
      value = static_cast<std::int32_t>(kPictures);
    }
    PutWord(bytes, value);
  }
  const vostrel::fuzz::Bytes palette = vostrel::fuzz::FuzzPalette(3);
  bytes.insert(bytes.end(), palette.begin(), palette.end());
  for (std::size_t p = 0; p < kPictures; ++p) {
    PutWord(bytes, kSide);
    PutWord(bytes, kSide);
    PutWord(bytes, kSide * kSide);
    for (int word = 0; word < 4; ++word) {
      PutWord(bytes, 0);
    }
    for (std::int32_t i = 0; i < kSide * kSide; ++i) {
      bytes.push_back(static_cast<std::uint8_t>(p * 4 + static_cast<std::size_t>(i)));
    }
  }
  return bytes;
}

// vostrel-pack ORIGINAL MANIFEST OUTPUT on the fixed sprite.
using Contents = std::map<std::string, vostrel::fuzz::Bytes>;

void PackAgainstOriginal(const Contents& contents, const vostrel::fuzz::Bytes& original) {
  vostrel::MemoryFiles files;
  files.Contents() = contents;
  vostrel::PackReport report;
  report.warn = [](const std::string&) {};
  vostrel::PackOutcome outcome;
  try {
    outcome = vostrel::PackArt({"d.art", "s/d.json", "o/d.art", {}}, report, files);
  } catch (const vostrel::PackError&) {
    FUZZ_CHECK(files.Contents().count("o/d.art") == 0);
    return;
  }
  const vostrel::fuzz::Bytes& output = files.Contents()["o/d.art"];
  FUZZ_CHECK(outcome.frames == kPictures && outcome.replaced <= kPictures);
  if (outcome.replaced == 0) {
    FUZZ_CHECK(output == original);
  }
  const vostrel::SpriteLoad load = vostrel::ParseSprite(output);
  FUZZ_CHECK(load.sprite && load.sprite->pictures == static_cast<std::int32_t>(kPictures) &&
             load.sprite->framesPerPicture == 1 && load.sprite->missingBytes == 0);
}

// vostrel-pack --new on the manifest and sheet.
void MakeNew(const Contents& contents) {
  vostrel::MemoryFiles files;
  files.Contents() = contents;
  vostrel::NewSpriteJob job;
  job.manifest = "s/d.json";
  job.output = "n/d.art";
  try {
    vostrel::MakeNewArt(job, files);
  } catch (const vostrel::PackError&) {
    FUZZ_CHECK(files.Contents().count("n/d.art") == 0);
    return;
  }
  const vostrel::SpriteLoad load = vostrel::ParseSprite(files.Contents()["n/d.art"]);
  FUZZ_CHECK(load.sprite && load.sprite->missingBytes == 0 && load.sprite->PaletteCount() >= 1);
  FUZZ_CHECK(load.sprite->FrameCount() ==
             static_cast<std::size_t>(load.sprite->pictures) *
                 static_cast<std::size_t>(load.sprite->framesPerPicture));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vostrel::fuzz::InputReader reader({data, size});
  const std::size_t manifestSize = reader.Half();
  const std::span<const std::uint8_t> rest = reader.Rest();
  const std::span<const std::uint8_t> manifest = rest.first(std::min(manifestSize, rest.size()));
  const std::span<const std::uint8_t> sheet = rest.subspan(manifest.size());

  static const vostrel::fuzz::Bytes original = Sprite();
  const Contents files = {{"d.art", original},
                          {"s/d.json", vostrel::fuzz::Bytes(manifest.begin(), manifest.end())},
                          {"s/d_0.png", vostrel::fuzz::Bytes(sheet.begin(), sheet.end())},
                          {"o/.keep", {}},
                          {"n/.keep", {}}};
  PackAgainstOriginal(files, original);
  MakeNew(files);
  return 0;
}
