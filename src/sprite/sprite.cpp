// The sprite model: an .ART file read into plain values, its frames decoded and encoded, and
// the file written back.
#include "sprite/sprite.hpp"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include "io/byte_source.hpp"
#include "io/checked.hpp"
#include "io/le_bytes.hpp"
#include "sprite/frame_rules.hpp"
#include "sprite/rle.hpp"
#include "sprite/rle_encode.hpp"

namespace vostrel {

namespace {

// Raised by the parser for a file whose announced sizes it cannot hold.
struct DamagedArt {
  ArtLoadError error;
};

std::size_t FrameIndex(const Sprite& sprite, std::int32_t picture, std::int32_t frame) {
  if (picture < 0 || frame < 0 || picture >= sprite.pictures || frame >= sprite.framesPerPicture) {
    throw std::out_of_range("no such frame");
  }
  return static_cast<std::size_t>(picture) * static_cast<std::size_t>(sprite.framesPerPicture) +
         static_cast<std::size_t>(frame);
}

void Announce(const LoadProgress& mark) {
  if (mark) {
    mark();
  }
}

// The loader writes its marks as it goes, because they must show how far it got when it
// stops: a damaged file leaves its marks up to the section that failed, and memory running out
// while a large table is built ends the process with the marks written so far on the screen.
Sprite Parse(ByteSource& source, const LoadProgress& mark) {
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

  Sprite sprite;
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
  std::uint64_t dataTotal = 0;
  std::array<std::uint8_t, kArtFrameHeaderSize> frameBytes{};
  for (SpriteFrame& frame : sprite.frames) {
    Announce(mark);
    take(frameBytes, ArtLoadError::kShortFrameTable);
    frame.header = ParseArtFrameHeader(frameBytes);
    if (frame.header.dataSize < 0) {
      throw DamagedArt{ArtLoadError::kNegativeDataSize};
    }
    dataTotal = CheckedAdd(dataTotal, static_cast<std::uint64_t>(frame.header.dataSize))
                    .value_or(std::numeric_limits<std::uint64_t>::max());
  }
  if (dataTotal > size) {
    throw DamagedArt{ArtLoadError::kDataExceedsFile};
  }

  // A file that ends inside its frame data still loads; the bytes it lacks read as zero.
  for (SpriteFrame& frame : sprite.frames) {
    frame.data.assign(static_cast<std::size_t>(frame.header.dataSize), 0);
    const std::size_t got = source.Read(frame.data);
    sprite.missingBytes += frame.data.size() - got;
  }
  sprite.pictures = layout->pictures;
  sprite.framesPerPicture = layout->framesPerPicture;
  Announce(mark);
  return sprite;
}

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

}  // namespace

const SpriteFrame& Sprite::Frame(std::int32_t picture, std::int32_t frame) const {
  return frames.at(FrameIndex(*this, picture, frame));
}

SpriteFrame& Sprite::Frame(std::int32_t picture, std::int32_t frame) {
  return frames.at(FrameIndex(*this, picture, frame));
}

SpriteLoad ParseSprite(ByteSource& source, const LoadProgress& mark) {
  SpriteLoad load;
  try {
    load.sprite = Parse(source, mark);
  } catch (const DamagedArt& damaged) {
    load.error = damaged.error;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    load.error = ArtLoadError::kCannotRead;
  }
  return load;
}

SpriteLoad ParseSprite(std::span<const std::uint8_t> bytes, const LoadProgress& mark) {
  SpanSource source(bytes);
  return ParseSprite(source, mark);
}

std::uint64_t AnnouncedSize(const Sprite& sprite) {
  std::uint64_t size = kArtHeaderSize;
  const auto add = [&size](std::uint64_t more) {
    size = CheckedAdd(size, more).value_or(std::numeric_limits<std::uint64_t>::max());
  };
  add(static_cast<std::uint64_t>(sprite.palettes.size()) * kArtPaletteSize);
  for (const SpriteFrame& frame : sprite.frames) {
    add(kArtFrameHeaderSize);
    add(static_cast<std::uint64_t>(std::max(frame.header.dataSize, 0)));
  }
  return size;
}

std::vector<std::uint8_t> SerializeSprite(const Sprite& sprite) {
  // Checked again here, as a file written wrong is lost data.
  for (const SpriteFrame& frame : sprite.frames) {
    if (frame.header.dataSize < 0 ||
        static_cast<std::size_t>(frame.header.dataSize) != frame.data.size()) {
      throw std::invalid_argument("frame data differs from its data size");
    }
  }
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(AnnouncedSize(sprite)));
  const ArtHeader& header = sprite.header;
  PutWord(out, header.flags);
  PutWords(out, header.unknown1);
  PutWords(out, header.palettePresent);
  PutWord(out, header.unknown2);
  PutWord(out, header.frameCount);
  PutWords(out, header.unknown3);
  for (const ArtPalette& palette : sprite.palettes) {
    out.insert(out.end(), palette.begin(), palette.end());
  }
  for (const SpriteFrame& frame : sprite.frames) {
    PutWord(out, frame.header.width);
    PutWord(out, frame.header.height);
    PutWord(out, frame.header.dataSize);
    PutWords(out, frame.header.unknown);
  }
  for (const SpriteFrame& frame : sprite.frames) {
    out.insert(out.end(), frame.data.begin(), frame.data.end());
  }
  return out;
}

void ReplaceFrame(SpriteFrame& frame, std::int32_t width, std::int32_t height,
                  std::vector<std::uint8_t> data) {
  if (data.size() > static_cast<std::uint64_t>(kMaxFrameDataSize)) {
    throw std::invalid_argument("frame data too large for a frame header");
  }
  frame.header.width = width;
  frame.header.height = height;
  frame.header.dataSize = static_cast<std::int32_t>(data.size());
  frame.data = std::move(data);
}

std::optional<std::int32_t> FramePixels(const ArtFrameHeader& header) {
  if (header.width < 0 || header.height < 0) {
    return std::nullopt;
  }
  return CheckedMul<std::int32_t>(header.width, header.height);
}

FrameStorage StorageOf(const ArtFrameHeader& header) {
  const std::optional<std::int32_t> pixels = FramePixels(header);
  return pixels && *pixels == header.dataSize ? FrameStorage::kRaw : FrameStorage::kRunLength;
}

std::optional<DecodedFrame> DecodeFrame(const ArtFrameHeader& header,
                                        std::span<const std::uint8_t> data,
                                        std::vector<std::uint8_t>& plane) {
  const std::optional<std::int32_t> pixels = FramePixels(header);
  if (!pixels) {
    return std::nullopt;
  }
  const auto size = static_cast<std::size_t>(*pixels);
  if (plane.capacity() < size) {
    // Growing the plane in place would hold the old one and the new one at once.
    std::vector<std::uint8_t>().swap(plane);
  }
  // Every byte is written below, so the bytes the plane held may stay as they were.
  plane.resize(size);
  DecodedFrame decoded;
  decoded.storage = StorageOf(header);
  if (decoded.storage == FrameStorage::kRaw) {
    const std::size_t copied = std::min(data.size(), size);
    std::copy_n(data.begin(), copied, plane.begin());
    std::fill(plane.begin() + static_cast<std::ptrdiff_t>(copied), plane.end(), 0);
  } else {
    decoded.fillRuns = DecodeRleWild(data, header.dataSize, plane).fillRuns;
  }
  return decoded;
}

std::vector<std::uint8_t> EncodeFrame(std::span<const std::uint8_t> indices, FrameStorage storage) {
  return EncodeFrameData(indices, storage == FrameStorage::kRaw);
}

}  // namespace vostrel
