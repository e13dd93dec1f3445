// The sprite model: an .ART file read into plain values, its frames decoded and encoded, and
// the file written back.
#include "sprite/sprite.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

#include "io/checked.hpp"
#include "io/le_bytes.hpp"
#include "sprite/frame_rules.hpp"
#include "sprite/rle.hpp"
#include "sprite/rle_encode.hpp"

namespace vostrel {

namespace {

std::size_t FrameIndex(const Sprite& sprite, std::int32_t picture, std::int32_t frame) {
  if (picture < 0 || frame < 0 || picture >= sprite.pictures || frame >= sprite.framesPerPicture) {
    throw std::out_of_range("no such frame");
  }
  return static_cast<std::size_t>(picture) * static_cast<std::size_t>(sprite.framesPerPicture) +
         static_cast<std::size_t>(frame);
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
