#include "art/art_file.hpp"

#include <algorithm>
#include <iostream>
#include <stdexcept>

#include "image/checked.hpp"
#include "image/console.hpp"
#include "image/file_io.hpp"
#include "image/le_bytes.hpp"

namespace vostrel {

namespace {

constexpr std::size_t kWordSize = 4;

// Raised by the parser for a file whose announced sizes it cannot hold; Load turns it into the
// ordinary load failure.
class DamagedArt : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

template <std::size_t N>
void ReadWords(std::span<const std::uint8_t> bytes, std::size_t& offset,
               std::array<std::int32_t, N>& words) {
  for (auto& word : words) {
    word = ReadLe32Signed(bytes, offset);
    offset += kWordSize;
  }
}

std::int32_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t& offset) {
  const std::int32_t word = ReadLe32Signed(bytes, offset);
  offset += kWordSize;
  return word;
}

// The layout rule: flags 0 and 2 mean eight pictures of frameCount frames each, anything else
// frameCount pictures of one frame.
bool IsEightPictureLayout(std::int32_t flags) { return flags == 0 || flags == 2; }

}  // namespace

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

ArtFile::ArtFile(const std::string& path) { Load(path); }

bool ArtFile::SaveAs(const std::string& /*path*/) { return true; }

bool ArtFile::Load(const std::string& path) {
  Clear();
  AssignPath(path);
  WriteMark();
  ReadResult file;
  try {
    file = ReadWholeFile(fullPath);
  } catch (...) {
    return ReportFailure();
  }
  if (file.status == ReadStatus::kCannotOpen) {
    std::cout << "Could not open " << fullPath;
    EndLine(std::cout);
    return ReportFailure();
  }
  if (file.status == ReadStatus::kReadError) {
    return ReportDamage();
  }
  try {
    Parse(file.bytes);
  } catch (...) {
    return ReportDamage();
  }
  return true;
}

bool ArtFile::LoadBytes(std::span<const std::uint8_t> bytes) {
  Clear();
  WriteMark();
  try {
    Parse(bytes);
  } catch (...) {
    return ReportDamage();
  }
  return true;
}

bool ArtFile::ReportDamage() {
  // Close the progress line first, so that the failure reads on a line of its own just as it
  // does after "Could not open".
  EndLine(std::cout);
  return ReportFailure();
}

bool ArtFile::ReportFailure() {
  Clear();
  EndLine(std::cerr);
  std::cerr << "Could not load ART file";
  EndLine(std::cerr);
  return false;
}

void ArtFile::Clear() {
  header.reset();
  frameHeaders.clear();
  framesPerPicture = 0;
  paletteCount = 0;
  ReleasePalettes();
  ReleaseBlocks();
  blockRows = 1;
  blockColumns = 1;
}

void ArtFile::Parse(std::span<const std::uint8_t> bytes) {
  // Every section is checked against the bytes present before anything is sized from it, so a
  // damaged header can never make the loader allocate more than the file itself justifies.
  if (bytes.size() < kArtHeaderSize) {
    throw DamagedArt("file shorter than its header");
  }
  ArtHeader parsed = ParseArtHeader(bytes);
  const std::int32_t presentPalettes = CountPalettes(parsed);
  WriteMark();

  std::size_t offset = kArtHeaderSize;
  const std::size_t paletteBytes = static_cast<std::size_t>(presentPalettes) * kArtPaletteSize;
  if (bytes.size() - offset < paletteBytes) {
    throw DamagedArt("file shorter than its palettes");
  }
  AllocatePalettes(presentPalettes, kPaletteEntries);
  for (auto& palette : this->palettes) {
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), kArtPaletteSize,
                palette.begin());
    offset += kArtPaletteSize;
  }
  paletteCount = presentPalettes;
  WriteMark();

  if (parsed.frameCount < 0) {
    throw DamagedArt("negative frame count");
  }
  std::int32_t pictures = parsed.frameCount;
  std::int32_t frames = 1;
  if (IsEightPictureLayout(parsed.flags)) {
    frames = parsed.frameCount;
    pictures = kEightPictureCount;
    parsed.frameCount = kEightPictureCount;
  }
  const auto frameTotal =
      CheckedMul(static_cast<std::uint64_t>(pictures), static_cast<std::uint64_t>(frames));
  const auto tableBytes =
      frameTotal ? CheckedMul(*frameTotal, std::uint64_t{kArtFrameHeaderSize}) : std::nullopt;
  if (!tableBytes || bytes.size() - offset < *tableBytes) {
    throw DamagedArt("file shorter than its frame-header table");
  }

  std::vector<std::vector<ArtFrameHeader>> table(static_cast<std::size_t>(pictures));
  std::uint64_t dataTotal = 0;
  for (auto& row : table) {
    row.reserve(static_cast<std::size_t>(frames));
    for (std::int32_t f = 0; f < frames; ++f) {
      WriteMark();
      row.push_back(ParseArtFrameHeader(bytes.subspan(offset, kArtFrameHeaderSize)));
      offset += kArtFrameHeaderSize;
      if (row.back().dataSize < 0) {
        throw DamagedArt("negative frame data size");
      }
      dataTotal += static_cast<std::uint64_t>(row.back().dataSize);
    }
  }
  if (dataTotal > bytes.size()) {
    throw DamagedArt("frame data sizes exceed the file");
  }

  // A file that ends inside its frame data still loads; the bytes it lacks read as zero.
  BlockTable data(static_cast<std::size_t>(pictures));
  for (std::size_t p = 0; p < table.size(); ++p) {
    data[p].reserve(table[p].size());
    for (const auto& frame : table[p]) {
      Block block(static_cast<std::size_t>(frame.dataSize), 0);
      const std::size_t available = std::min(block.size(), bytes.size() - offset);
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), available, block.begin());
      offset += available;
      data[p].push_back(std::move(block));
    }
  }

  header = parsed;
  framesPerPicture = frames;
  frameHeaders = std::move(table);
  blockRows = pictures;
  blockColumns = frames;
  blocks = std::move(data);
  WriteMark();
  std::cout << "Done";
  EndLine(std::cout);
}

}  // namespace vostrel
