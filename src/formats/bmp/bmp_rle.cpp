// The BMP run-length decoder: pairs of bytes, a count and a value, or an escape (count 0) whose
// value says what follows.
#include "formats/bmp/bmp_rle.hpp"

#include <string>

#include "formats/picture/picture_internal.hpp"

namespace vostrel {

namespace {

using picture_detail::PackedIndex;
using picture_detail::RefuseDamaged;

// The second byte of an escape: the first three are marks, any larger value is the pixel count
// of an absolute run, whose indices follow, padded to an even number of bytes.
constexpr std::uint8_t kEndOfLine = 0;
constexpr std::uint8_t kEndOfBitmap = 1;
constexpr std::uint8_t kDelta = 2;

}  // namespace

std::vector<std::uint8_t> DecodeBmpRle(std::span<const std::uint8_t> stream, std::size_t width,
                                       std::size_t height, unsigned bits) {
  std::vector<std::uint8_t> plane(width * height, 0);
  std::size_t at = 0;
  std::size_t x = 0;
  std::size_t row = 0;  // from the bottom, as stored
  const auto next = [&]() {
    if (at >= stream.size()) {
      RefuseDamaged("BMP", "its compressed data ends before its end-of-bitmap mark");
    }
    return stream[at++];
  };
  const auto pastBitmap = [] {
    RefuseDamaged("BMP", "its compressed data runs past the end of the bitmap");
  };
  // Writes count indices, index(i) for the i-th, at the position reached.
  const auto put = [&](std::size_t count, auto index) {
    if (row >= height) {
      pastBitmap();
    }
    const std::size_t y = height - 1 - row;
    if (count > width - x) {
      RefuseDamaged("BMP", "its compressed data runs past the end of a row: " +
                               std::to_string(count) + " pixels from " + PositionText(x, y) +
                               " in a row of " + std::to_string(width));
    }
    for (std::size_t i = 0; i < count; ++i) {
      plane[y * width + x + i] = index(i);
    }
    x += count;
  };

  for (;;) {
    const std::uint8_t count = next();
    const std::uint8_t value = next();
    if (count > 0) {
      // A run repeats its byte: one index of 8 bits, or two of 4 bits in turn.
      put(count, [&](std::size_t i) { return PackedIndex({&value, 1}, i % (8 / bits), bits); });
      continue;
    }
    if (value == kEndOfBitmap) {
      return plane;
    }
    if (value == kEndOfLine) {
      if (row >= height) {
        pastBitmap();
      }
      x = 0;
      ++row;
    } else if (value == kDelta) {
      const std::uint8_t right = next();
      const std::uint8_t up = next();
      if (right > width - x || row + up >= height) {
        pastBitmap();
      }
      x += right;
      row += up;
    } else {
      const std::size_t bytes = (value * std::size_t{bits} + 7) / 8;
      if (stream.size() - at < bytes) {
        RefuseDamaged("BMP", "its compressed data ends before its end-of-bitmap mark");
      }
      const auto run = stream.subspan(at, bytes);
      put(value, [&](std::size_t i) { return PackedIndex(run, i, bits); });
      at += bytes + bytes % 2;
    }
  }
}

}  // namespace vostrel
