// Writing a loaded .ART file back into bytes.
#include "art/art_save.hpp"

#include <array>
#include <stdexcept>

#include "io/checked.hpp"
#include "io/le_bytes.hpp"

namespace vostrel {

namespace {

void PutWord(std::vector<std::uint8_t>& out, std::int32_t word) {
  const std::size_t at = out.size();
  out.resize(at + kArtWordSize);
  WriteLe32(out, at, static_cast<std::uint32_t>(word));
}

template <std::size_t N>
void PutWords(std::vector<std::uint8_t>& out, const std::array<std::int32_t, N>& words) {
  for (const std::int32_t word : words) {
    PutWord(out, word);
  }
}

std::size_t Add(std::size_t total, std::size_t more) {
  const auto sum = CheckedAdd(total, more);
  if (!sum) {
    throw std::invalid_argument("the .ART file would be too large");
  }
  return *sum;
}

}  // namespace

std::vector<std::uint8_t> SerializeArt(const ArtFile& art) {
  if (!art.Header()) {
    throw std::invalid_argument("no .ART file loaded");
  }
  const ArtHeader& header = *art.Header();
  const auto palettes =
      std::span(art.Palettes()).first(static_cast<std::size_t>(art.PaletteCount()));
  const auto& frameHeaders = art.FrameHeaders();
  const BlockTable& blocks = art.Blocks();
  // The loader and ReplaceFrame keep the frame headers and the blocks of one shape, each block
  // of its frame's dataSize; checked again here, as a file written wrong is lost data.
  if (frameHeaders.size() != blocks.size()) {
    throw std::invalid_argument("frame headers and blocks differ in shape");
  }
  std::size_t total = kArtHeaderSize;
  for (const Block& palette : palettes) {
    if (palette.size() < kArtPaletteSize) {
      throw std::invalid_argument("palette shorter than 1024 bytes");
    }
    total = Add(total, kArtPaletteSize);
  }
  for (std::size_t p = 0; p < blocks.size(); ++p) {
    if (frameHeaders[p].size() != blocks[p].size()) {
      throw std::invalid_argument("frame headers and blocks differ in shape");
    }
    for (std::size_t f = 0; f < blocks[p].size(); ++f) {
      const std::int32_t dataSize = frameHeaders[p][f].dataSize;
      if (dataSize < 0 || static_cast<std::size_t>(dataSize) != blocks[p][f].size()) {
        throw std::invalid_argument("block size differs from its frame's data size");
      }
      total = Add(Add(total, kArtFrameHeaderSize), blocks[p][f].size());
    }
  }

  std::vector<std::uint8_t> out;
  out.reserve(total);
  PutWord(out, header.flags);
  PutWords(out, header.unknown1);
  PutWords(out, header.palettePresent);
  PutWord(out, header.unknown2);
  PutWord(out, header.frameCount);
  PutWords(out, header.unknown3);
  for (const Block& palette : palettes) {
    out.insert(out.end(), palette.begin(),
               palette.begin() + static_cast<std::ptrdiff_t>(kArtPaletteSize));
  }
  for (const auto& row : frameHeaders) {
    for (const ArtFrameHeader& frame : row) {
      PutWord(out, frame.width);
      PutWord(out, frame.height);
      PutWord(out, frame.dataSize);
      PutWords(out, frame.unknown);
    }
  }
  for (const auto& row : blocks) {
    for (const Block& block : row) {
      out.insert(out.end(), block.begin(), block.end());
    }
  }
  return out;
}

}  // namespace vostrel
