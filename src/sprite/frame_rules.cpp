// The rules about a sprite's frames (see frame_rules.hpp).
#include "sprite/frame_rules.hpp"

#include <stdexcept>
#include <utility>
#include <vector>

namespace vostrel {

FrameShape ShapeOf(const ArtFrameHeader& header) {
  // FramePixels counts the pixels in the readers' own 32-bit arithmetic, whose bound is
  // kMaxFramePixels.
  static_assert(kMaxFramePixels == std::numeric_limits<std::int32_t>::max());
  const std::optional<std::int32_t> pixels = FramePixels(header);
  if (!pixels) {
    return FrameShape::kInvalid;
  }
  return *pixels == 0 ? FrameShape::kNoPixels : FrameShape::kPicture;
}

bool MakesPicture(const ArtFrameHeader& header) { return ShapeOf(header) == FrameShape::kPicture; }

bool ReplaceFramePixels(SpriteFrame& frame, std::int32_t width, std::int32_t height,
                        std::span<const std::uint8_t> indices) {
  if (width < 1 || height < 1) {
    throw std::invalid_argument("a frame's new pixels need a width and height of 1 or more");
  }
  // Both are below 2^31, so their product fits 64 bits.
  const std::int64_t pixels = std::int64_t{width} * height;
  if (pixels > kMaxFramePixels) {
    return false;
  }
  if (static_cast<std::uint64_t>(pixels) != indices.size()) {
    throw std::invalid_argument("a frame's new indices differ from its size");
  }
  std::vector<std::uint8_t> data = EncodeFrame(indices, StorageOf(frame.header));
  if (data.size() > static_cast<std::uint64_t>(kMaxFrameDataSize)) {
    return false;
  }
  ReplaceFrame(frame, width, height, std::move(data));
  return true;
}

std::optional<SpriteFrame> FrameOfPixels(std::int32_t width, std::int32_t height,
                                         std::span<const std::uint8_t> indices,
                                         std::optional<FrameStorage> storage,
                                         const ArtFrameWords& words) {
  std::vector<std::uint8_t> data;
  if (storage) {
    data = EncodeFrame(indices, *storage);
  } else {
    // Encoded once: the stream is kept when it is the smaller.
    data = EncodeFrame(indices, FrameStorage::kRunLength);
    if (data.size() >= indices.size()) {
      data.assign(indices.begin(), indices.end());
    }
  }
  if (data.size() > static_cast<std::uint64_t>(kMaxFrameDataSize)) {
    return std::nullopt;
  }
  SpriteFrame frame;
  frame.header.unknown = words;
  ReplaceFrame(frame, width, height, std::move(data));
  return frame;
}

}  // namespace vostrel
