// A PNG's pixels through stb_image: the decoder of the builds that cannot have libspng (the
// Windows cross build and the browser page's), built beside libspng elsewhere so that the same
// cases test both. The library trusts its input more than a reader of files from anyone
// should: our chunk walk refuses what has reached faults in it before it sees the file, and its
// allocations are bounded by the picture's size.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "formats/png/png_read.hpp"

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

constexpr std::int32_t kRgb = 3;
constexpr std::int32_t kRgba = 4;
constexpr std::uint64_t kLibrarySlack = std::uint64_t{64} << 10;
// deflate's uncompressed blocks: a byte of block header, then their length and its complement
// (16 bits each, little-endian), then up to 65535 bytes as they are. Our zlib streams start with
// the 2-byte header of deflate with a 32 KiB window, and end with a 4-byte checksum.
constexpr std::size_t kStoredBlockMost = 0xFFFF;
constexpr std::size_t kStoredBlockHead = 5;
constexpr std::uint8_t kFinalStoredBlock = 1;
constexpr std::array<std::uint8_t, 2> kZlibHeader{0x78, 0x01};
constexpr std::size_t kZlibChecksumBytes = 4;

// How the library's last call failed.
struct Failure {
  bool exhausted = false;  // the system had no memory to give
  bool refused = false;    // past the bound on its allocations
  const char* reason = nullptr;
};

Failure LastFailure() { return {memoryExhausted, allocationRefused, stbi_failure_reason()}; }

[[noreturn]] void RefuseUnreadablePng(const Failure& failure) {
  if (failure.exhausted) {
    throw std::bad_alloc();
  }
  if (failure.refused) {
    RefuseDamaged("PNG", "its data unpacks to more than its pixels need");
  }
  // The library does not give a reason for every failure.
  Refuse(std::string("cannot be read as a PNG") +
         (failure.reason != nullptr ? std::string(" (") + failure.reason + ")" : std::string()) +
         kSaveAgain);
}

