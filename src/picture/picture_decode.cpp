// The one source that sees the image library: everything of it stays in this file.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bmp/bmp_format.hpp"
#include "io/checked.hpp"
#include "io/le_bytes.hpp"
#include "picture/picture.hpp"

namespace vostrel {
namespace {

// The largest block the image library may allocate while it decodes one picture. It sizes its
// buffers from the picture's header and grows them as the data unpacks; without a bound, a
// small PNG whose data unpacks far beyond its pixels would have it allocate gigabytes.
thread_local std::size_t allocationLimit = SIZE_MAX;
thread_local bool allocationRefused = false;

void* LimitedMalloc(std::size_t size) {
  if (size > allocationLimit) {
    allocationRefused = true;
    return nullptr;
  }
  return std::malloc(size);
}

void* LimitedRealloc(void* block, std::size_t size) {
  if (size > allocationLimit) {
    allocationRefused = true;
    return nullptr;
  }
  return std::realloc(block, size);
}

}  // namespace
}  // namespace vostrel

#define STBI_MALLOC(size) vostrel::LimitedMalloc(size)
#define STBI_REALLOC(block, size) vostrel::LimitedRealloc(block, size)
#define STBI_FREE(block) std::free(block)
// Only the two formats we accept, read from memory; failure texts meant for users.
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_FAILURE_USERMSG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace vostrel {

void DecodedPixelsFree::operator()(std::uint8_t* pixels) const noexcept { stbi_image_free(pixels); }

namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::array<std::uint8_t, 2> kBmpSignature{'B', 'M'};

// BMP file header (kBmpFileHeaderSize bytes): the offset of the pixel rows at byte 10, then the
// info header, whose first word is its own size.
constexpr std::size_t kBmpPixelOffsetAt = 10;
constexpr std::size_t kBmpHeaderSizeAt = 14;
// The 40-byte info header (kBmpInfoHeaderSize) and its longer successors: 32-bit signed width
// and height (a negative height stores the rows top first), bits per pixel at byte 28, colour-
// table entries in the palette layout. The old 12-byte header, with 16-bit sizes and 3-byte
// entries, is not taken: no editor of today writes it, and the library sizes its colour table
// wrongly.
constexpr std::size_t kBmpWidthAt = 18;
constexpr std::size_t kBmpHeightAt = 22;
constexpr std::size_t kBmpInfoBitsAt = 28;
// Rows are padded to a multiple of four bytes.
constexpr std::uint64_t kBmpRowAlignBits = 32;
constexpr std::uint8_t kOpaque = 255;
constexpr std::int32_t kRgb = 3;
constexpr std::int32_t kRgba = 4;
constexpr std::int32_t kGreyAlpha = 2;
constexpr std::uint64_t kLibrarySlack = std::uint64_t{64} << 10;

template <std::size_t N>
bool StartsWith(std::span<const std::uint8_t> bytes, const std::array<std::uint8_t, N>& prefix) {
  return bytes.size() >= N && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

[[noreturn]] void Refuse(const std::string& text) { throw PictureError(text); }

[[noreturn]] void RefuseDamaged(const char* kind) {
  if (allocationRefused) {
    Refuse(std::string("is a damaged ") + kind + ": its data unpacks to more than its pixels need");
  }
  Refuse(std::string("cannot be read as a ") + kind + " (" + stbi_failure_reason() + ")");
}

void CheckPixelCount(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels) {
  if (width == 0 || height == 0) {
    Refuse("has no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")");
  }
  const auto pixels = CheckedMul(width, height);
  if (!pixels || *pixels > maxPixels) {
    Refuse("is too large: " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, more than " + std::to_string(maxPixels));
  }
}

// What the image library takes on trust in a BMP: it reads bytes past the end of the file as
// zeros, takes the magnitude of the height without checking it, and looks up indices past the
// colour table in memory it never filled. So the header's sizes are checked against the bytes
// present, and the indices of an 8-bit picture against its table, before it decodes anything.
void CheckBmp(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels) {
  if (bytes.size() < kBmpFileHeaderSize + 4) {
    Refuse("is a damaged BMP: the file ends inside its header");
  }
  const std::uint32_t offset = ReadLe32(bytes, kBmpPixelOffsetAt);
  const std::uint32_t headerSize = ReadLe32(bytes, kBmpHeaderSizeAt);
  if (headerSize < kBmpInfoHeaderSize) {
    Refuse("is a BMP with an old or unknown header; save it as a current BMP or as PNG");
  }
  if (bytes.size() < kBmpFileHeaderSize + kBmpInfoHeaderSize) {
    Refuse("is a damaged BMP: the file ends inside its header");
  }
  const std::int64_t width = ReadLe32Signed(bytes, kBmpWidthAt);
  const std::int64_t height = ReadLe32Signed(bytes, kBmpHeightAt);
  const std::uint16_t bits = ReadLe16(bytes, kBmpInfoBitsAt);
  if (bits != 8 && bits != 24 && bits != 32) {
    Refuse("is a BMP of " + std::to_string(bits) +
           " bits per pixel; save it as an 8-bit indexed, 24- or 32-bit BMP, or as PNG");
  }
  if (width < 0 || height == INT_MIN) {
    Refuse("is a damaged BMP: impossible size in its header");
  }
  const bool topDown = height < 0;
  const auto columns = static_cast<std::uint64_t>(width);
  const auto rows = static_cast<std::uint64_t>(topDown ? -height : height);
  CheckPixelCount(columns, rows, maxPixels);

  // The width is bounded by the pixel count checked above, so the stride cannot overflow.
  const std::uint64_t stride = (columns * bits + kBmpRowAlignBits - 1) / kBmpRowAlignBits * 4;
  const auto rowBytes = CheckedMul(stride, rows);
  const auto needed = rowBytes ? CheckedAdd(std::uint64_t{offset}, *rowBytes) : std::nullopt;
  if (!needed || *needed > bytes.size()) {
    Refuse("ends early: its header announces more pixel rows than the file holds");
  }

  const std::uint64_t tableStart = kBmpFileHeaderSize + headerSize;
  if (bits != 8 || offset <= tableStart) {
    return;  // no colour table: the library refuses an 8-bit picture without one
  }
  const std::uint64_t entries = (offset - tableStart) / kPaletteEntryBytes;
  if (entries >= 256) {
    return;  // every index has an entry (and the library refuses more than 256)
  }
  std::uint64_t outside = 0;
  std::uint64_t firstX = 0;
  std::uint64_t firstY = 0;
  std::uint8_t firstIndex = 0;
  for (std::uint64_t y = 0; y < rows; ++y) {
    const std::uint64_t fileRow = topDown ? y : rows - 1 - y;
    const auto row = bytes.subspan(static_cast<std::size_t>(offset + fileRow * stride),
                                   static_cast<std::size_t>(columns));
    for (std::uint64_t x = 0; x < columns; ++x) {
      if (row[static_cast<std::size_t>(x)] >= entries && outside++ == 0) {
        firstX = x;
        firstY = y;
        firstIndex = row[static_cast<std::size_t>(x)];
      }
    }
  }
  if (outside > 0) {
    Refuse("is a damaged BMP with " + PixelsText(outside) + " past its colour table of " +
           std::to_string(entries) + " entries, the first at " + PositionText(firstX, firstY) +
           " (index " + std::to_string(firstIndex) + ")");
  }
}

void CheckOpaque(const RgbPicture& picture) {
  const auto bytes = picture.Bytes();
  std::uint64_t transparent = 0;
  std::size_t first = 0;
  for (std::size_t i = 0; i < picture.PixelCount(); ++i) {
    if (bytes[i * kRgba + kRgb] != kOpaque && transparent++ == 0) {
      first = i;
    }
  }
  if (transparent > 0) {
    const auto width = static_cast<std::size_t>(picture.width);
    Refuse("has " + PixelsText(transparent) + " not fully opaque (alpha below 255), the first at " +
           PositionText(first % width, first / width) +
           "; make every pixel opaque or save it without alpha");
  }
}

}  // namespace

RgbPicture DecodePicture(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels) {
  const bool png = StartsWith(bytes, kPngSignature);
  if (!png && !StartsWith(bytes, kBmpSignature)) {
    Refuse("is not a BMP or PNG picture");
  }
  const char* const kind = png ? "PNG" : "BMP";
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    Refuse("is too large a file to read (more than 2 GiB)");
  }
  const auto length = static_cast<int>(bytes.size());
  if (!png) {
    CheckBmp(bytes, maxPixels);
  } else if (stbi_is_16_bit_from_memory(bytes.data(), length) != 0) {
    Refuse("is a PNG of 16 bits per channel; save it with 8 bits per channel");
  }
  int width = 0;
  int height = 0;
  int channels = 0;
  if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0) {
    RefuseDamaged(kind);
  }
  // A top-down BMP tells its height negative here; CheckBmp has made sure it has a magnitude.
  CheckPixelCount(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(std::abs(height)),
                  maxPixels);

  // Twice (buffers grow by doubling) the larger of the file and its pixels unpacked (four bytes
  // each and a byte a row), with room for the library's small tables.
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(std::abs(height));
  const std::uint64_t unpacked = pixels * kRgba + static_cast<std::uint64_t>(std::abs(height));
  allocationLimit =
      static_cast<std::size_t>(2 * std::max<std::uint64_t>(bytes.size(), unpacked) + kLibrarySlack);
  allocationRefused = false;
  struct LimitEnd {
    ~LimitEnd() { allocationLimit = SIZE_MAX; }
  } limitEnd;

  // Only a PNG's alpha means anything: the fourth byte of a 32-bit BMP is ignored, as in a
  // colour table.
  const int wanted = png && (channels == kGreyAlpha || channels == kRgba) ? kRgba : kRgb;
  RgbPicture picture;
  picture.pixels.reset(
      stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, wanted));
  if (!picture.pixels) {
    RefuseDamaged(kind);
  }
  picture.width = width;
  picture.height = height;
  picture.channels = wanted;
  if (wanted == kRgba) {
    CheckOpaque(picture);
  }
  return picture;
}

}  // namespace vostrel
