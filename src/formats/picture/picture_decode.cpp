// Picture files by their signature: BMPs to our own reader, PNGs through our own walk over their
// chunks to the image library (png_spng.cpp or png_stb.cpp, as the build chooses), and what both
// readers share: their refusals, colour tables, and the checks of indices and transparency.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "formats/picture/picture_internal.hpp"
#include "io/checked.hpp"
#include "sprite/palette.hpp"

namespace vostrel {

namespace picture_detail {

void Refuse(const std::string& text) { throw PictureError(text); }

void RefuseDamaged(const char* kind, const std::string& what) {
  Refuse(std::string("is a damaged ") + kind + ": " + what + kSaveAgain);
}

void CheckPixelCount(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels) {
  if (width == 0 || height == 0) {
    Refuse("has no pixels (" + std::to_string(width) + " x " + std::to_string(height) +
           "); save it again with at least one pixel");
  }
  const auto pixels = CheckedMul(width, height);
  if (!pixels || *pixels > maxPixels) {
    Refuse("is too large: " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, more than " + std::to_string(maxPixels) + "; make it smaller");
  }
}

void CheckIndices(const char* kind, std::span<const std::uint8_t> indices, std::size_t width,
                  std::size_t entries) {
  std::uint64_t outside = 0;
  std::size_t first = 0;
  for (std::size_t i = 0; i < indices.size(); ++i) {
    if (indices[i] >= entries && outside++ == 0) {
      first = i;
    }
  }
  if (outside > 0) {
    RefuseDamaged(kind, PixelsText(outside) + " past its colour table of " +
                            std::to_string(entries) + (entries == 1 ? " entry" : " entries") +
                            ", the first at " + PositionText(first % width, first / width) +
                            " (index " + std::to_string(indices[first]) + ")");
  }
}

void RefuseTransparent(std::uint64_t transparent, std::size_t first, std::size_t width) {
  Refuse("has " + PixelsText(transparent) + " not fully opaque (alpha below 255), the first at " +
         PositionText(first % width, first / width) + "; make every pixel opaque");
}

std::vector<std::uint8_t> ColourTable(std::span<const std::uint8_t> entries, std::size_t count,
                                      std::size_t entryBytes, bool rgbOrder) {
  constexpr auto kEntryBytes = static_cast<std::size_t>(kPaletteEntryBytes);
  // Where the file's entry holds red and blue; green is between them either way.
  const std::size_t redFrom = rgbOrder ? 0 : 2;
  const std::size_t blueFrom = rgbOrder ? 2 : 0;
  std::vector<std::uint8_t> table(count * kEntryBytes, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const auto entry = entries.subspan(i * entryBytes, 3);
    const auto out = std::span(table).subspan(i * kEntryBytes, kEntryBytes);
    out[kPaletteRedAt] = entry[redFrom];
    out[kPaletteGreenAt] = entry[1];
    out[kPaletteBlueAt] = entry[blueFrom];
  }
  return table;
}

void ColourIndexed(RgbPicture& picture) {
  constexpr auto kEntryBytes = static_cast<std::size_t>(kPaletteEntryBytes);
  picture.channels = 3;
  picture.pixels.resize(picture.indices.size() * 3);
  for (std::size_t i = 0; i < picture.indices.size(); ++i) {
    const auto entry = std::span(picture.colourTable)
                           .subspan(std::size_t{picture.indices[i]} * kEntryBytes, kEntryBytes);
    picture.pixels[i * 3] = entry[kPaletteRedAt];
    picture.pixels[i * 3 + 1] = entry[kPaletteGreenAt];
    picture.pixels[i * 3 + 2] = entry[kPaletteBlueAt];
  }
}

namespace {

// A PNG chunk: 32-bit big-endian length of its data, 4-byte type, the data, a 32-bit CRC.
constexpr std::size_t kChunkOverhead = 12;
constexpr std::size_t kChunkTypeAt = 4;
constexpr std::size_t kChunkDataAt = 8;
// IHDR's data: width, height (32 bits each), bit depth, then the colour type at byte 9; 13 bytes.
constexpr std::size_t kIhdrColourTypeAt = 9;
constexpr std::uint32_t kIhdrBytes = 13;

std::uint32_t ReadBe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
         (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

}  // namespace

PngChunks ScanPng(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kSignatureBytes = 8;
  PngChunks chunks;
  std::uint64_t idatBytes = 0;
  bool pixelsBegun = false;  // what comes after the first IDAT says nothing about the pixels
  std::size_t at = kSignatureBytes;
  // A file that ends inside a chunk's length and type is left to the library.
  while (bytes.size() - at >= kChunkDataAt) {
    const std::size_t left = bytes.size() - at;
    const std::uint32_t length = ReadBe32(bytes, at);
    const auto typeBytes = bytes.subspan(at + kChunkTypeAt, 4);
    const std::string type(typeBytes.begin(), typeBytes.end());
    // Nothing of the end chunk is read, nor anything after it.
    if (type == "IEND") {
      break;
    }
    if (left < kChunkOverhead || length > left - kChunkOverhead) {
      Refuse("cannot be read as a PNG (the file ends inside its chunk at byte " +
             std::to_string(at) + ", which is said to hold " + std::to_string(length) + " bytes)" +
             kSaveAgain);
    }
    const auto data = bytes.subspan(at + kChunkDataAt, length);
    if (type == "IDAT") {
      pixelsBegun = true;
      idatBytes += length;
      if (length == 0 && chunks.emptyIdatAt == 0) {
        chunks.emptyIdatAt = at;
      }
    } else if (type == "IHDR" && at == kSignatureBytes && length == kIhdrBytes) {
      chunks.hasHeader = true;
      chunks.width = ReadBe32(data, 0);
      chunks.height = ReadBe32(data, 4);
      chunks.colourType = data[kIhdrColourTypeAt];
    } else if (type == "PLTE" && !pixelsBegun && chunks.plteAt == 0) {
      chunks.plteAt = at;
      chunks.plte = data;
    } else if (type == "tRNS" && !pixelsBegun && !chunks.hasTrns) {
      chunks.trns = data;
      chunks.hasTrns = true;
    }
    at += kChunkOverhead + length;
  }
  if (idatBytes == 0) {
    RefuseDamaged("PNG", "it holds no pixel data (no IDAT chunk, or only empty ones)");
  }
  return chunks;
}

}  // namespace picture_detail

namespace {

using namespace picture_detail;

constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::array<std::uint8_t, 2> kBmpSignature{'B', 'M'};

// PLTE: 3-byte entries, red, green, blue; at most 256.
constexpr std::size_t kPlteEntryBytes = 3;
constexpr std::size_t kMaxPlteEntries = 256;
// IHDR's colour types that carry alpha: grey with alpha, RGB with alpha.
constexpr std::uint8_t kPngGreyAlpha = 4;
constexpr std::uint8_t kPngRgbAlpha = 6;

constexpr std::uint8_t kOpaque = 255;
constexpr std::int32_t kRgb = 3;
constexpr std::int32_t kRgba = 4;

template <std::size_t N>
bool StartsWith(std::span<const std::uint8_t> bytes, const std::array<std::uint8_t, N>& prefix) {
  return bytes.size() >= N && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// An indexed PNG: its indices from the library, colours and alphas from its PLTE and tRNS.
RgbPicture DecodeIndexedPng(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                            std::uint64_t maxPixels, bool keepTransparency) {
  RgbPicture picture = DecodePngPixels(bytes, chunks, maxPixels, kRgb);
  // The library refuses a palette it cannot use; this is for one that it would take.
  if (chunks.plteAt == 0 || chunks.plte.size() % kPlteEntryBytes != 0 ||
      chunks.plte.size() > kMaxPlteEntries * kPlteEntryBytes ||
      picture.indices.size() != picture.PixelCount()) {
    RefuseDamaged("PNG", "its palette (PLTE chunk) is missing or of a wrong size");
  }
  const std::size_t entries = chunks.plte.size() / kPlteEntryBytes;
  const auto width = static_cast<std::size_t>(picture.width);
  CheckIndices("PNG", picture.indices, width, entries);
  const auto alphaOf = [&](std::size_t index) {
    return index < chunks.trns.size() ? chunks.trns[index] : kOpaque;
  };
  if (keepTransparency) {
    picture.entryAlphas.resize(entries);
    for (std::size_t i = 0; i < entries; ++i) {
      picture.entryAlphas[i] = alphaOf(i);
    }
  } else {
    CheckOpaque(picture.indices.size(), width,
                [&](std::size_t i) { return alphaOf(picture.indices[i]); });
  }
  picture.colourTable = ColourTable(chunks.plte, entries, kPlteEntryBytes, true);
  ColourIndexed(picture);
  return picture;
}

// The picture as 4 channels: an indexed one's alpha from its table's entries, everything else
// opaque where the file gave no alpha.
RgbPicture WithAlpha(RgbPicture picture) {
  if (!picture.indices.empty() && picture.entryAlphas.empty()) {
    picture.entryAlphas.assign(picture.colourTable.size() / kPaletteEntryBytes, kOpaque);
  }
  if (picture.channels == kRgba) {
    return picture;
  }
  const std::size_t count = picture.PixelCount();
  std::vector<std::uint8_t> rgba(count * kRgba);
  for (std::size_t i = 0; i < count; ++i) {
    std::copy_n(picture.pixels.begin() + static_cast<std::ptrdiff_t>(i * kRgb), kRgb,
                rgba.begin() + static_cast<std::ptrdiff_t>(i * kRgba));
    rgba[i * kRgba + kRgb] =
        picture.indices.empty() ? kOpaque : picture.entryAlphas[picture.indices[i]];
  }
  picture.pixels = std::move(rgba);
  picture.channels = kRgba;
  return picture;
}

RgbPicture DecodePng(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels,
                     bool keepTransparency) {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    Refuse("is too large a file to read (more than 2 GiB); make it smaller");
  }
  const PngChunks chunks = ScanPng(bytes);
  // Before any library sees it, so that every build says the same.
  if (chunks.hasHeader) {
    CheckPixelCount(chunks.width, chunks.height, maxPixels);
  }
  if (chunks.colourType == kPngIndexed) {
    return DecodeIndexedPng(bytes, chunks, maxPixels, keepTransparency);
  }
  // A transparent colour (tRNS of a grey or RGB picture) is alpha like any other.
  const bool alpha = keepTransparency || chunks.hasTrns || chunks.colourType == kPngGreyAlpha ||
                     chunks.colourType == kPngRgbAlpha;
  const std::int32_t channels = alpha ? kRgba : kRgb;
  RgbPicture picture = DecodePngPixels(bytes, chunks, maxPixels, channels);
  // Only when our walk and the library disagree about the header (two IHDR chunks, say).
  if (picture.channels != channels ||
      picture.pixels.size() != picture.PixelCount() * static_cast<std::size_t>(channels)) {
    RefuseDamaged("PNG", "its header (IHDR chunk) is damaged");
  }
  if (picture.channels == kRgba && !keepTransparency) {
    CheckOpaque(picture.PixelCount(), static_cast<std::size_t>(picture.width),
                [&](std::size_t i) { return picture.pixels[i * kRgba + kRgb]; });
  }
  return picture;
}

}  // namespace

RgbPicture DecodePicture(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels,
                         PictureOptions options) {
  RgbPicture picture;
  if (StartsWith(bytes, kBmpSignature)) {
    picture = DecodeBmp(bytes, maxPixels);
  } else if (StartsWith(bytes, kPngSignature)) {
    picture = DecodePng(bytes, maxPixels, options.keepTransparency);
  } else {
    Refuse("is not a BMP or PNG picture; save it as BMP or PNG");
  }
  return options.keepTransparency ? WithAlpha(std::move(picture)) : picture;
}

}  // namespace vostrel
