// Runs arbitrary bytes through what vostrel-pack does with a picture file: decoding (our BMP
// reader and its run-length decoder, the PNG library), mapping its colours or keeping its
// indices for a palette, and encoding the indices as a frame, and checks each step against what
// it promises. The run-length encoder is also run on the raw input, picture or not.
//
// Input: a flags byte (bit 0: the frame's original indices are known; bit 1: the frame is raw;
// bit 2: transparency kept, as the sheet packer asks; bit 3: PNGs through the build's other
// decoder, where it has two), a palette seed, then the picture file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/picture/picture.hpp"
#include "fuzz_support.hpp"
#include "packing/colour_map.hpp"
#include "sprite/palette.hpp"
#include "sprite/rle.hpp"
#include "sprite/rle_encode.hpp"
#include "support/rle_reference.hpp"

namespace {

// Pictures stay small: a large plane costs its pixels in every step and teaches nothing that a
// small one does not, so that the fuzzer runs thousands of inputs a second. The checks of the
// size against this limit are the same as against the real one (tested on its own).
constexpr std::uint64_t kMaxPixels = 4096;
// The most of the raw input that the run-length encoder is run on.
constexpr std::size_t kMaxRawEncoded = 4096;
constexpr std::size_t kEntryBytes = vostrel::kPaletteEntryBytes;
constexpr std::size_t kMaxEntries = vostrel::kPaletteEntries;

// Whether a colour-table entry holds the pixel's colour (red, green, blue).
bool Holds(std::span<const std::uint8_t> table, std::size_t index,
           std::span<const std::uint8_t> pixel) {
  const auto entry = table.subspan(index * kEntryBytes, kEntryBytes);
  return entry[vostrel::kPaletteRedAt] == pixel[0] && entry[vostrel::kPaletteGreenAt] == pixel[1] &&
         entry[vostrel::kPaletteBlueAt] == pixel[2];
}

// The stream decodes back to exactly the pixels, in runs of 1 to 127, and the frame data is
// raw exactly when it must be.
void CheckEncoding(std::span<const std::uint8_t> pixels, bool raw) {
  const vostrel::fuzz::Bytes stream = vostrel::EncodeRle(pixels);
  vostrel::fuzz::Bytes decoded(pixels.size(), 0);
  const auto decoding =
      vostrel::DecodeRleSilently(stream, static_cast<std::int32_t>(stream.size()), decoded);
  FUZZ_CHECK(static_cast<std::size_t>(decoding.written) == pixels.size());
  FUZZ_CHECK(std::equal(decoded.begin(), decoded.end(), pixels.begin(), pixels.end()));
  for (std::size_t at = 0; at < stream.size();) {
    const std::size_t count = stream[at] & 0x7Fu;
    FUZZ_CHECK(count >= 1);
    at += (stream[at] & 0x80u) != 0 ? count + 1 : 2;
    FUZZ_CHECK(at <= stream.size());
  }
  const vostrel::fuzz::Bytes data = vostrel::EncodeFrameData(pixels, raw);
  const bool storedRaw = raw || stream.size() == pixels.size();
  FUZZ_CHECK(storedRaw ? std::equal(data.begin(), data.end(), pixels.begin(), pixels.end())
                       : data == stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vostrel::fuzz::InputReader reader({data, size});
  const std::uint8_t flags = reader.Byte();
  const vostrel::fuzz::Bytes palette = vostrel::fuzz::FuzzPalette(reader.Byte());
  const std::span<const std::uint8_t> file = reader.Rest();
  CheckEncoding(file.first(std::min(file.size(), kMaxRawEncoded)), (flags & 2u) != 0);

  const bool keepTransparency = (flags & 4u) != 0;
  vostrel::RgbPicture picture;
  try {
    const auto decoders = vostrel::PngDecoders();
    picture = vostrel::DecodePicture(
        file, kMaxPixels,
        {.keepTransparency = keepTransparency,
         .pngDecoder = decoders[static_cast<std::size_t>((flags >> 3U) & 1U) % decoders.size()]});
  } catch (const vostrel::PictureError&) {
    return 0;
  }
  FUZZ_CHECK(picture.width > 0 && picture.height > 0);
  FUZZ_CHECK(picture.PixelCount() <= kMaxPixels);
  FUZZ_CHECK(keepTransparency ? picture.channels == 4
                              : picture.channels == 3 || picture.channels == 4);
  const auto pixels = picture.Bytes();
  const auto channels = static_cast<std::size_t>(picture.channels);
  FUZZ_CHECK(pixels.size() == picture.PixelCount() * channels);
  // An indexed picture: an index per pixel, each inside its table, showing the table's colour
  // (and, kept transparent, its entry's alpha).
  if (!picture.indices.empty()) {
    const std::size_t entries = picture.colourTable.size() / kEntryBytes;
    FUZZ_CHECK(picture.indices.size() == picture.PixelCount());
    FUZZ_CHECK(keepTransparency || channels == 3);
    FUZZ_CHECK(picture.colourTable.size() % kEntryBytes == 0 && entries <= kMaxEntries);
    FUZZ_CHECK(picture.entryAlphas.size() == (keepTransparency ? entries : 0));
    for (std::size_t i = 0; i < picture.indices.size(); ++i) {
      const std::size_t index = picture.indices[i];
      FUZZ_CHECK(index < entries);
      FUZZ_CHECK(Holds(picture.colourTable, index, pixels.subspan(i * channels, 3)));
      FUZZ_CHECK(!keepTransparency || pixels[i * channels + 3] == picture.entryAlphas[index]);
    }
  } else {
    FUZZ_CHECK(picture.colourTable.empty() && picture.entryAlphas.empty());
  }
  // Transparency is refused unless kept.
  if (channels == 4 && !keepTransparency) {
    for (std::size_t i = 3; i < pixels.size(); i += 4) {
      FUZZ_CHECK(pixels[i] == 255);
    }
  }

  // Original indices that sometimes match the colour at their pixel and sometimes not.
  vostrel::fuzz::Bytes original;
  if ((flags & 1u) != 0) {
    for (std::size_t i = 0; i < picture.PixelCount(); ++i) {
      original.push_back(static_cast<std::uint8_t>(pixels[i * channels] ^ i));
    }
  }
  const vostrel::PaletteMapping mapping = vostrel::MapToPalette(
      pixels, static_cast<std::size_t>(picture.width), channels, palette, original);
  FUZZ_CHECK(mapping.indices.size() == picture.PixelCount());
  std::uint64_t missing = 0;
  for (std::size_t i = 0; i < mapping.indices.size(); ++i) {
    const auto pixel = pixels.subspan(i * channels, 3);
    if (!Holds(palette, mapping.indices[i], pixel)) {
      ++missing;
      FUZZ_CHECK(mapping.indices[i] == 0);
    } else if (!original.empty()) {
      FUZZ_CHECK(!Holds(palette, original[i], pixel) || mapping.indices[i] == original[i]);
    }
  }
  FUZZ_CHECK(missing == mapping.missing.pixels);
  CheckEncoding(mapping.indices, (flags & 2u) != 0);

  // The picture's own indices are kept exactly when its table gives the palette's colour at
  // every index it uses; otherwise it is mapped by colour.
  bool agrees = !picture.indices.empty();
  for (std::size_t i = 0; i < picture.indices.size() && agrees; ++i) {
    const std::size_t entry = std::size_t{picture.indices[i]} * kEntryBytes;
    for (const std::size_t at :
         {vostrel::kPaletteRedAt, vostrel::kPaletteGreenAt, vostrel::kPaletteBlueAt}) {
      agrees = agrees && palette[entry + at] == picture.colourTable[entry + at];
    }
  }
  const vostrel::PaletteMapping kept = vostrel::MapToPalette(picture, palette, original);
  if (agrees) {
    FUZZ_CHECK(kept.indices == picture.indices && kept.missing.pixels == 0);
  } else {
    FUZZ_CHECK(kept.indices == mapping.indices && kept.missing.pixels == mapping.missing.pixels);
  }
  return 0;
}
