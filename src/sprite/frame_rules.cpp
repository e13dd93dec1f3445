// Rules about a frame and a palette for making a sprite (see frame_rules.hpp).
#include "sprite/frame_rules.hpp"

#include <algorithm>
#include <limits>

#include "sprite/palette.hpp"

namespace vostrel {

namespace {

// Bytes of a colour given as red, green and blue.
constexpr std::size_t kRgbBytes = 3;
// Where an entry's fourth byte sits, after its blue, green and red.
constexpr std::size_t kPaletteFourthAt = 3;

}  // namespace

bool MakesAPicture(const ArtFrameHeader& header) {
  return header.width > 0 && header.height > 0 && FramePixels(header).has_value();
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
  if (data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return std::nullopt;
  }
  SpriteFrame frame;
  frame.header.unknown = words;
  ReplaceFrame(frame, width, height, std::move(data));
  return frame;
}

ArtPalette PaletteOfColours(std::span<const std::uint8_t> rgb,
                            std::span<const std::uint8_t> fourthBytes) {
  ArtPalette palette{};
  const std::size_t colours =
      std::min(rgb.size() / kRgbBytes, static_cast<std::size_t>(kPaletteEntries));
  const auto entry = static_cast<std::size_t>(kPaletteEntryBytes);
  for (std::size_t i = 0; i < colours; ++i) {
    palette[i * entry + kPaletteRedAt] = rgb[i * kRgbBytes];
    palette[i * entry + kPaletteGreenAt] = rgb[i * kRgbBytes + 1];
    palette[i * entry + kPaletteBlueAt] = rgb[i * kRgbBytes + 2];
  }
  for (std::size_t i = 0; i < std::min(fourthBytes.size(), std::size_t{kPaletteEntries}); ++i) {
    palette[i * entry + kPaletteFourthAt] = fourthBytes[i];
  }
  return palette;
}

std::vector<std::uint8_t> FourthBytesOf(const ArtPalette& palette) {
  std::vector<std::uint8_t> fourth;
  const auto entry = static_cast<std::size_t>(kPaletteEntryBytes);
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    fourth.push_back(palette[i * entry + kPaletteFourthAt]);
  }
  return fourth;
}

}  // namespace vostrel
