// The .ART reader: the front of a file (header, palettes, frame-header table) checked against
// the bytes present, then either every frame's data (ParseSprite) or where each block lies, for
// reading one when it is asked for (ParseSpriteTable, ReadFrameBlock).
#include "sprite/sprite_table.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <span>
#include <utility>

#include "io/byte_source.hpp"
#include "io/checked.hpp"

namespace vostrel {

namespace {

// Raised by the reader for a file whose announced sizes it cannot hold.
struct DamagedArt {
  ArtLoadError error;
};

void Announce(const LoadProgress& mark) {
  if (mark) {
    mark();
  }
}

// A sprite read up to its frames' data, which stays empty; where that data starts, how much the
// frame headers announce, and the file's size as the source gave it before the first read.
struct ArtFront {
  Sprite sprite;
  std::uint64_t dataStart = 0;
  std::uint64_t dataTotal = 0;
  std::uint64_t fileSize = 0;
};

// The loader writes its marks as it goes, because they must show how far it got when it
// stops: a damaged file leaves its marks up to the section that failed, and memory running out
// while a large table is built ends the process with the marks written so far on the screen.
ArtFront ReadFront(ByteSource& source, const LoadProgress& mark) {
  // Every section is checked against the bytes the file holds before anything is sized from it,
  // so a damaged header can never make the loader allocate more than the file justifies.
  const std::uint64_t size = source.Size();
  std::uint64_t remaining = size;
  const auto take = [&source, &remaining](std::span<std::uint8_t> out, ArtLoadError what) {
    if (remaining < out.size() || source.Read(out) != out.size()) {
      throw DamagedArt{what};
    }
    remaining -= out.size();
  };

  ArtFront front;
  Sprite& sprite = front.sprite;
  std::array<std::uint8_t, kArtHeaderSize> headerBytes{};
  take(headerBytes, ArtLoadError::kShortHeader);
  sprite.header = ParseArtHeader(headerBytes);
  const std::int32_t presentPalettes = CountPalettes(sprite.header);
  Announce(mark);

  if (remaining < static_cast<std::uint64_t>(presentPalettes) * kArtPaletteSize) {
    throw DamagedArt{ArtLoadError::kShortPalettes};
  }
  sprite.palettes.resize(static_cast<std::size_t>(presentPalettes));
  for (ArtPalette& palette : sprite.palettes) {
    take(palette, ArtLoadError::kShortPalettes);
  }
  Announce(mark);

  const std::optional<ArtLayout> layout = LayoutOf(sprite.header);
  if (!layout) {
    throw DamagedArt{ArtLoadError::kNegativeFrameCount};
  }
  const auto frameTotal = CheckedMul(static_cast<std::uint64_t>(layout->pictures),
                                     static_cast<std::uint64_t>(layout->framesPerPicture));
  const auto tableBytes =
      frameTotal ? CheckedMul(*frameTotal, std::uint64_t{kArtFrameHeaderSize}) : std::nullopt;
  if (!tableBytes || remaining < *tableBytes) {
    throw DamagedArt{ArtLoadError::kShortFrameTable};
  }

  // The table fits in the file, so its count is bounded by the file's size.
  sprite.frames.resize(static_cast<std::size_t>(*frameTotal));
  std::array<std::uint8_t, kArtFrameHeaderSize> frameBytes{};
  for (SpriteFrame& frame : sprite.frames) {
    Announce(mark);
    take(frameBytes, ArtLoadError::kShortFrameTable);
    frame.header = ParseArtFrameHeader(frameBytes);
    if (frame.header.dataSize < 0) {
      throw DamagedArt{ArtLoadError::kNegativeDataSize};
    }
    front.dataTotal = CheckedAdd(front.dataTotal, static_cast<std::uint64_t>(frame.header.dataSize))
                          .value_or(std::numeric_limits<std::uint64_t>::max());
  }
  if (front.dataTotal > size) {
    throw DamagedArt{ArtLoadError::kDataExceedsFile};
  }
  sprite.pictures = layout->pictures;
  sprite.framesPerPicture = layout->framesPerPicture;
  front.dataStart = size - remaining;
  front.fileSize = size;
  return front;
}

// Runs a reader, turning a damaged file into its reason and any other failure to read into
// kCannotRead; exhausted memory goes on up.
template <typename Load, typename Read>
Load Guarded(Read read) {
  Load load;
  try {
    read(load);
  } catch (const DamagedArt& damaged) {
    load.error = damaged.error;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    load.error = ArtLoadError::kCannotRead;
  }
  return load;
}

}  // namespace

SpriteLoad ParseSprite(ByteSource& source, const LoadProgress& mark) {
  return Guarded<SpriteLoad>([&source, &mark](SpriteLoad& load) {
    Sprite sprite = ReadFront(source, mark).sprite;
    // A file that ends inside its frame data still loads; the bytes it lacks read as zero. The
    // bytes go straight to where they are kept, so loading holds the file's size once.
    for (SpriteFrame& frame : sprite.frames) {
      frame.data.assign(static_cast<std::size_t>(frame.header.dataSize), 0);
      const std::size_t got = source.Read(frame.data);
      sprite.missingBytes += frame.data.size() - got;
    }
    Announce(mark);
    load.sprite = std::move(sprite);
  });
}

SpriteLoad ParseSprite(std::span<const std::uint8_t> bytes, const LoadProgress& mark) {
  SpanSource source(bytes);
  return ParseSprite(source, mark);
}

SpriteTableLoad ParseSpriteTable(ByteSource& source, const LoadProgress& mark) {
  return Guarded<SpriteTableLoad>([&source, &mark](SpriteTableLoad& load) {
    ArtFront front = ReadFront(source, mark);
    SpriteTable table;
    table.fileSize = front.fileSize;
    // Bounded by the file's size, as dataTotal and dataStart are.
    const std::uint64_t present = table.fileSize - front.dataStart;
    front.sprite.missingBytes = front.dataTotal > present ? front.dataTotal - present : 0;
    table.blockAt.reserve(front.sprite.frames.size());
    std::uint64_t at = front.dataStart;
    for (const SpriteFrame& frame : front.sprite.frames) {
      table.blockAt.push_back(at);
      at += static_cast<std::uint64_t>(frame.header.dataSize);
    }
    table.sprite = std::move(front.sprite);
    load.table = std::move(table);
  });
}

std::vector<std::uint8_t> ReadFrameBlock(const SpriteTable& table, std::int32_t picture,
                                         std::int32_t frame, RandomAccessSource& source) {
  const ArtFrameHeader& header = table.Frame(picture, frame);
  const std::uint64_t at = table.BlockAt(picture, frame);
  // The table was checked to announce no more data than the file's size, so the block fits in
  // memory as ParseSprite would hold it.
  std::vector<std::uint8_t> block(static_cast<std::size_t>(header.dataSize), 0);
  const std::uint64_t present = at < table.fileSize ? table.fileSize - at : 0;
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), present));
  std::size_t got = 0;
  while (got < wanted) {
    const std::size_t more =
        source.ReadAt(at + got, std::span<std::uint8_t>(block).subspan(got, wanted - got));
    if (more == 0) {
      break;
    }
    got += more;
  }
  return block;
}

}  // namespace vostrel
