// Runs arbitrary bytes, as an .ART file, through what vostrel-sheet makes of one file with
// --gif and --apng: the loader, the sheet's layout and its limits, the sheet, the manifest, the
// palette files and the animations, all written to files in memory. It checks what the program
// promises: a file is refused exactly when it cannot be loaded, has no palette, or its sheet or
// GIF would be more than they may hold, and then nothing of it is written; otherwise every
// output is there, each named once on the output, and each sheet has the layout's size.

#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "io/memory_files.hpp"
#include "sheets/sheet_job.hpp"
#include "sheets/sheet_layout.hpp"
#include "sprite/sprite.hpp"

namespace {

// Work allowed for one input in pixels composed and encoded (the sheet, then every picture's
// animations), a few milliseconds; a file past it is only laid out, so that the fixed run of the
// tests stays short and within libFuzzer's memory limit. Refusals cost no such work and are
// always run.
constexpr std::int64_t kWorkBudget = std::int64_t{1} << 16;

// The PNG header's width and height (IHDR's first two fields, big-endian, after the 8-byte
// signature and the chunk's length and type).
constexpr std::size_t kIhdrWidthAt = 16;
constexpr std::size_t kIhdrHeightAt = 20;

std::uint32_t Be32(const vostrel::fuzz::Bytes& bytes, std::size_t at) {
  FUZZ_CHECK(bytes.size() >= at + 4);
  return static_cast<std::uint32_t>(bytes[at]) << 24U |
         static_cast<std::uint32_t>(bytes[at + 1]) << 16U |
         static_cast<std::uint32_t>(bytes[at + 2]) << 8U | bytes[at + 3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vostrel::fuzz::Bytes input(data, data + size);
  const vostrel::SpriteLoad load = vostrel::ParseSprite(input);

  // What the file must give, found from the sprite and its layout without making anything.
  bool makes = load.sprite && !load.sprite->palettes.empty();
  std::optional<vostrel::SheetLayout> layout;
  if (makes) {
    const vostrel::Sprite& sprite = *load.sprite;
    std::vector<vostrel::ArtFrameHeader> headers;
    for (const vostrel::SpriteFrame& frame : sprite.frames) {
      headers.push_back(frame.header);
    }
    layout = vostrel::LayOutSheet(sprite.pictures, sprite.framesPerPicture, headers, 1, {}).layout;
    makes = layout && !vostrel::GifCanvasRefusal(layout->cellWidth, layout->cellHeight);
  }
  const bool animated = makes && layout->cellWidth > 0 && layout->cellHeight > 0;
  if (makes) {
    const std::int64_t cell = std::int64_t{layout->cellWidth} * layout->cellHeight;
    const std::int64_t frames = std::int64_t{layout->pictures} * layout->framesPerPicture;
    const std::int64_t work = std::int64_t{layout->width} * layout->height +
                              2 * frames * cell * load.sprite->PaletteCount();
    if (work > kWorkBudget) {
      return 0;
    }
  }

  vostrel::MemoryFiles files;
  files.Contents()["in/f.art"] = input;
  vostrel::SheetRequest request;
  request.artPath = "in/f.art";
  request.destDir = "out";
  request.gif = true;
  request.apng = true;
  request.version = "0";
  static vostrel::SheetWorkspace workspace;
  const vostrel::SheetOutcome outcome = vostrel::MakeSheets(request, files, workspace);
  FUZZ_CHECK(outcome.ok == makes);
  if (!makes) {
    FUZZ_CHECK(outcome.out.empty() && files.Contents().size() == 1);
    return 0;
  }

  // Every file written is named once on the output, and nothing else is.
  std::set<std::string> named;
  for (std::size_t at = 0; at < outcome.out.size();) {
    const std::size_t end = outcome.out.find('\n', at);
    FUZZ_CHECK(end != std::string::npos);
    FUZZ_CHECK(named.insert(outcome.out.substr(at, end - at)).second);
    at = end + 1;
  }
  const auto palettes = static_cast<std::size_t>(load.sprite->PaletteCount());
  const std::size_t animations =
      animated ? 2 * static_cast<std::size_t>(layout->pictures) * palettes : 0;
  FUZZ_CHECK(named.size() == 4 * palettes + 1 + animations);
  FUZZ_CHECK(files.Contents().size() == named.size() + 1);
  for (const std::string& path : named) {
    FUZZ_CHECK(files.Contents().count(path) == 1);
  }
  for (std::size_t k = 0; k < palettes; ++k) {
    const vostrel::fuzz::Bytes& sheet = files.Contents()["out/f_" + std::to_string(k) + ".png"];
    FUZZ_CHECK(Be32(sheet, kIhdrWidthAt) == static_cast<std::uint32_t>(layout->width));
    FUZZ_CHECK(Be32(sheet, kIhdrHeightAt) == static_cast<std::uint32_t>(layout->height));
  }
  return 0;
}
