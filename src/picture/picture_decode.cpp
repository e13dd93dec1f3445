// Picture files by their signature: BMPs to our own reader, PNGs to the image library, the one
// source that sees it (everything of it stays in this file).
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "io/checked.hpp"
#include "picture/picture_internal.hpp"

namespace vostrel {
namespace {

// The largest block the image library may allocate while it decodes one picture. It sizes its
// buffers from the picture's header and grows them as the data unpacks; without a bound, a
// small PNG whose data unpacks far beyond its pixels would have it allocate gigabytes.
thread_local std::size_t allocationLimit = SIZE_MAX;
thread_local bool allocationRefused = false;
// An allocation within the bound that the system refused: memory ran out, which the library
// reports as a failure like any other, and which must not be taken for a damaged picture.
thread_local bool memoryExhausted = false;

void* Allocated(void* block, std::size_t size) {
  if (block == nullptr && size > 0) {
    memoryExhausted = true;
  }
  return block;
}

void* LimitedMalloc(std::size_t size) {
  if (size > allocationLimit) {
    allocationRefused = true;
    return nullptr;
  }
  return Allocated(std::malloc(size), size);
}

void* LimitedRealloc(void* block, std::size_t size) {
  if (size > allocationLimit) {
    allocationRefused = true;
    return nullptr;
  }
  return Allocated(std::realloc(block, size), size);
}

}  // namespace
}  // namespace vostrel

#define STBI_MALLOC(size) vostrel::LimitedMalloc(size)
#define STBI_REALLOC(block, size) vostrel::LimitedRealloc(block, size)
#define STBI_FREE(block) std::free(block)
// Only PNG (BMPs are ours), read from memory; failure texts meant for users.
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_FAILURE_USERMSG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

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
  std::vector<std::uint8_t> table(count * 4, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const auto entry = entries.subspan(i * entryBytes, 3);
    for (std::size_t c = 0; c < 3; ++c) {
      table[i * 4 + c] = entry[rgbOrder ? 2 - c : c];
    }
  }
  return table;
}

void ColourIndexed(RgbPicture& picture) {
  picture.channels = 3;
  picture.pixels.resize(picture.indices.size() * 3);
  for (std::size_t i = 0; i < picture.indices.size(); ++i) {
    const auto entry =
        std::span(picture.colourTable).subspan(std::size_t{picture.indices[i]} * 4, 3);
    for (std::size_t c = 0; c < 3; ++c) {
      picture.pixels[i * 3 + c] = entry[2 - c];
    }
  }
}

}  // namespace picture_detail

namespace {

using namespace picture_detail;

constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::array<std::uint8_t, 2> kBmpSignature{'B', 'M'};

// A PNG chunk: 32-bit big-endian length of its data, 4-byte type, the data, a 32-bit CRC.
constexpr std::size_t kChunkOverhead = 12;
constexpr std::size_t kChunkDataAt = 8;
// IHDR's data: width, height, bit depth, then the colour type at byte 9.
constexpr std::size_t kIhdrColourTypeAt = 9;
constexpr std::uint8_t kPngIndexed = 3;
// PLTE: 3-byte entries, red, green, blue; at most 256.
constexpr std::size_t kPlteEntryBytes = 3;
constexpr std::size_t kMaxPlteEntries = 256;

constexpr std::uint8_t kOpaque = 255;
constexpr std::int32_t kRgb = 3;
constexpr std::int32_t kRgba = 4;
constexpr std::int32_t kGreyAlpha = 2;
constexpr std::uint64_t kLibrarySlack = std::uint64_t{64} << 10;

template <std::size_t N>
bool StartsWith(std::span<const std::uint8_t> bytes, const std::array<std::uint8_t, N>& prefix) {
  return bytes.size() >= N && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

std::uint32_t ReadBe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
         (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

// What a PNG says before its pixels, as far as it can be read: the library is left to refuse
// whatever is wrong with it.
struct PngChunks {
  std::uint8_t colourType = 0;
  std::size_t plteAt = 0;  // where the PLTE chunk starts; 0 when there is none
  std::span<const std::uint8_t> plte;
  std::span<const std::uint8_t> trns;
  bool hasTrns = false;
};

PngChunks ReadPngChunks(std::span<const std::uint8_t> bytes) {
  PngChunks chunks;
  std::size_t at = kPngSignature.size();
  while (bytes.size() - at >= kChunkOverhead) {
    const std::uint32_t length = ReadBe32(bytes, at);
    const auto type = bytes.subspan(at + 4, 4);
    if (length > bytes.size() - at - kChunkOverhead) {
      break;
    }
    const auto data = bytes.subspan(at + kChunkDataAt, length);
    const auto is = [&](const char* name) { return std::equal(type.begin(), type.end(), name); };
    if (is("IDAT") || is("IEND")) {
      break;
    }
    if (is("IHDR") && length > kIhdrColourTypeAt) {
      chunks.colourType = data[kIhdrColourTypeAt];
    } else if (is("PLTE")) {
      chunks.plteAt = at;
      chunks.plte = data;
    } else if (is("tRNS")) {
      chunks.trns = data;
      chunks.hasTrns = true;
    }
    at += kChunkOverhead + length;
  }
  return chunks;
}

[[noreturn]] void RefuseUnreadablePng() {
  if (memoryExhausted) {
    throw std::bad_alloc();
  }
  if (allocationRefused) {
    RefuseDamaged("PNG", "its data unpacks to more than its pixels need");
  }
  // The library does not give a reason for every failure.
  const char* reason = stbi_failure_reason();
  Refuse(std::string("cannot be read as a PNG") +
         (reason != nullptr ? std::string(" (") + reason + ")" : std::string()) + kSaveAgain);
}

// Decodes a PNG to `wanted` channels (0: as the library's header scan tells, RGB or RGBA).
RgbPicture LoadPng(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels, int wanted) {
  const auto length = static_cast<int>(bytes.size());
  if (stbi_is_16_bit_from_memory(bytes.data(), length) != 0) {
    Refuse("is a PNG of 16 bits per channel; save it with 8 bits per channel");
  }
  int width = 0;
  int height = 0;
  int channels = 0;
  // The library keeps its last failure's reason until the next one, and gives none for some:
  // cleared before each call, so that an earlier one is never told as this one's.
  stbi__g_failure_reason = nullptr;
  memoryExhausted = false;
  if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0) {
    RefuseUnreadablePng();
  }
  CheckPixelCount(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), maxPixels);
  if (wanted == 0) {
    wanted = channels == kGreyAlpha || channels == kRgba ? kRgba : kRgb;
  }

  // Twice (buffers grow by doubling) the larger of the file and its pixels unpacked (four bytes
  // each and a byte a row), with room for the library's small tables.
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  const std::uint64_t unpacked = pixels * kRgba + static_cast<std::uint64_t>(height);
  allocationLimit =
      static_cast<std::size_t>(2 * std::max<std::uint64_t>(bytes.size(), unpacked) + kLibrarySlack);
  allocationRefused = false;
  memoryExhausted = false;
  struct LimitEnd {
    ~LimitEnd() { allocationLimit = SIZE_MAX; }
  } limitEnd;

  stbi__g_failure_reason = nullptr;
  stbi_uc* const loaded =
      stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, wanted);
  if (loaded == nullptr) {
    RefuseUnreadablePng();
  }
  struct Free {
    stbi_uc* block;
    ~Free() { stbi_image_free(block); }
  } release{loaded};
  RgbPicture picture;
  picture.width = width;
  picture.height = height;
  picture.channels = wanted;
  picture.pixels.assign(loaded, loaded + pixels * static_cast<std::uint64_t>(wanted));
  return picture;
}

