// The PNG format's constants (signature, chunks, IHDR's fields, colour types), shared by its
// readers and writers, and what can be told from a PNG's bytes before any library decodes it:
// its header, and how many bytes of rows its size needs against what its data can unpack to.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace vostrel {

// The eight bytes every PNG file starts with.
inline constexpr std::array<std::uint8_t, 8> kPngSignature{0x89, 'P',  'N',  'G',
                                                           0x0D, 0x0A, 0x1A, 0x0A};

// A chunk: a 32-bit big-endian length of its data, a 4-byte type, the data, then the CRC-32 of
// type and data.
inline constexpr std::size_t kPngChunkTypeAt = 4;
inline constexpr std::size_t kPngChunkDataAt = 8;
inline constexpr std::size_t kPngChunkOverhead = 12;
// The largest length a chunk may give: 2^31 - 1.
inline constexpr std::uint32_t kPngMaxChunkLength = 0x7FFFFFFF;

// The chunk types read and written here: the header, the palette, transparency, image data and
// the end; an animated PNG's control chunk, each frame's control chunk and its image data.
inline constexpr std::string_view kPngIhdr = "IHDR";
inline constexpr std::string_view kPngPlte = "PLTE";
inline constexpr std::string_view kPngTrns = "tRNS";
inline constexpr std::string_view kPngIdat = "IDAT";
inline constexpr std::string_view kPngIend = "IEND";
inline constexpr std::string_view kPngActl = "acTL";
inline constexpr std::string_view kPngFctl = "fcTL";
inline constexpr std::string_view kPngFdat = "fdAT";

// IHDR's data, 13 bytes: width and height (32 bits each), bit depth, colour type, compression
// method, filter method, interlace method (a byte each).
inline constexpr std::size_t kPngIhdrWidthAt = 0;
inline constexpr std::size_t kPngIhdrHeightAt = 4;
inline constexpr std::size_t kPngIhdrBitDepthAt = 8;
inline constexpr std::size_t kPngIhdrColourTypeAt = 9;
inline constexpr std::size_t kPngIhdrInterlaceAt = 12;
inline constexpr std::uint32_t kPngIhdrBytes = 13;
// IHDR, the first chunk, ends here in the file.
inline constexpr std::size_t kPngIhdrEnd = kPngSignature.size() + kPngChunkDataAt + kPngIhdrBytes;

// IHDR's colour types: grey, RGB, indexed (through PLTE), grey with alpha, RGB with alpha.
inline constexpr std::uint8_t kPngGrey = 0;
inline constexpr std::uint8_t kPngRgb = 2;
inline constexpr std::uint8_t kPngIndexed = 3;
inline constexpr std::uint8_t kPngGreyAlpha = 4;
inline constexpr std::uint8_t kPngRgbAlpha = 6;
// IHDR's interlace method 1: the rows in seven passes (Adam7); 0 is none.
inline constexpr std::uint8_t kPngAdam7 = 1;

// PLTE: entries of 3 bytes, red, green, blue; at most 256.
inline constexpr std::size_t kPngPlteEntryBytes = 3;
inline constexpr std::size_t kPngMaxPlteEntries = 256;

// The filter byte before every row: 0, none.
inline constexpr std::uint8_t kPngFilterNone = 0;

// What a PNG's IHDR says.
struct PngHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t bitDepth = 0;
  std::uint8_t colourType = 0;
  std::uint8_t interlace = 0;
};

// A big-endian 32-bit number at bytes[at], as PNG stores all of them.
inline std::uint32_t ReadBe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return (std::uint32_t{bytes[at]} << 24U) | (std::uint32_t{bytes[at + 1]} << 16U) |
         (std::uint32_t{bytes[at + 2]} << 8U) | bytes[at + 3];
}

// A chunk of a PNG: where it starts in the file, its type and its data.
struct PngChunk {
  std::size_t at = 0;
  std::span<const std::uint8_t> type;
  std::span<const std::uint8_t> data;

  bool Is(std::string_view name) const {
    return std::equal(name.begin(), name.end(), type.begin(), type.end());
  }
};

// Where a walk over a PNG's chunks stopped: at the end chunk or the file's end, or, when cut,
// at the chunk at `at` whose length runs past the end of the file.
struct PngWalkEnd {
  bool cut = false;
  std::size_t at = 0;
  std::uint32_t length = 0;
};

// Hands visit every chunk after the signature, in order, up to the end chunk (not handed on),
// the end of the file, or a chunk that runs past it. A file that ends inside a chunk's length
// and type ends the walk there, uncut. The signature is not checked.
PngWalkEnd WalkPngChunks(std::span<const std::uint8_t> bytes,
                         const std::function<void(const PngChunk&)>& visit);

// The bytes of image data that the IDAT chunks of a walk over the file hold together.
std::uint64_t PngImageDataBytes(std::span<const std::uint8_t> bytes);

// The header of a file that starts with the signature and an IHDR chunk's type and data, as a
// PNG must; nothing for any other. Its values are as the file gives them, checked against
// nothing (not even IHDR's length).
std::optional<PngHeader> ReadPngHeader(std::span<const std::uint8_t> bytes);

// The bytes that a PNG of this header's size unpacks its data to: every row (of every pass,
// when interlaced) with its filter byte. Nothing for a bit depth and colour type that no PNG
// may have; the most a uint64 holds when it would not fit one.
std::optional<std::uint64_t> PngRowBytes(const PngHeader& header);

// The most that `compressed` bytes of zlib data can unpack to, with room to spare: deflate's
// densest code gives 258 bytes for a match in 2 bits, 1032 bytes a byte of data; 64 KiB more
// stand for anything that reckoning leaves out. A PNG whose rows need more than this from its
// image data cannot hold the pixels it announces.
std::uint64_t MostUnpackedFrom(std::uint64_t compressed);

}  // namespace vostrel
