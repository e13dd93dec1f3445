// A PNG's pixels through stb_image, for builds that cannot have libspng (the Windows cross build
// and the browser page's). The library trusts its input more than a reader of files from anyone
// should: our chunk walk refuses what has reached faults in it before it sees the file, and its
// allocations are bounded by the picture's size.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "formats/picture/picture_internal.hpp"

namespace vostrel::picture_detail {
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
}  // namespace vostrel::picture_detail

#define STBI_MALLOC(size) vostrel::picture_detail::LimitedMalloc(size)
#define STBI_REALLOC(block, size) vostrel::picture_detail::LimitedRealloc(block, size)
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

namespace vostrel::picture_detail {
namespace {

// A PNG chunk: 32-bit big-endian length of its data, 4-byte type, the data, a 32-bit CRC.
constexpr std::size_t kChunkOverhead = 12;
// PLTE: 3-byte entries, red, green, blue; at most 256.
constexpr std::size_t kPlteEntryBytes = 3;
constexpr std::size_t kMaxPlteEntries = 256;
constexpr std::int32_t kRgb = 3;
constexpr std::int32_t kRgba = 4;
constexpr std::uint64_t kLibrarySlack = std::uint64_t{64} << 10;

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

// Decodes a PNG to `wanted` channels (3 or 4).
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
RgbPicture LoadIndices(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                       std::uint64_t maxPixels) {
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
  picture.pixels.clear();
  picture.channels = 0;
  return picture;
}

}  // namespace

RgbPicture DecodePngPixels(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                           std::uint64_t maxPixels, std::int32_t channels) {
  // The library copies an empty data chunk from a buffer it has not allocated yet.
  if (chunks.emptyIdatAt != 0) {
    Refuse("cannot be read as a PNG (it has an empty IDAT chunk at byte " +
           std::to_string(chunks.emptyIdatAt) + ")" + kSaveAgain);
  }
  if (chunks.colourType == kPngIndexed && chunks.plteAt != 0 &&
      chunks.plte.size() % kPlteEntryBytes == 0 &&
      chunks.plte.size() <= kMaxPlteEntries * kPlteEntryBytes) {
    return LoadIndices(bytes, chunks, maxPixels);
  }
  return LoadPng(bytes, maxPixels, channels);
}

}  // namespace vostrel::picture_detail
