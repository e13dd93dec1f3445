#include "art/art_file.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

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

ArtFile::ArtFile(const std::string& path, Console& console) : ImageFile(console) { Load(path); }

bool ArtFile::SaveAs(const std::string& /*path*/) { return true; }

bool ArtFile::Load(const std::string& path) {
  Clear();
  AssignPath(path);
  console().Mark();
  try {
    std::optional<platform::InputFile> file = platform::OpenRegularFile(fullPath);
    if (!file) {
      return ReportCannotOpen();
    }
    FileSource source(std::move(file->file), file->size);
    return ParseReporting(source);
  } catch (...) {
    return ReportFailure();
  }
}

bool ArtFile::LoadBytes(std::span<const std::uint8_t> bytes) {
  Clear();
  console().Mark();
  SpanSource source(bytes);
  return ParseReporting(source);
}

bool ArtFile::ParseReporting(ByteSource& source) {
  try {
    Parse(source);
  } catch (...) {
    return ReportFailure();
  }
  return true;
}

bool ArtFile::ReportCannotOpen() {
  console().Out("Could not open ");
  console().Out(fullPath);
  console().EndLine(Stream::kOut);
  return ReportFailure();
}

bool ArtFile::ReportFailure() {
  Clear();
  console().EndLine(Stream::kErr);
  console().Err("Could not load ART file");
  console().EndLine(Stream::kErr);
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

void ArtFile::Parse(ByteSource& source) {
  // Every section is checked against the bytes the file holds before anything is sized from it,
  // so a damaged header can never make the loader allocate more than the file justifies; and
  // the bytes go straight to where they are kept, so loading holds the file's size once.
  const std::uint64_t size = source.Size();
  std::uint64_t remaining = size;
  const auto take = [&source, &remaining](std::span<std::uint8_t> out, const char* what) {
    if (remaining < out.size() || source.Read(out) != out.size()) {
      throw DamagedArt(what);
    }
    remaining -= out.size();
  };

  std::array<std::uint8_t, kArtHeaderSize> headerBytes{};
  take(headerBytes, "file shorter than its header");
  ArtHeader parsed = ParseArtHeader(headerBytes);
  const std::int32_t presentPalettes = CountPalettes(parsed);
  console().Mark();

  if (remaining < static_cast<std::uint64_t>(presentPalettes) * kArtPaletteSize) {
    throw DamagedArt("file shorter than its palettes");
  }
  AllocatePalettes(presentPalettes, kPaletteEntries);
  for (auto& palette : this->palettes) {
    take(std::span(palette).first(kArtPaletteSize), "file shorter than its palettes");
  }
  paletteCount = presentPalettes;
  console().Mark();

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
  if (!tableBytes || remaining < *tableBytes) {
    throw DamagedArt("file shorter than its frame-header table");
  }

  std::vector<std::vector<ArtFrameHeader>> table(static_cast<std::size_t>(pictures));
  std::uint64_t dataTotal = 0;
  std::array<std::uint8_t, kArtFrameHeaderSize> frameBytes{};
  for (auto& row : table) {
    row.reserve(static_cast<std::size_t>(frames));
    for (std::int32_t f = 0; f < frames; ++f) {
      console().Mark();
      take(frameBytes, "file shorter than its frame-header table");
      row.push_back(ParseArtFrameHeader(frameBytes));
      if (row.back().dataSize < 0) {
        throw DamagedArt("negative frame data size");
      }
      dataTotal += static_cast<std::uint64_t>(row.back().dataSize);
    }
  }
  if (dataTotal > size) {
    throw DamagedArt("frame data sizes exceed the file");
  }

  // A file that ends inside its frame data still loads; the bytes it lacks read as zero.
  BlockTable data(static_cast<std::size_t>(pictures));
  for (std::size_t p = 0; p < table.size(); ++p) {
    data[p].reserve(table[p].size());
    for (const auto& frame : table[p]) {
      Block block(static_cast<std::size_t>(frame.dataSize), 0);
      source.Read(block);
      data[p].push_back(std::move(block));
    }
  }

  header = parsed;
  framesPerPicture = frames;
  frameHeaders = std::move(table);
  blockRows = pictures;
  blockColumns = frames;
  blocks = std::move(data);
  console().Mark();
  console().Out("Done");
  console().EndLine(Stream::kOut);
}

}  // namespace vostrel
