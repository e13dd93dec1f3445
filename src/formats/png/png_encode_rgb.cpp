// The RGB PNG writer (see png_encode.hpp): rows filtered and compressed as stb_image_write does
// it, so that the pictures vostrel-pack rewrites keep their bytes, in the PNG writer's chunks.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "formats/png/png_encode.hpp"
#include "formats/png/png_write.hpp"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace vostrel {

namespace {

constexpr int kRgbChannels = 3;
// PNG's five filters: none, sub, up, average, Paeth.
constexpr int kFilters = 5;

}  // namespace

std::vector<std::uint8_t> EncodeRgbPng(const IndexedPlane& plane,
                                       std::span<const std::uint8_t> palette) {
  // The compressor counts its bytes in an int.
  const auto rowBytes = static_cast<std::uint64_t>(plane.width) * kRgbChannels + 1;
  if (plane.width < 1 || plane.height < 1 ||
      rowBytes * static_cast<std::uint64_t>(plane.height) > static_cast<std::uint64_t>(INT_MAX)) {
    return {};
  }
  const int lineBytes = plane.width * kRgbChannels;
  const auto line = static_cast<std::size_t>(lineBytes);
  // The row being filtered after the one above it, in colours: the filters look one row up.
  std::vector<unsigned char> window(2 * line);
  std::vector<signed char> filtered(line);
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(rowBytes) *
                                 static_cast<std::size_t>(plane.height));
  for (std::int32_t y = 0; y < plane.height; ++y) {
    const int windowRow = y == 0 ? 0 : 1;
    unsigned char* colours = window.data() + static_cast<std::size_t>(windowRow) * line;
    const auto indices = plane.Row(y);
    for (std::size_t x = 0; x < indices.size(); ++x) {
      const Rgb rgb = ColourAt(palette, indices[x]);
      colours[x * kRgbChannels] = rgb.red;
      colours[x * kRgbChannels + 1] = rgb.green;
      colours[x * kRgbChannels + 2] = rgb.blue;
    }
    // The filter that leaves the smallest sum of the bytes' sizes as signed numbers, the first
    // of equals, as the writer chooses.
    const auto filter = [&](int type) {
      stbiw__encode_png_line(window.data(), lineBytes, plane.width, 2, windowRow, kRgbChannels,
                             type, filtered.data());
    };
    int best = 0;
    std::int64_t bestSum = INT64_MAX;
    for (int type = 0; type < kFilters; ++type) {
      filter(type);
      std::int64_t sum = 0;
      for (const signed char byte : filtered) {
        sum += std::abs(int{byte});
      }
      if (sum < bestSum) {
        bestSum = sum;
        best = type;
      }
    }
    if (best != kFilters - 1) {
      filter(best);
    }
    std::uint8_t* row =
        rows.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowBytes);
    row[0] = static_cast<std::uint8_t>(best);
    std::memcpy(row + 1, filtered.data(), line);
    if (windowRow == 1) {
      std::memcpy(window.data(), colours, line);
    }
  }
  window = {};
  int compressedBytes = 0;
  struct Free {
    void operator()(unsigned char* bytes) const noexcept { std::free(bytes); }
  };
  const std::unique_ptr<unsigned char, Free> compressed(
      stbi_zlib_compress(rows.data(), static_cast<int>(rows.size()), &compressedBytes,
                         stbi_write_png_compression_level));
  if (!compressed || compressedBytes < 0) {
    return {};
  }
  rows = {};
  std::vector<std::uint8_t> out;
  PutSignatureAndHeader(out, plane.width, plane.height, kPngRgb);
  PutImageData(out, {compressed.get(), static_cast<std::size_t>(compressedBytes)});
  PutEnd(out);
  return out;
}

}  // namespace vostrel
