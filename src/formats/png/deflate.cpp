// The zlib streams and CRCs of the PNG files (see deflate.hpp).
#include "formats/png/deflate.hpp"

#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#if VOSTREL_HAVE_LIBDEFLATE
#include <libdeflate.h>
#else
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#endif

namespace vostrel {

#if VOSTREL_HAVE_LIBDEFLATE

// A buffer of bytes that are not set when it grows: the compressor writes every one it returns.
class OutputBuffer {
 public:
  std::uint8_t* Reserve(std::size_t size) {
    if (size > capacity_) {
#if defined(__cpp_lib_smart_ptr_for_overwrite)
      bytes_ = std::make_unique_for_overwrite<std::uint8_t[]>(size);
#else
      bytes_.reset(new std::uint8_t[size]);
#endif
      capacity_ = size;
    }
    return bytes_.get();
  }
  std::size_t Capacity() const { return capacity_; }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t capacity_ = 0;
};

struct ZlibCompressor::State {
  DeflateWrapping wrapping = DeflateWrapping::kZlib;
  OutputBuffer out;
  struct Free {
    void operator()(libdeflate_compressor* freed) const noexcept {
      libdeflate_free_compressor(freed);
    }
  };
  std::unique_ptr<libdeflate_compressor, Free> compressor;
};

ZlibCompressor::ZlibCompressor(int level, DeflateWrapping wrapping)
    : state_(std::make_unique<State>()) {
  state_->wrapping = wrapping;
  state_->compressor.reset(libdeflate_alloc_compressor(level));
  if (!state_->compressor) {
    throw std::bad_alloc();
  }
}

std::span<const std::uint8_t> ZlibCompressor::Compress(std::span<const std::uint8_t> data) {
  libdeflate_compressor* compressor = state_->compressor.get();
  const bool raw = state_->wrapping == DeflateWrapping::kRaw;
  const std::size_t bound = raw ? libdeflate_deflate_compress_bound(compressor, data.size())
                                : libdeflate_zlib_compress_bound(compressor, data.size());
  std::uint8_t* out = state_->out.Reserve(bound);
  // The bound is the library's own promise that the stream fits.
  const std::size_t size =
      raw ? libdeflate_deflate_compress(compressor, data.data(), data.size(), out, bound)
          : libdeflate_zlib_compress(compressor, data.data(), data.size(), out, bound);
  return {out, size};
}

std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc) {
  return libdeflate_crc32(crc, data.data(), data.size());
}

const char* CompressorName() { return "libdeflate"; }

#else

struct ZlibCompressor::State {
  int quality = kSheetCompressionLevel;
  DeflateWrapping wrapping = DeflateWrapping::kZlib;
  std::vector<std::uint8_t> out;
};

// What stb's zlib stream has around its deflate data: the two bytes of CMF and FLG before it and
// the Adler-32 after it.
constexpr std::size_t kZlibHeaderBytes = 2;
constexpr std::size_t kZlibTrailerBytes = 4;

ZlibCompressor::ZlibCompressor(int level, DeflateWrapping wrapping)
    : state_(std::make_unique<State>()) {
  // stb's quality is the length of its hash chains, not a level: a few more than the level
  // gives about what a zlib of that level writes.
  state_->quality = level + 2;
  state_->wrapping = wrapping;
}

std::span<const std::uint8_t> ZlibCompressor::Compress(std::span<const std::uint8_t> data) {
  if (data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw std::bad_alloc();
  }
  int size = 0;
  struct Free {
    void operator()(unsigned char* bytes) const noexcept { std::free(bytes); }
  };
  // stb_image_write takes a mutable pointer but only reads through it.
  const std::unique_ptr<unsigned char, Free> stream(
      stbi_zlib_compress(const_cast<unsigned char*>(data.data()), static_cast<int>(data.size()),
                         &size, state_->quality));
  const auto length = static_cast<std::size_t>(size);
  if (!stream || size < 0 || length < kZlibHeaderBytes + kZlibTrailerBytes) {
    throw std::bad_alloc();
  }
  if (state_->wrapping == DeflateWrapping::kRaw) {
    state_->out.assign(stream.get() + kZlibHeaderBytes, stream.get() + length - kZlibTrailerBytes);
  } else {
    state_->out.assign(stream.get(), stream.get() + length);
  }
  return state_->out;
}

namespace {
// The table of the reflected polynomial 0xEDB88320, one entry for each byte value.
constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) {
      c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1U) : c >> 1U;
    }
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();
}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc) {
  crc = ~crc;
  for (const std::uint8_t byte : data) {
    crc = kCrcTable[(crc ^ byte) & 0xFFU] ^ (crc >> 8U);
  }
  return ~crc;
}

const char* CompressorName() { return "stb_image_write"; }

#endif

ZlibCompressor::~ZlibCompressor() = default;
ZlibCompressor::ZlibCompressor(ZlibCompressor&&) noexcept = default;
ZlibCompressor& ZlibCompressor::operator=(ZlibCompressor&&) noexcept = default;

}  // namespace vostrel
