// The image model's palette and block tables, and its path strings.
#include "programs/vostrel/image/image_file.hpp"

#include <algorithm>
#include <stdexcept>

#include "io/path.hpp"
#include "programs/vostrel/image/path_helpers.hpp"

namespace vostrel {

namespace {

std::size_t PaletteBufferSize(std::int32_t entries) {
  if (entries < 0 || static_cast<std::size_t>(entries) > kPaletteEntries) {
    throw std::invalid_argument("palette entry count out of range");
  }
  return static_cast<std::size_t>(entries) * kPaletteEntryBytes + kPaletteSlack;
}

}  // namespace

void ImageFile::AllocatePalettes(std::int32_t count, std::int32_t entries) {
  const std::size_t bufferSize = PaletteBufferSize(entries);
  palettes.assign(static_cast<std::size_t>(std::max(count, 0)), Block(bufferSize, 0));
}

void ImageFile::SetPalette(std::int32_t index, std::span<const std::uint8_t> source,
                           std::int32_t entries) {
  if (index < 0) {
    throw std::invalid_argument("negative palette index");
  }
  const std::size_t bytes = PaletteBufferSize(entries) - kPaletteSlack;
  if (source.size() < bytes) {
    throw std::invalid_argument("palette source too short");
  }
  const auto count = static_cast<std::size_t>(index) + 1;
  const std::size_t bufferSize = bytes + kPaletteSlack;
  if (palettes.size() == count &&
      std::all_of(palettes.begin(), palettes.end(),
                  [bufferSize](const Block& palette) { return palette.size() == bufferSize; })) {
    // A table of this shape is reused, as a conversion sets one palette per BMP it writes. The
    // copy below fills all of the new palette but its spare bytes, so only those are cleared.
    for (std::size_t n = 0; n < count; ++n) {
      const std::size_t keep = (n == count - 1) ? bytes : 0;
      std::fill(palettes[n].begin() + static_cast<std::ptrdiff_t>(keep), palettes[n].end(), 0);
    }
  } else {
    AllocatePalettes(index + 1, entries);
  }
  std::copy_n(source.begin(), bytes, palettes[static_cast<std::size_t>(index)].begin());
  paletteEntries = entries;
}

void ImageFile::AllocateBlocks(std::int32_t rows, std::int32_t columns, std::size_t size) {
  // Block by block, with the old table gone first: filling the table from a prototype block would
  // hold the prototype, a row of copies and the table at once, three times a plane that a damaged
  // header can make two gigabytes large.
  ReleaseBlocks();
  BlockTable table(static_cast<std::size_t>(std::max(rows, 0)));
  for (auto& row : table) {
    row.resize(static_cast<std::size_t>(std::max(columns, 0)));
    for (Block& block : row) {
      block.assign(size, 0);
    }
  }
  blocks = std::move(table);
}

void ImageFile::SetPlane(std::span<const std::uint8_t> source) {
  if (blocks.empty()) {
    AllocateBlocks(1, 1, source.size());
  }
  if (blocks[0].empty() || blocks[0][0].size() < source.size()) {
    throw std::invalid_argument("plane too small");
  }
  std::copy(source.begin(), source.end(), blocks[0][0].begin());
}

Block& ImageFile::ResizePlane(std::size_t size) {
  if (blocks.empty() || blocks[0].empty() || blocks[0][0].capacity() < size) {
    // Growing the block in place would hold the old plane and the new one at once.
    AllocateBlocks(1, 1, size);
  } else {
    blocks[0][0].resize(size);
  }
  return blocks[0][0];
}

void ImageFile::ReleaseBlocks() { BlockTable().swap(blocks); }

void ImageFile::ReleasePalettes() { std::vector<Block>().swap(palettes); }

void ImageFile::AssignPath(const std::string& path) {
  std::string working = path;
  SetFullPath(working);
  StripDirectory(working);
  SetFileName(working);
  working = path;
  // A path without a separator has no directory part: it stays empty rather than become the
  // separator alone.
  const bool hasDirectory = ContainsSeparator(working);
  CutAtLastSeparator(working);
  if (hasDirectory) {
    working += kPathSeparator;
  }
  SetDirectory(working);
}

}  // namespace vostrel
