// The compression behind the PNG files: a zlib stream and the CRC-32 of PNG chunks. Linux builds
// use libdeflate, made for speed; a build without it (the Windows one) uses stb_image_write's
// compressor and a CRC of our own, which write the same kind of stream, only slower and larger.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vostrel {

// The level the sheets are compressed at: on the bench corpus libdeflate's level 6 writes files
// no larger than a zlib at its default level, in well under half its time.
inline constexpr int kSheetCompressionLevel = 6;

// What a compressed stream is wrapped in: the zlib format of PNG's image data (RFC 1950), or
// none, as a zip file's entries hold it (raw deflate, RFC 1951).
enum class DeflateWrapping { kZlib, kRaw };

// Compresses into the zlib format (RFC 1950), or raw deflate when asked. One object a thread:
// it holds its working memory from one call to the next.
class ZlibCompressor {
 public:
  explicit ZlibCompressor(int level = kSheetCompressionLevel,
                          DeflateWrapping wrapping = DeflateWrapping::kZlib);
  ~ZlibCompressor();
  ZlibCompressor(ZlibCompressor&&) noexcept;
  ZlibCompressor& operator=(ZlibCompressor&&) noexcept;
  ZlibCompressor(const ZlibCompressor&) = delete;
  ZlibCompressor& operator=(const ZlibCompressor&) = delete;

  // The stream of data, held by the compressor until its next call (so that a run of
  // files reuses one buffer rather than fault a fresh one in each time). Throws std::bad_alloc
  // when memory runs out.
  std::span<const std::uint8_t> Compress(std::span<const std::uint8_t> data);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The CRC-32 of ISO 3309 (as PNG chunks and zip files use), continued from crc (0 to start).
std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0);

// Which compressor the build uses, for the benchmark's report.
const char* CompressorName();

}  // namespace vostrel
