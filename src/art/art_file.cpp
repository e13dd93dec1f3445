// The .ART loader: header, palettes, frame headers and frame data, checked against the bytes
// present before anything is sized from them.
#include "art/art_file.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "io/byte_source.hpp"
#include "io/checked.hpp"
#include "io/console.hpp"
#include "io/le_bytes.hpp"

namespace vostrel {

namespace {

// Raised by the parser for a file whose announced sizes it cannot hold; Load turns it into the
// ordinary load failure.
struct DamagedArt {
  ArtLoadError error;
};

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

bool ArtFile::SaveAs(const std::string& /*path*/) { return true; }

bool ArtFile::Load(const std::string& path) {
  Clear();
  AssignPath(path);
  console().Mark();
  try {
    const std::unique_ptr<ByteSource> source = files().OpenForReading(fullPath);
    if (!source) {
      return ReportCannotOpen();
    }
    return ParseReporting(*source);
  } catch (...) {
    return ReportFailure(ArtLoadError::kCannotRead);
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
  } catch (const DamagedArt& damaged) {
    return ReportFailure(damaged.error);
  } catch (...) {
    return ReportFailure(ArtLoadError::kCannotRead);
  }
  return true;
}

bool ArtFile::ReportCannotOpen() {
  console().Out("Could not open ");
  console().Out(fullPath);
  console().EndLine(Stream::kOut);
  return ReportFailure(ArtLoadError::kCannotOpen);
}

bool ArtFile::ReportFailure(ArtLoadError error) {
  Clear();
  loadError = error;
  console().EndLine(Stream::kErr);
  console().Err("Could not load ART file");
  console().EndLine(Stream::kErr);
  return false;
}

void ArtFile::Clear() {
  header.reset();
  frameHeaders.clear();
  loadError = ArtLoadError::kNone;
  pictureCount = 0;
  framesPerPicture = 0;
  paletteCount = 0;
  ReleasePalettes();
  ReleaseBlocks();
  blockRows = 1;
  blockColumns = 1;
}

// Progress elsewhere is computed first and announced after (the decoder's, the writer's); the
// loader writes its marks as it goes, because its text must show how far it got when it stops:
// a damaged file leaves its marks up to the section that failed, and memory running out while a
// large table is built ends the process with the marks written so far on the screen.
void ArtFile::Parse(ByteSource& source) {
  // Every section is checked against the bytes the file holds before anything is sized from it,
  // so a damaged header can never make the loader allocate more than the file justifies; and
  // the bytes go straight to where they are kept, so loading holds the file's size once.
  const std::uint64_t size = source.Size();
  std::uint64_t remaining = size;
  const auto take = [&source, &remaining](std::span<std::uint8_t> out, ArtLoadError what) {
    if (remaining < out.size() || source.Read(out) != out.size()) {
      throw DamagedArt{what};
    }
    remaining -= out.size();
  };

  std::array<std::uint8_t, kArtHeaderSize> headerBytes{};
  take(headerBytes, ArtLoadError::kShortHeader);
  const ArtHeader parsed = ParseArtHeader(headerBytes);
  const std::int32_t presentPalettes = CountPalettes(parsed);
  console().Mark();

  if (remaining < static_cast<std::uint64_t>(presentPalettes) * kArtPaletteSize) {
    throw DamagedArt{ArtLoadError::kShortPalettes};
  }
  AllocatePalettes(presentPalettes, kPaletteEntries);
  for (auto& palette : this->palettes) {
    take(std::span(palette).first(kArtPaletteSize), ArtLoadError::kShortPalettes);
  }
  paletteCount = presentPalettes;
  console().Mark();

  const std::optional<ArtLayout> layout = LayoutOf(parsed);
  if (!layout) {
    throw DamagedArt{ArtLoadError::kNegativeFrameCount};
  }
  const std::int32_t pictures = layout->pictures;
  const std::int32_t frames = layout->framesPerPicture;
  const auto frameTotal =
      CheckedMul(static_cast<std::uint64_t>(pictures), static_cast<std::uint64_t>(frames));
  const auto tableBytes =
      frameTotal ? CheckedMul(*frameTotal, std::uint64_t{kArtFrameHeaderSize}) : std::nullopt;
  if (!tableBytes || remaining < *tableBytes) {
    throw DamagedArt{ArtLoadError::kShortFrameTable};
  }

  std::vector<std::vector<ArtFrameHeader>> table(static_cast<std::size_t>(pictures));
  std::uint64_t dataTotal = 0;
  std::array<std::uint8_t, kArtFrameHeaderSize> frameBytes{};
  for (auto& row : table) {
    row.reserve(static_cast<std::size_t>(frames));
    for (std::int32_t f = 0; f < frames; ++f) {
      console().Mark();
      take(frameBytes, ArtLoadError::kShortFrameTable);
      row.push_back(ParseArtFrameHeader(frameBytes));
      if (row.back().dataSize < 0) {
        throw DamagedArt{ArtLoadError::kNegativeDataSize};
      }
      dataTotal = CheckedAdd(dataTotal, static_cast<std::uint64_t>(row.back().dataSize))
                      .value_or(std::numeric_limits<std::uint64_t>::max());
    }
  }
  if (dataTotal > size) {
    throw DamagedArt{ArtLoadError::kDataExceedsFile};
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
  pictureCount = pictures;
  framesPerPicture = frames;
  frameHeaders = std::move(table);
  blockRows = pictures;
  blockColumns = frames;
  blocks = std::move(data);
  console().Mark();
  console().Out("Done");
  console().EndLine(Stream::kOut);
}

void ArtFile::ReplaceFrame(std::size_t p, std::size_t f, std::int32_t width, std::int32_t height,
                           Block data) {
  if (data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::invalid_argument("frame data too large for a frame header");
  }
  ArtFrameHeader& frame = frameHeaders.at(p).at(f);
  frame.width = width;
  frame.height = height;
  frame.dataSize = static_cast<std::int32_t>(data.size());
  blocks.at(p).at(f) = std::move(data);
}

}  // namespace vostrel
