// The decoded form of a picture file that vostrel-pack reads, and the one entry point that
// makes it from the file's bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "sprite/frame_rules.hpp"

namespace vostrel {

// The most pixels a picture may have: as many as a frame may have.
inline constexpr std::uint64_t kMaxPicturePixels = kMaxFramePixels;

// A decoded picture: width x height pixels of `channels` bytes each (red, green, blue, and
// alpha when there are four), rows top first, no padding. An indexed picture (a BMP of 8 bits
// or fewer, a PNG with a palette) also keeps what it was made of: an index per pixel, in the
// same order, and its colour table in 4-byte entries (blue, green, red, 0), the layout of a
// palette. Every index is below the table's entry count. Decoded with keepTransparency, an
// indexed picture also keeps an alpha per entry of its table (255 where the file gives none).
struct RgbPicture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t channels = 0;
  std::vector<std::uint8_t> pixels;
  std::vector<std::uint8_t> indices;      // empty unless indexed
  std::vector<std::uint8_t> colourTable;  // empty unless indexed
  std::vector<std::uint8_t> entryAlphas;  // empty unless indexed and kept transparent

  std::size_t PixelCount() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  std::span<const std::uint8_t> Bytes() const { return pixels; }
};

// "1 pixel", "12 pixels": counts in the messages about pictures.
std::string PixelsText(std::uint64_t count);
// "x 4, y 0": a pixel's place in the messages about pictures, from the top left.
std::string PositionText(std::uint64_t x, std::uint64_t y);

// Raised for anything that is not a picture we can take. The text follows the name of the
// file: it says what is wrong with it and what to do about it.
class PictureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The image libraries that decode PNGs: libspng, written for untrusted input, where the build has
// it (Linux); stb_image in every build, the only one for Windows and the browser. Both take and
// refuse the same files, with the same words where our own checks refuse them.
enum class PngDecoder { kLibspng, kStbImage };
// Those this build holds, and the one its programs use.
std::span<const PngDecoder> PngDecoders();
PngDecoder BuildPngDecoder();
const char* PngDecoderName(PngDecoder decoder);

// How a picture is read.
struct PictureOptions {
  // Refused by default: a frame has no alpha. When kept, every picture comes as 4 channels,
  // alpha as the file gives it (255 where it gives none: a BMP's fourth byte is not alpha).
  bool keepTransparency = false;
  // One of PngDecoders(); the build's own when none is given.
  std::optional<PngDecoder> pngDecoder = std::nullopt;
};

// Decodes a picture from the bytes of its file: BMP (1-, 4- or 8-bit indexed, uncompressed or
// run-length compressed, through its colour table; 24-bit; 32-bit with or without colour
// masks of 8 bits each, the fourth byte ignored; bottom-up or top-down) or PNG of up to 8 bits
// per channel (indexed, grey, RGB, and with alpha or a transparent colour when every pixel is
// opaque, or always with options.keepTransparency). The size is checked against maxPixels and
// against what the file holds (an uncompressed BMP's rows, what a PNG's image data can unpack
// to) before anything is allocated for it. Throws PictureError.
RgbPicture DecodePicture(std::span<const std::uint8_t> bytes,
                         std::uint64_t maxPixels = kMaxPicturePixels, PictureOptions options = {});

}  // namespace vostrel
