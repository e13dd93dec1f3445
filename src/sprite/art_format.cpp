// The .ART format's header words, the layout rule and the texts of the loader's refusals.
#include "sprite/art_format.hpp"

#include <algorithm>

#include "io/le_bytes.hpp"

namespace vostrel {

namespace {

template <std::size_t N>
void ReadWords(std::span<const std::uint8_t> bytes, std::size_t& offset,
               std::array<std::int32_t, N>& words) {
  for (auto& word : words) {
    word = ReadLe32Signed(bytes, offset);
    offset += kArtWordSize;
  }
}

std::int32_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t& offset) {
  const std::int32_t word = ReadLe32Signed(bytes, offset);
  offset += kArtWordSize;
  return word;
}

}  // namespace

std::optional<ArtLayout> LayoutOf(const ArtHeader& header) {
  if (header.frameCount < 0) {
    return std::nullopt;
  }
  if (header.flags == 0 || header.flags == 2) {
    return ArtLayout{kEightPictureCount, header.frameCount};
  }
  return ArtLayout{header.frameCount, 1};
}

const char* ArtLoadErrorText(ArtLoadError error) {
  switch (error) {
    case ArtLoadError::kNone:
      return "no error";
    case ArtLoadError::kCannotOpen:
      return "cannot be opened (missing, unreadable, or not a regular file)";
    case ArtLoadError::kCannotRead:
      return "cannot be read through";
    case ArtLoadError::kShortHeader:
      return "shorter than its header";
    case ArtLoadError::kShortPalettes:
      return "shorter than the palettes its header announces";
    case ArtLoadError::kNegativeFrameCount:
      return "a negative frame count";
    case ArtLoadError::kShortFrameTable:
      return "shorter than its frame-header table";
    case ArtLoadError::kNegativeDataSize:
      return "a frame with a negative data size";
    case ArtLoadError::kDataExceedsFile:
      return "frame data sizes that add up to more than the whole file";
  }
  return "unknown";
}

ArtHeader ParseArtHeader(std::span<const std::uint8_t> bytes) {
  ArtHeader header;
  std::size_t offset = 0;
  header.flags = ReadWord(bytes, offset);
  ReadWords(bytes, offset, header.unknown1);
  ReadWords(bytes, offset, header.palettePresent);
  header.unknown2 = ReadWord(bytes, offset);
  header.frameCount = ReadWord(bytes, offset);
  ReadWords(bytes, offset, header.unknown3);
  return header;
}

ArtHeaderWords WordsOfHeader(const ArtHeader& header) {
  ArtHeaderWords words{};
  auto at = words.begin();
  *at++ = header.flags;
  at = std::copy(header.unknown1.begin(), header.unknown1.end(), at);
  at = std::copy(header.palettePresent.begin(), header.palettePresent.end(), at);
  *at++ = header.unknown2;
  *at++ = header.frameCount;
  std::copy(header.unknown3.begin(), header.unknown3.end(), at);
  return words;
}

ArtHeader HeaderOfWords(const ArtHeaderWords& words) {
  std::array<std::uint8_t, kArtHeaderSize> bytes{};
  for (std::size_t i = 0; i < words.size(); ++i) {
    WriteLe32(bytes, i * kArtWordSize, static_cast<std::uint32_t>(words[i]));
  }
  return ParseArtHeader(bytes);
}

ArtFrameHeader ParseArtFrameHeader(std::span<const std::uint8_t> bytes) {
  ArtFrameHeader frame;
  std::size_t offset = 0;
  frame.width = ReadWord(bytes, offset);
  frame.height = ReadWord(bytes, offset);
  frame.dataSize = ReadWord(bytes, offset);
  ReadWords(bytes, offset, frame.unknown);
  return frame;
}

std::int32_t CountPalettes(const ArtHeader& header) {
  for (std::int32_t k = kArtMaxPalettes; k > 0; --k) {
    if (header.palettePresent[static_cast<std::size_t>(k - 1)] != 0) {
      return k;
    }
  }
  return 0;
}

}  // namespace vostrel
