// What a PNG's bytes say before any library decodes them (see png_format.hpp).
#include "formats/png/png_format.hpp"

#include <algorithm>
#include <initializer_list>
#include <limits>

#include "io/checked.hpp"

namespace vostrel {

namespace {

// deflate's densest code: a match of 258 bytes (its length code without extra bits) at a
// distance coded in 1 bit, after a length coded in 1 bit.
constexpr std::uint64_t kMostUnpackedPerByte = 258 * 8 / 2;
constexpr std::uint64_t kUnpackedMargin = std::uint64_t{64} << 10U;

// The seven passes of Adam7: where each starts in a block of 8 x 8 pixels and its step.
struct Pass {
  std::uint32_t x, y, stepX, stepY;
};
constexpr std::array<Pass, 7> kAdam7{{{0, 0, 8, 8},
                                      {4, 0, 8, 8},
                                      {0, 4, 4, 8},
                                      {2, 0, 4, 4},
                                      {0, 2, 2, 4},
                                      {1, 0, 2, 2},
                                      {0, 1, 1, 2}}};

// Bits a pixel for a colour type and bit depth that PNG allows; 0 for any other.
std::uint64_t BitsPerPixel(std::uint8_t colourType, std::uint8_t bitDepth) {
  const auto depthIs = [bitDepth](std::initializer_list<std::uint8_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), bitDepth) != allowed.end();
  };
  std::uint64_t channels = 0;
  switch (colourType) {
    case kPngGrey:
      channels = depthIs({1, 2, 4, 8, 16}) ? 1 : 0;
      break;
    case kPngIndexed:
      channels = depthIs({1, 2, 4, 8}) ? 1 : 0;
      break;
    case kPngRgb:
      channels = depthIs({8, 16}) ? 3 : 0;
      break;
    case kPngGreyAlpha:
      channels = depthIs({8, 16}) ? 2 : 0;
      break;
    case kPngRgbAlpha:
      channels = depthIs({8, 16}) ? 4 : 0;
      break;
    default:
      break;
  }
  return channels * bitDepth;
}

// The bytes of `rows` rows of `width` pixels, each with its filter byte.
std::optional<std::uint64_t> RowsBytes(std::uint64_t width, std::uint64_t rows,
                                       std::uint64_t bits) {
  // A width below 2^32 times at most 64 bits cannot overflow.
  const std::uint64_t rowBytes = (width * bits + 7) / 8 + 1;
  return CheckedMul(rowBytes, rows);
}

}  // namespace

PngWalkEnd WalkPngChunks(std::span<const std::uint8_t> bytes,
                         const std::function<void(const PngChunk&)>& visit) {
  std::size_t at = kPngSignature.size();
  while (bytes.size() >= at && bytes.size() - at >= kPngChunkDataAt) {
    const std::size_t left = bytes.size() - at;
    const std::uint32_t length = ReadBe32(bytes, at);
    const auto type = bytes.subspan(at + kPngChunkTypeAt, kPngIhdr.size());
    if (std::equal(kPngIend.begin(), kPngIend.end(), type.begin())) {
      break;
    }
    if (left < kPngChunkOverhead || length > left - kPngChunkOverhead) {
      return {true, at, length};
    }
    visit({at, type, bytes.subspan(at + kPngChunkDataAt, length)});
    at += kPngChunkOverhead + length;
  }
  return {};
}

std::uint64_t PngImageDataBytes(std::span<const std::uint8_t> bytes) {
  std::uint64_t total = 0;
  WalkPngChunks(bytes, [&total](const PngChunk& chunk) {
    if (chunk.Is(kPngIdat)) {
      total += chunk.data.size();
    }
  });
  return total;
}

std::optional<PngHeader> ReadPngHeader(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kIhdrAt = kPngSignature.size();
  // IHDR's length is left to the walk over the chunks and to the libraries, which refuse any
  // but 13.
  if (bytes.size() < kPngIhdrEnd ||
      !std::equal(kPngSignature.begin(), kPngSignature.end(), bytes.begin()) ||
      !std::equal(kPngIhdr.begin(), kPngIhdr.end(), bytes.begin() + kIhdrAt + kPngChunkTypeAt)) {
    return std::nullopt;
  }
  const auto data = bytes.subspan(kIhdrAt + kPngChunkDataAt, kPngIhdrBytes);
  return PngHeader{ReadBe32(data, kPngIhdrWidthAt), ReadBe32(data, kPngIhdrHeightAt),
                   data[kPngIhdrBitDepthAt], data[kPngIhdrColourTypeAt], data[kPngIhdrInterlaceAt]};
}

std::optional<std::uint64_t> PngRowBytes(const PngHeader& header) {
  const std::uint64_t bits = BitsPerPixel(header.colourType, header.bitDepth);
  if (bits == 0) {
    return std::nullopt;
  }
  constexpr std::uint64_t kTooMany = std::numeric_limits<std::uint64_t>::max();
  if (header.interlace != kPngAdam7) {
    return RowsBytes(header.width, header.height, bits).value_or(kTooMany);
  }
  std::uint64_t total = 0;
  for (const Pass& pass : kAdam7) {
    if (header.width <= pass.x || header.height <= pass.y) {
      continue;  // a pass without pixels has no rows at all
    }
    const std::uint64_t width = (header.width - pass.x + pass.stepX - 1) / pass.stepX;
    const std::uint64_t rows = (header.height - pass.y + pass.stepY - 1) / pass.stepY;
    const auto bytes = RowsBytes(width, rows, bits);
    const auto sum = bytes ? CheckedAdd(total, *bytes) : std::nullopt;
    if (!sum) {
      return kTooMany;
    }
    total = *sum;
  }
  return total;
}

std::uint64_t MostUnpackedFrom(std::uint64_t compressed) {
  const auto most = CheckedMul(compressed, kMostUnpackedPerByte);
  const auto withMargin = most ? CheckedAdd(*most, kUnpackedMargin) : std::nullopt;
  return withMargin.value_or(std::numeric_limits<std::uint64_t>::max());
}

}  // namespace vostrel
