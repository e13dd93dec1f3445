// The PNG and APNG writer (see png_encode.hpp).
#include "formats/png/png_encode.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace vostrel {

namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// IHDR: bit depth 8, colour type 3 (indexed), compression 0, filter method 0, no interlace.
constexpr std::uint8_t kBitDepth = 8;
constexpr std::uint8_t kColourTypeIndexed = 3;
// Image data is cut into IDAT (or fdAT) chunks of at most this many bytes; a chunk's length
// field allows up to 2^31 - 1.
constexpr std::size_t kMaxDataChunk = std::size_t{1} << 30U;
// fcTL's dispose_op 1: the frame's region is cleared to transparent black before the next;
// blend_op 0: the frame replaces what it covers.
constexpr std::uint8_t kDisposeBackground = 1;
constexpr std::uint8_t kBlendSource = 0;

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

// Appends a chunk: its length, its type, its data and the CRC of type and data. The parts of
// data are written one after the other (fdAT's sequence number before its image data).
void PutChunk(std::vector<std::uint8_t>& out, std::string_view type,
              std::span<const std::uint8_t> head, std::span<const std::uint8_t> data = {}) {
  PutBe32(out, static_cast<std::uint32_t>(head.size() + data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), head.begin(), head.end());
  out.insert(out.end(), data.begin(), data.end());
  PutBe32(out, Crc32(std::span<const std::uint8_t>(out).subspan(typeAt)));
}

void PutHeaderChunks(std::vector<std::uint8_t>& out, std::int32_t width, std::int32_t height,
                     const IndexedColours& colours) {
  if (width < 1 || height < 1 || colours.palette.size() < kPaletteBytes) {
    throw std::invalid_argument("a PNG needs a size of 1 x 1 or more and a whole palette");
  }
  out.insert(out.end(), kPngSignature.begin(), kPngSignature.end());
  std::vector<std::uint8_t> ihdr;
  PutBe32(ihdr, static_cast<std::uint32_t>(width));
  PutBe32(ihdr, static_cast<std::uint32_t>(height));
  ihdr.insert(ihdr.end(), {kBitDepth, kColourTypeIndexed, 0, 0, 0});
  PutChunk(out, "IHDR", ihdr);

  std::array<std::uint8_t, kPaletteEntries * 3> plte{};
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const Rgb rgb = ColourAt(colours.palette, i);
    plte[i * 3] = rgb.red;
    plte[i * 3 + 1] = rgb.green;
    plte[i * 3 + 2] = rgb.blue;
  }
  PutChunk(out, "PLTE", plte);
  if (colours.transparent) {
    // Alpha of entries 0 to T: opaque up to T, T itself clear; entries past it stay opaque.
    std::vector<std::uint8_t> alpha(std::size_t{*colours.transparent} + 1, 0xFF);
    alpha.back() = 0;
    PutChunk(out, "tRNS", alpha);
  }
}

void PutImageData(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> compressed) {
  do {
    const std::size_t size = std::min(compressed.size(), kMaxDataChunk);
    PutChunk(out, "IDAT", compressed.first(size));
    compressed = compressed.subspan(size);
  } while (!compressed.empty());
}

void PutEnd(std::vector<std::uint8_t>& out) { PutChunk(out, "IEND", {}); }

}  // namespace

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
  PutHeaderChunks(out, width, height, colours);
  PutImageData(out, compressedRows);
  PutEnd(out);
  return out;
}

std::vector<std::uint8_t> EncodeIndexedPng(const IndexedPlane& plane, const IndexedColours& colours,
                                           ZlibCompressor& compressor) {
  return AssembleIndexedPng(plane.width, plane.height, CompressPngRows(plane, compressor), colours);
}

std::vector<std::uint8_t> EncodeApng(const Animation& animation, ZlibCompressor& compressor) {
  if (animation.frames.empty() || animation.fps < 1 ||
      animation.fps > static_cast<std::int32_t>(UINT16_MAX)) {
    throw std::invalid_argument("an animated PNG needs a frame and a rate of 1 or more");
  }
  std::vector<std::uint8_t> out;
  PutHeaderChunks(out, animation.width, animation.height, animation.colours);
  std::vector<std::uint8_t> actl;
  PutBe32(actl, static_cast<std::uint32_t>(animation.frames.size()));
  PutBe32(actl, 0);  // num_plays 0: forever
  PutChunk(out, "acTL", actl);

  std::uint32_t sequence = 0;
  std::vector<std::uint8_t> canvas;
  for (std::size_t i = 0; i < animation.frames.size(); ++i) {
    std::vector<std::uint8_t> fctl;
    PutBe32(fctl, sequence++);
    PutBe32(fctl, static_cast<std::uint32_t>(animation.width));
    PutBe32(fctl, static_cast<std::uint32_t>(animation.height));
    PutBe32(fctl, 0);  // x offset
    PutBe32(fctl, 0);  // y offset
    PutBe16(fctl, 1);  // delay: 1 / fps seconds
    PutBe16(fctl, static_cast<std::uint16_t>(animation.fps));
    fctl.push_back(kDisposeBackground);
    fctl.push_back(kBlendSource);
    PutChunk(out, "fcTL", fctl);

    PaintOnCanvas(animation.frames[i], animation.width, animation.height,
                  BackgroundIndex(animation.colours), canvas);
    const IndexedPlane whole{animation.width, animation.height,
                             static_cast<std::size_t>(animation.width), canvas};
    const std::span<const std::uint8_t> compressed = CompressPngRows(whole, compressor);
    if (i == 0) {
      // The first frame is the default image as well, so viewers without APNG show it.
      PutImageData(out, compressed);
      continue;
    }
    std::span<const std::uint8_t> rest = compressed;
    do {
      const std::size_t size = std::min(rest.size(), kMaxDataChunk);
      std::vector<std::uint8_t> head;
      PutBe32(head, sequence++);
      PutChunk(out, "fdAT", head, rest.first(size));
      rest = rest.subspan(size);
    } while (!rest.empty());
  }
  PutEnd(out);
  return out;
}

}  // namespace vostrel
