// The PNG reader: our own walk over the chunks, then the pixels from the image library the build
// or the caller chooses (png_spng.cpp, png_stb.cpp), the colours of an indexed PNG from its PLTE
// and tRNS, and the checks of indices and transparency that every picture gets.
#include "formats/png/png_read.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "sprite/palette.hpp"

namespace vostrel {

namespace {

#if VOSTREL_HAVE_LIBSPNG
constexpr std::array kPngDecoders{PngDecoder::kLibspng, PngDecoder::kStbImage};
#else
constexpr std::array kPngDecoders{PngDecoder::kStbImage};
#endif

}  // namespace

std::span<const PngDecoder> PngDecoders() { return kPngDecoders; }

PngDecoder BuildPngDecoder() {
#if VOSTREL_PNG_WITH_LIBSPNG
  return PngDecoder::kLibspng;
#else
  return PngDecoder::kStbImage;
#endif
}

const char* PngDecoderName(PngDecoder decoder) {
  return decoder == PngDecoder::kLibspng ? "libspng" : "stb_image";
}

namespace picture_detail {

namespace {

constexpr std::uint8_t kOpaque = 255;
constexpr std::int32_t kRgb = 3;
constexpr std::int32_t kRgba = 4;

bool Is(std::span<const std::uint8_t> typeBytes, std::string_view type) {
  return std::equal(type.begin(), type.end(), typeBytes.begin());
}

// The chunk at `at` of a file whose walk has already checked it: its type and its data.
struct Chunk {
  std::span<const std::uint8_t> type;
  std::span<const std::uint8_t> data;
};
Chunk ChunkAt(std::span<const std::uint8_t> bytes, std::size_t at) {
  return {bytes.subspan(at + kPngChunkTypeAt, 4),
          bytes.subspan(at + kPngChunkDataAt, ReadBe32(bytes, at))};
}

RgbPicture DecodePngPixels(PngDecoder decoder, std::span<const std::uint8_t> bytes,
                           const PngChunks& chunks, std::uint64_t maxPixels,
                           std::int32_t channels) {
#if VOSTREL_HAVE_LIBSPNG
  if (decoder == PngDecoder::kLibspng) {
    return DecodePngWithLibspng(bytes, chunks, maxPixels, channels);
  }
#else
  static_cast<void>(decoder);  // the only one this build has
#endif
  return DecodePngWithStbImage(bytes, chunks, maxPixels, channels);
}

// An indexed PNG: its indices from the library, colours and alphas from its PLTE and tRNS.
RgbPicture DecodeIndexedPng(std::span<const std::uint8_t> bytes, const PngChunks& chunks,
                            std::uint64_t maxPixels, bool keepTransparency, PngDecoder decoder) {
  RgbPicture picture = DecodePngPixels(decoder, bytes, chunks, maxPixels, kRgb);
  // The library refuses a palette it cannot use; this is for one that it would take.
  if (chunks.plteAt == 0 || chunks.plte.size() % kPngPlteEntryBytes != 0 ||
      chunks.plte.size() > kPngMaxPlteEntries * kPngPlteEntryBytes ||
      picture.indices.size() != picture.PixelCount()) {
    RefuseDamaged("PNG", "its palette (PLTE chunk) is missing or of a wrong size");
  }
  const std::size_t entries = chunks.plte.size() / kPngPlteEntryBytes;
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
  picture.colourTable = ColourTable(chunks.plte, entries, kPngPlteEntryBytes, true);
  ColourIndexed(picture);
  return picture;
}

}  // namespace

PngChunks ScanPng(std::span<const std::uint8_t> bytes) {
  PngChunks chunks;
  bool pixelsBegun = false;  // what comes after the first IDAT says nothing about the pixels
  std::size_t at = kPngSignature.size();
  // A file that ends inside a chunk's length and type is left to the library.
  while (bytes.size() - at >= kPngChunkDataAt) {
    const std::size_t left = bytes.size() - at;
    const std::uint32_t length = ReadBe32(bytes, at);
    const auto type = bytes.subspan(at + kPngChunkTypeAt, 4);
    // Nothing of the end chunk is read, nor anything after it.
    if (Is(type, kPngIend)) {
      break;
    }
    if (left < kPngChunkOverhead || length > left - kPngChunkOverhead) {
      Refuse("cannot be read as a PNG (the file ends inside its chunk at byte " +
             std::to_string(at) + ", which is said to hold " + std::to_string(length) + " bytes)" +
             kSaveAgain);
    }
    const auto data = bytes.subspan(at + kPngChunkDataAt, length);
    if (Is(type, kPngIdat)) {
      if (!pixelsBegun) {
        chunks.firstIdatAt = at;
      }
      pixelsBegun = true;
      chunks.idatBytes += length;
      chunks.lastIdatEnd = at + kPngChunkOverhead + length;
      if (length == 0 && chunks.emptyIdatAt == 0) {
        chunks.emptyIdatAt = at;
      }
    } else if (Is(type, kPngIhdr) && at == kPngSignature.size() && length == kPngIhdrBytes) {
      chunks.hasHeader = true;
      chunks.header = *ReadPngHeader(bytes);
    } else if (Is(type, kPngPlte) && !pixelsBegun && chunks.plteAt == 0) {
      chunks.plteAt = at;
      chunks.plte = data;
    } else if (Is(type, kPngTrns) && !pixelsBegun && !chunks.hasTrns) {
      chunks.trns = data;
      chunks.hasTrns = true;
    }
    at += kPngChunkOverhead + length;
  }
  if (chunks.idatBytes == 0) {
    RefuseDamaged("PNG", "it holds no pixel data (no IDAT chunk, or only empty ones)");
  }
  return chunks;
}

std::vector<std::uint8_t> PngImageData(std::span<const std::uint8_t> bytes,
                                       const PngChunks& chunks) {
  std::vector<std::uint8_t> data;
  data.reserve(static_cast<std::size_t>(chunks.idatBytes));
  for (std::size_t at = chunks.firstIdatAt; at < chunks.lastIdatEnd;) {
    const Chunk chunk = ChunkAt(bytes, at);
    if (Is(chunk.type, kPngIdat)) {
      data.insert(data.end(), chunk.data.begin(), chunk.data.end());
    }
    at += kPngChunkOverhead + chunk.data.size();
  }
  return data;
}

RgbPicture DecodePng(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels,
                     bool keepTransparency, PngDecoder decoder) {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    Refuse("is too large a file to read (more than 2 GiB); make it smaller");
  }
  const PngChunks chunks = ScanPng(bytes);
  // Before any library sees it, so that every build says the same, and nothing is sized from a
  // header that the data cannot bear out.
  if (chunks.hasHeader) {
    const PngHeader& header = chunks.header;
    CheckPixelCount(header.width, header.height, maxPixels);
    const std::optional<std::uint64_t> needed = PngRowBytes(header);
    if (needed && *needed > MostUnpackedFrom(chunks.idatBytes)) {
      RefuseDamaged(
          "PNG", "its " + std::to_string(header.width) + " x " + std::to_string(header.height) +
                     " pixels need " + std::to_string(*needed) + " bytes of rows, more than its " +
                     std::to_string(chunks.idatBytes) + " bytes of image data can unpack to");
    }
  }
  if (chunks.header.colourType == kPngIndexed) {
    return DecodeIndexedPng(bytes, chunks, maxPixels, keepTransparency, decoder);
  }
  // A transparent colour (tRNS of a grey or RGB picture) is alpha like any other.
  const bool alpha = keepTransparency || chunks.hasTrns ||
                     chunks.header.colourType == kPngGreyAlpha ||
                     chunks.header.colourType == kPngRgbAlpha;
  const std::int32_t channels = alpha ? kRgba : kRgb;
  RgbPicture picture = DecodePngPixels(decoder, bytes, chunks, maxPixels, channels);
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

}  // namespace picture_detail

}  // namespace vostrel
