// The PNG writer (see png_encode.hpp) and the chunk writer it shares with the animated PNG
// writer (png_write.hpp).
#include "formats/png/png_encode.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "formats/png/png_write.hpp"

namespace vostrel {

namespace {

// Every image we write has 8 bits a sample; compression method 0 (deflate), filter method 0 and
// no interlace are the only ones there are besides Adam7.
constexpr std::uint8_t kBitDepth = 8;
constexpr std::uint8_t kDeflate = 0;
constexpr std::uint8_t kFilterMethod = 0;
constexpr std::uint8_t kNoInterlace = 0;
// Image data is cut into IDAT (or fdAT) chunks of at most this many bytes; a chunk's length
// field allows up to 2^31 - 1.
constexpr std::size_t kMaxDataChunk = std::size_t{1} << 30U;

}  // namespace

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 24U));
  out.push_back(static_cast<std::uint8_t>(value >> 16U));
  out.push_back(static_cast<std::uint8_t>(value >> 8U));
  out.push_back(static_cast<std::uint8_t>(value));
}

void PutBe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8U));
  out.push_back(static_cast<std::uint8_t>(value));
}

void PutChunk(std::vector<std::uint8_t>& out, std::string_view type,
              std::span<const std::uint8_t> head, std::span<const std::uint8_t> data) {
  PutBe32(out, static_cast<std::uint32_t>(head.size() + data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), head.begin(), head.end());
  out.insert(out.end(), data.begin(), data.end());
  PutBe32(out, Crc32(std::span<const std::uint8_t>(out).subspan(typeAt)));
}

void PutSignatureAndHeader(std::vector<std::uint8_t>& out, std::int32_t width, std::int32_t height,
                           std::uint8_t colourType) {
  if (width < 1 || height < 1) {
    throw std::invalid_argument("a PNG needs a size of 1 x 1 or more");
  }
  out.insert(out.end(), kPngSignature.begin(), kPngSignature.end());
  std::vector<std::uint8_t> ihdr;
  PutBe32(ihdr, static_cast<std::uint32_t>(width));
  PutBe32(ihdr, static_cast<std::uint32_t>(height));
  ihdr.insert(ihdr.end(), {kBitDepth, colourType, kDeflate, kFilterMethod, kNoInterlace});
  PutChunk(out, kPngIhdr, ihdr);
}

void PutIndexedHeader(std::vector<std::uint8_t>& out, std::int32_t width, std::int32_t height,
                      const IndexedColours& colours) {
  if (colours.palette.size() < kPaletteBytes) {
    throw std::invalid_argument("an indexed PNG needs a whole palette");
  }
  PutSignatureAndHeader(out, width, height, kPngIndexed);
  std::array<std::uint8_t, kPaletteEntries * kPngPlteEntryBytes> plte{};
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const Rgb rgb = ColourAt(colours.palette, i);
    plte[i * kPngPlteEntryBytes] = rgb.red;
    plte[i * kPngPlteEntryBytes + 1] = rgb.green;
    plte[i * kPngPlteEntryBytes + 2] = rgb.blue;
  }
  PutChunk(out, kPngPlte, plte);
  if (colours.transparent) {
    // Alpha of entries 0 to T: opaque up to T, T itself clear; entries past it stay opaque.
    std::vector<std::uint8_t> alpha(std::size_t{*colours.transparent} + 1, 0xFF);
    alpha.back() = 0;
    PutChunk(out, kPngTrns, alpha);
  }
}

void PutImageData(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> compressed,
                  std::uint32_t* sequence) {
  do {
    const std::size_t size = std::min(compressed.size(), kMaxDataChunk);
    if (sequence == nullptr) {
      PutChunk(out, kPngIdat, compressed.first(size));
    } else {
      std::vector<std::uint8_t> head;
      PutBe32(head, (*sequence)++);
      PutChunk(out, kPngFdat, head, compressed.first(size));
    }
    compressed = compressed.subspan(size);
  } while (!compressed.empty());
}

void PutEnd(std::vector<std::uint8_t>& out) { PutChunk(out, kPngIend, {}); }

std::span<const std::uint8_t> CompressPngRows(const IndexedPlane& plane,
                                              ZlibCompressor& compressor) {
  const auto rowBytes = static_cast<std::size_t>(plane.width) + 1;
  std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(plane.height));
  for (std::int32_t y = 0; y < plane.height; ++y) {
    std::uint8_t* row = rows.data() + static_cast<std::size_t>(y) * rowBytes;
    row[0] = kPngFilterNone;
    const auto source = plane.Row(y);
    std::memcpy(row + 1, source.data(), source.size());
  }
  return compressor.Compress(rows);
}

std::vector<std::uint8_t> AssembleIndexedPng(std::int32_t width, std::int32_t height,
                                             std::span<const std::uint8_t> compressedRows,
                                             const IndexedColours& colours) {
  std::vector<std::uint8_t> out;
  out.reserve(compressedRows.size() + kPaletteEntries * 4 + 128);
  PutIndexedHeader(out, width, height, colours);
  PutImageData(out, compressedRows);
  PutEnd(out);
  return out;
}

std::vector<std::uint8_t> EncodeIndexedPng(const IndexedPlane& plane, const IndexedColours& colours,
                                           ZlibCompressor& compressor) {
  return AssembleIndexedPng(plane.width, plane.height, CompressPngRows(plane, compressor), colours);
}

}  // namespace vostrel
