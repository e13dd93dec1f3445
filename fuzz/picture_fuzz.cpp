// Runs arbitrary bytes through what vostrel-pack does with a picture file: decoding (our BMP
// reader and its run-length decoder, the PNG library), mapping its colours or keeping its
// indices for a palette, and encoding the indices as a frame, and checks each step against what
// it promises. The run-length encoder is also run on the raw input, picture or not.
//
// Input: a flags byte (bit 0: the frame's original indices are known; bit 1: the frame is raw),
// a palette seed, then the picture file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "art/rle.hpp"
#include "art/rle_encode.hpp"
#include "fuzz_support.hpp"
#include "picture/colour_map.hpp"
#include "picture/picture.hpp"

namespace {

// Pictures stay small, so that a run is quick and memory bounded; the checks of the size
// against this limit are the same as against the real one.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 20;

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
  CheckEncoding(file.first(std::min<std::size_t>(file.size(), 4096)), (flags & 2u) != 0);

  vostrel::RgbPicture picture;
  try {
    picture = vostrel::DecodePicture(file, kMaxPixels);
  } catch (const vostrel::PictureError&) {
    return 0;
  }
  FUZZ_CHECK(picture.width > 0 && picture.height > 0);
  FUZZ_CHECK(picture.PixelCount() <= kMaxPixels);
  FUZZ_CHECK(picture.channels == 3 || picture.channels == 4);
  const auto pixels = picture.Bytes();
  const auto channels = static_cast<std::size_t>(picture.channels);
  FUZZ_CHECK(pixels.size() == picture.PixelCount() * channels);
  // An indexed picture: an index per pixel, each inside its table, showing the table's colour.
  if (!picture.indices.empty()) {
    FUZZ_CHECK(picture.indices.size() == picture.PixelCount() && channels == 3);
    FUZZ_CHECK(picture.colourTable.size() % 4 == 0 && picture.colourTable.size() <= 1024);
    for (std::size_t i = 0; i < picture.indices.size(); ++i) {
      const std::size_t entry = std::size_t{picture.indices[i]} * 4;
      FUZZ_CHECK(entry < picture.colourTable.size());
      for (std::size_t c = 0; c < 3; ++c) {
        FUZZ_CHECK(pixels[i * 3 + c] == picture.colourTable[entry + 2 - c]);
      }
    }
  } else {
    FUZZ_CHECK(picture.colourTable.empty());
  }
  if (channels == 4) {
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
    const auto entry = std::span(palette).subspan(std::size_t{mapping.indices[i]} * 4, 4);
    const auto pixel = pixels.subspan(i * channels, 3);
    const bool held = entry[2] == pixel[0] && entry[1] == pixel[1] && entry[0] == pixel[2];
    if (!held) {
      ++missing;
      FUZZ_CHECK(mapping.indices[i] == 0);
    } else if (!original.empty()) {
      const auto kept = std::span(palette).subspan(std::size_t{original[i]} * 4, 4);
      const bool keepable = kept[2] == pixel[0] && kept[1] == pixel[1] && kept[0] == pixel[2];
      FUZZ_CHECK(!keepable || mapping.indices[i] == original[i]);
    }
  }
  FUZZ_CHECK(missing == mapping.missing.pixels);
  CheckEncoding(mapping.indices, (flags & 2u) != 0);

  // The picture's own indices are kept exactly when its table gives the palette's colour at
  // every index it uses; otherwise it is mapped by colour.
  bool agrees = !picture.indices.empty();
  for (std::size_t i = 0; i < picture.indices.size() && agrees; ++i) {
    const std::size_t entry = std::size_t{picture.indices[i]} * 4;
    for (std::size_t c = 0; c < 3; ++c) {
      agrees = agrees && palette[entry + c] == picture.colourTable[entry + c];
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