// The library gives an indexed PNG's colours, not its indices, and reads an index past the
// palette from memory it never filled. So it is given the file with a palette of all 256
// entries whose red is the entry's own index: the red it gives back is each pixel's index.
RgbPicture DecodeIndexedPng(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                            std::uint64_t maxPixels, bool keepTransparency) {
  const std::size_t entries = chunks.plte.size() / kPlteEntryBytes;
  std::vector<std::uint8_t> recoloured(bytes.begin(),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(chunks.plteAt));
  const std::uint32_t plteLength = kMaxPlteEntries * kPlteEntryBytes;
  for (const int shift : {24, 16, 8, 0}) {
    recoloured.push_back(static_cast<std::uint8_t>(plteLength >> shift));
  }
  recoloured.insert(recoloured.end(), {'P', 'L', 'T', 'E'});
  for (std::size_t i = 0; i < kMaxPlteEntries; ++i) {
    recoloured.insert(recoloured.end(), {static_cast<std::uint8_t>(i), 0, 0});
  }
  // The library does not check chunks' CRCs; this one is never seen by anything else.
  recoloured.insert(recoloured.end(), {0, 0, 0, 0});
  const std::size_t rest = chunks.plteAt + kChunkOverhead + chunks.plte.size();
  recoloured.insert(recoloured.end(), bytes.begin() + static_cast<std::ptrdiff_t>(rest),
                    bytes.end());
  if (recoloured.size() > static_cast<std::size_t>(INT_MAX)) {
    Refuse("is too large a file to read (more than 2 GiB); make it smaller");
  }

  RgbPicture picture = LoadPng(recoloured, maxPixels, kRgb);
  picture.indices.resize(picture.PixelCount());
  for (std::size_t i = 0; i < picture.indices.size(); ++i) {
    picture.indices[i] = picture.pixels[i * kRgb];
  }
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
    picture.entryAlphas.assign(picture.colourTable.size() / 4, kOpaque);
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

}  // namespace

RgbPicture DecodePicture(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels,
                         PictureOptions options) {
  if (StartsWith(bytes, kBmpSignature)) {
    RgbPicture picture = DecodeBmp(bytes, maxPixels);
    return options.keepTransparency ? WithAlpha(std::move(picture)) : picture;
  }
  if (!StartsWith(bytes, kPngSignature)) {
    Refuse("is not a BMP or PNG picture; save it as BMP or PNG");
  }
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    Refuse("is too large a file to read (more than 2 GiB); make it smaller");
  }
  const PngChunks chunks = ReadPngChunks(bytes);
  if (chunks.colourType == kPngIndexed && chunks.plteAt != 0 &&
      chunks.plte.size() % kPlteEntryBytes == 0 &&
      chunks.plte.size() <= kMaxPlteEntries * kPlteEntryBytes) {
    RgbPicture picture = DecodeIndexedPng(bytes, chunks, maxPixels, options.keepTransparency);
    return options.keepTransparency ? WithAlpha(std::move(picture)) : picture;
  }
  // A transparent colour (tRNS of a grey or RGB picture) is alpha like any other.
  RgbPicture picture =
      LoadPng(bytes, maxPixels, chunks.hasTrns || options.keepTransparency ? kRgba : 0);
  if (picture.channels == kRgba && !options.keepTransparency) {
    CheckOpaque(picture.PixelCount(), static_cast<std::size_t>(picture.width),
                [&](std::size_t i) { return picture.pixels[i * kRgba + kRgb]; });
  }
  return picture;
}

}  // namespace vostrel
