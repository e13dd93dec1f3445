// The PNG reader: our own walk over the chunks, then the pixels from the image library the build
// or the caller chooses (png_spng.cpp, png_stb.cpp), the colours of an indexed PNG from its PLTE
// and tRNS, and the checks of indices and transparency that every picture gets.
#include "formats/png/png_read.hpp"

#include <array>
#include <climits>
#include <string>
#include <vector>

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
  const PngWalkEnd end = WalkPngChunks(bytes, [&](const PngChunk& chunk) {
    if (chunk.Is(kPngIdat)) {
      if (!pixelsBegun) {
        chunks.firstIdatAt = chunk.at;
      }
      pixelsBegun = true;
      chunks.idatBytes += chunk.data.size();
      if (chunk.data.empty() && chunks.emptyIdatAt == 0) {
        chunks.emptyIdatAt = chunk.at;
      }
    } else if (chunk.Is(kPngIhdr) && chunk.at == kPngSignature.size() &&
               chunk.data.size() == kPngIhdrBytes) {
      chunks.hasHeader = true;
      chunks.header = *ReadPngHeader(bytes);
    } else if (chunk.Is(kPngPlte) && !pixelsBegun && chunks.plteAt == 0) {
      chunks.plteAt = chunk.at;
      chunks.plte = chunk.data;
    } else if (chunk.Is(kPngTrns) && !pixelsBegun && !chunks.hasTrns) {
      chunks.trns = chunk.data;
      chunks.hasTrns = true;
    }
  });
  // A file that ends inside a chunk's length and type is left to the library; one that ends
  // inside a chunk's data is refused here.
  if (end.cut) {
    Refuse("cannot be read as a PNG (the file ends inside its chunk at byte " +
           std::to_string(end.at) + ", which is said to hold " + std::to_string(end.length) +
           " bytes)" + kSaveAgain);
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
  WalkPngChunks(bytes, [&data](const PngChunk& chunk) {
    if (chunk.Is(kPngIdat)) {
      data.insert(data.end(), chunk.data.begin(), chunk.data.end());
    }
  });
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