void PutBe32(std::vector<std::uint8_t>& out, std::size_t value) {
  for (const unsigned shift : {24U, 16U, 8U, 0U}) {
    out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

// The library reads a PNG's image data to its end, and refuses a file without an end chunk:
// where its data holds every row before it runs on, stops short of its end, or is damaged, or
// before the file stops, this is the file with its image data cut to those rows, uncompressed,
// and an end chunk; nothing where it does not. The library checks no chunk's CRC nor the
// stream's checksum: they are left 0.
std::optional<std::vector<std::uint8_t>> EndedAtItsRows(std::span<const std::uint8_t> bytes) {
  const PngChunks chunks = ScanPng(bytes);
  const std::optional<std::uint64_t> needed =
      chunks.hasHeader ? PngRowBytes(chunks.header) : std::nullopt;
  // The library's sizes are ints.
  if (!needed || *needed > static_cast<std::uint64_t>(INT_MAX) / 2) {
    return std::nullopt;
  }
  const auto rowBytes = static_cast<std::size_t>(*needed);
  // The library's inflater fills a buffer of fixed size until a block would run past its end:
  // with room for a whole uncompressed block past the rows, it stops only once it has them all.
  std::vector<std::uint8_t> rows(rowBytes + kStoredBlockMost, 0);
  {
    const std::vector<std::uint8_t> data = PngImageData(bytes, chunks);
    const auto inflate = [&data](std::vector<std::uint8_t>& out) {
      stbi__zbuf stream{};
      stream.zbuffer = const_cast<stbi_uc*>(data.data());  // only read
      stream.zbuffer_end = stream.zbuffer + data.size();
      stbi__do_zlib(&stream, reinterpret_cast<char*>(out.data()), static_cast<int>(out.size()), 0,
                    1);
    };
    // It writes in order, but where the data stops or is damaged it does not say how far it got:
    // run over a buffer of other bytes, the first byte where the two differ is the first it
    // never wrote.
    inflate(rows);
    std::vector<std::uint8_t> other(rows.size(), 0xFF);
    inflate(other);
    const auto unwritten = std::mismatch(rows.begin(), rows.end(), other.begin()).first;
    if (static_cast<std::size_t>(unwritten - rows.begin()) < rowBytes) {
      return std::nullopt;
    }
  }
  const std::size_t blocks =
      std::max<std::size_t>(1, (rowBytes + kStoredBlockMost - 1) / kStoredBlockMost);
  const std::size_t streamBytes =
      kZlibHeader.size() + blocks * kStoredBlockHead + rowBytes + kZlibChecksumBytes;
  std::vector<std::uint8_t> file(bytes.begin(),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(chunks.firstIdatAt));
  file.reserve(file.size() + streamBytes + 2 * kPngChunkOverhead);
  PutBe32(file, streamBytes);
  file.insert(file.end(), kPngIdat.begin(), kPngIdat.end());
  file.insert(file.end(), kZlibHeader.begin(), kZlibHeader.end());
  for (std::size_t at = 0, block = 0; block < blocks; ++block) {
    const std::size_t size = std::min(kStoredBlockMost, rowBytes - at);
    file.push_back(block + 1 == blocks ? kFinalStoredBlock : 0);
    for (const std::size_t field : {size, size ^ kStoredBlockMost}) {
      file.push_back(static_cast<std::uint8_t>(field));
      file.push_back(static_cast<std::uint8_t>(field >> 8U));
    }
    file.insert(file.end(), rows.begin() + static_cast<std::ptrdiff_t>(at),
                rows.begin() + static_cast<std::ptrdiff_t>(at + size));
    at += size;
  }
  PutBe32(file, 0);  // the stream's checksum
  PutBe32(file, 0);  // IDAT's CRC
  PutBe32(file, 0);  // IEND: no data, its type, its CRC
  file.insert(file.end(), kPngIend.begin(), kPngIend.end());
  PutBe32(file, 0);
  if (file.size() > static_cast<std::size_t>(INT_MAX)) {
    return std::nullopt;
  }
  return file;
}

// One call of the library: its pixels, or null with the failure kept.
struct Loaded {
  stbi_uc* pixels = nullptr;
  ~Loaded() { stbi_image_free(pixels); }
};

void Load(Loaded& loaded, std::span<const std::uint8_t> bytes, int wanted) {
  int width = 0;
  int height = 0;
  int channels = 0;
  stbi__g_failure_reason = nullptr;
  allocationRefused = false;
  memoryExhausted = false;
  loaded.pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width,
                                        &height, &channels, wanted);
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
  allocationRefused = false;
  if (stbi_info_from_memory(bytes.data(), length, &width, &height, &channels) == 0) {
    RefuseUnreadablePng(LastFailure());
  }
  CheckPixelCount(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), maxPixels);

  // Twice (buffers grow by doubling) the larger of the file and its pixels unpacked (four bytes
  // each and a byte a row), with room for the library's small tables.
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  const std::uint64_t unpacked = pixels * kRgba + static_cast<std::uint64_t>(height);
  allocationLimit =
      static_cast<std::size_t>(2 * std::max<std::uint64_t>(bytes.size(), unpacked) + kLibrarySlack);
  struct LimitEnd {
    ~LimitEnd() { allocationLimit = SIZE_MAX; }
  } limitEnd;

  Loaded loaded;
  Load(loaded, bytes, wanted);
  if (loaded.pixels == nullptr) {
    const Failure failure = LastFailure();
    if (failure.exhausted) {
      throw std::bad_alloc();
    }
    // What stopped the library may come after all the rows: then it is given the rows alone.
    const std::optional<std::vector<std::uint8_t>> ended = EndedAtItsRows(bytes);
    if (!ended) {
      RefuseUnreadablePng(failure);
    }
    Load(loaded, *ended, wanted);
    if (loaded.pixels == nullptr) {
      RefuseUnreadablePng(LastFailure());
    }
  }
  RgbPicture picture;
  picture.width = width;
  picture.height = height;
  picture.channels = wanted;
  picture.pixels.assign(loaded.pixels, loaded.pixels + pixels * static_cast<std::uint64_t>(wanted));
  return picture;
}

// The library gives an indexed PNG's colours, not its indices, and reads an index past the
// palette from memory it never filled. So it is given the file with a palette of all 256
// entries whose red is the entry's own index: the red it gives back is each pixel's index.
RgbPicture LoadIndices(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                       std::uint64_t maxPixels) {
  std::vector<std::uint8_t> recoloured(bytes.begin(),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(chunks.plteAt));
  PutBe32(recoloured, kPngMaxPlteEntries * kPngPlteEntryBytes);
  recoloured.insert(recoloured.end(), kPngPlte.begin(), kPngPlte.end());
  for (std::size_t i = 0; i < kPngMaxPlteEntries; ++i) {
    recoloured.insert(recoloured.end(), {static_cast<std::uint8_t>(i), 0, 0});
  }
  // The library does not check chunks' CRCs; this one is never seen by anything else.
  PutBe32(recoloured, 0);
  const std::size_t rest = chunks.plteAt + kPngChunkOverhead + chunks.plte.size();
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

RgbPicture DecodePngWithStbImage(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                                 std::uint64_t maxPixels, std::int32_t channels) {
  // The library copies an empty data chunk from a buffer it has not allocated yet.
  if (chunks.emptyIdatAt != 0) {
    Refuse("cannot be read as a PNG (it has an empty IDAT chunk at byte " +
           std::to_string(chunks.emptyIdatAt) + ")" + kSaveAgain);
  }
  if (chunks.header.colourType == kPngIndexed && chunks.plteAt != 0 &&
      chunks.plte.size() % kPngPlteEntryBytes == 0 &&
      chunks.plte.size() <= kPngMaxPlteEntries * kPngPlteEntryBytes) {
    return LoadIndices(bytes, chunks, maxPixels);
  }
  return LoadPng(bytes, maxPixels, channels);
}

}  // namespace vostrel::picture_detail
