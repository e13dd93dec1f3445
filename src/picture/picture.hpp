// Pictures as vostrel-pack reads them (BMP and PNG), decoded to RGB.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace vostrel {

// The most pixels a picture may have: a frame's width x height is a 32-bit signed product.
inline constexpr std::uint64_t kMaxPicturePixels = 0x7FFFFFFF;

// Frees pixels that the picture decoder allocated.
struct DecodedPixelsFree {
  void operator()(std::uint8_t* pixels) const noexcept;
};

// A decoded picture: width x height pixels of `channels` bytes each (red, green, blue, and
// alpha when there are four), rows top first, no padding.
struct RgbPicture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t channels = 0;
  std::unique_ptr<std::uint8_t, DecodedPixelsFree> pixels;

  std::size_t PixelCount() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  std::span<const std::uint8_t> Bytes() const {
    return {pixels.get(), PixelCount() * static_cast<std::size_t>(channels)};
  }
};

// "1 pixel", "12 pixels": counts in the messages about pictures.
std::string PixelsText(std::uint64_t count);
// "x 4, y 0": a pixel's place in the messages about pictures, from the top left.
std::string PositionText(std::uint64_t x, std::uint64_t y);

// Raised for anything that is not a picture we can take; the text says what is wrong with it,
// to follow the name of the file.
class PictureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Decodes a picture from the bytes of its file: BMP (8-bit indexed through its colour table, 24-
// or 32-bit, bottom-up or top-down; the fourth byte of 32-bit pixels is ignored) or PNG of 8 bits
// per channel (indexed, grey, RGB, and with alpha when every pixel is opaque). The size is
// checked against maxPixels and, for a BMP, against the bytes present before anything is
// allocated for it. Throws PictureError.
RgbPicture DecodePicture(std::span<const std::uint8_t> bytes,
                         std::uint64_t maxPixels = kMaxPicturePixels);

}  // namespace vostrel
