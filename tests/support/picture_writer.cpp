// Writing BMPs field by field and PNGs with stb_image_write, and reading the converter's BMPs.
#include "support/picture_writer.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace vostrel::test {

namespace {

constexpr std::size_t kHeadersSize = 54;
constexpr std::size_t kCompressionAt = 30;
constexpr std::size_t kMasksSize = 12;
// A PNG's signature and header chunk, after which a chunk may be added.
constexpr std::size_t kPngHeaderEnd = 33;
constexpr std::size_t kPngColourTypeAt = 25;

void PutBe32(Bytes& out, std::uint32_t value) {
  for (const int shift : {24, 16, 8, 0}) {
    out.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

std::uint32_t GetBe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
         (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

void PutLe16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFFu));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// File and info headers of an uncompressed BMP whose rows of rowBytes start after tableBytes.
Bytes BmpHeaders(std::int32_t width, std::int32_t height, int bits, std::size_t tableBytes,
                 std::size_t rowBytes, bool topDown) {
  const std::size_t stride = (rowBytes + 3) / 4 * 4;
  const auto offset = static_cast<std::int32_t>(kHeadersSize + tableBytes);
  Bytes out{'B', 'M'};
  PutLe32(out, offset + static_cast<std::int32_t>(stride) * height);
  PutLe32(out, 0);
  PutLe32(out, offset);
  PutLe32(out, 40);
  PutLe32(out, width);
  PutLe32(out, topDown ? -height : height);
  PutLe16(out, 1);
  PutLe16(out, static_cast<std::uint16_t>(bits));
  for (int i = 0; i < 6; ++i) {
    PutLe32(out, 0);
  }
  return out;
}

// Appends rows of rowBytes each from pixels (top row first) in the file's order, padded.
void PutRows(Bytes& out, std::span<const std::uint8_t> pixels, std::int32_t height,
             std::size_t rowBytes, bool topDown) {
  for (std::int32_t r = 0; r < height; ++r) {
    const auto row = static_cast<std::size_t>(topDown ? r : height - 1 - r);
    const auto from = pixels.subspan(row * rowBytes, rowBytes);
    out.insert(out.end(), from.begin(), from.end());
    out.resize(out.size() + (4 - rowBytes % 4) % 4, 0);
  }
}

}  // namespace

Bytes WriteBmp8(const IndexedPicture& picture, bool topDown) {
  const auto rowBytes = static_cast<std::size_t>(picture.width);
  Bytes out = BmpHeaders(picture.width, picture.height, 8, picture.table.size(), rowBytes, topDown);
  out.insert(out.end(), picture.table.begin(), picture.table.end());
  PutRows(out, picture.indices, picture.height, rowBytes, topDown);
  return out;
}

Bytes WriteBmpIndexed(const IndexedPicture& picture, int bits) {
  const auto rowBytes =
      (static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(bits) + 7) / 8;
  Bytes out =
      BmpHeaders(picture.width, picture.height, bits, picture.table.size(), rowBytes, false);
  out.insert(out.end(), picture.table.begin(), picture.table.end());
  Bytes packed(rowBytes * static_cast<std::size_t>(picture.height), 0);
  const auto perByte = static_cast<std::size_t>(8 / bits);
  for (std::size_t i = 0; i < picture.indices.size(); ++i) {
    const std::size_t x = i % static_cast<std::size_t>(picture.width);
    const std::size_t row = i / static_cast<std::size_t>(picture.width);
    const auto shift = static_cast<unsigned>(8 - bits * static_cast<int>(x % perByte + 1));
    packed[row * rowBytes + x / perByte] |= static_cast<std::uint8_t>(picture.indices[i] << shift);
  }
  PutRows(out, packed, picture.height, rowBytes, false);
  return out;
}

Bytes WriteBmpRle(const IndexedPicture& picture, int bits, std::span<const std::uint8_t> stream) {
  Bytes out = BmpHeaders(picture.width, picture.height, bits, picture.table.size(), 0, false);
  out[kCompressionAt] = bits == 8 ? 1 : 2;
  out.insert(out.end(), picture.table.begin(), picture.table.end());
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

Bytes WriteBmpMasked(std::int32_t width, std::int32_t height, std::span<const std::uint8_t> rgb,
                     std::uint32_t headerSize) {
  const std::size_t maskRoom = std::max<std::size_t>(kMasksSize, headerSize - 40);
  const auto rowBytes = static_cast<std::size_t>(width) * 4;
  Bytes out = BmpHeaders(width, height, 32, maskRoom, rowBytes, false);
  out[14] = static_cast<std::uint8_t>(headerSize);
  out[kCompressionAt] = 3;
  for (const std::int32_t mask : {0xFF, 0xFF00, 0xFF0000}) {
    PutLe32(out, mask);
  }
  out.resize(kHeadersSize + maskRoom, 0);
  Bytes rgbx;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    rgbx.insert(rgbx.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 0x77});
  }
  PutRows(out, rgbx, height, rowBytes, false);
  return out;
}

Bytes WriteBmpRgb(std::int32_t width, std::int32_t height, std::span<const std::uint8_t> rgb,
                  int bits, bool topDown, std::uint8_t fourth) {
  const std::size_t pixelBytes = bits == 32 ? 4 : 3;
  Bytes bgr;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    bgr.insert(bgr.end(), {rgb[i + 2], rgb[i + 1], rgb[i]});
    if (pixelBytes == 4) {
      bgr.push_back(fourth);
    }
  }
  const std::size_t rowBytes = static_cast<std::size_t>(width) * pixelBytes;
  Bytes out = BmpHeaders(width, height, bits, 0, rowBytes, topDown);
  PutRows(out, bgr, height, rowBytes, topDown);
  return out;
}

Bytes WritePng(std::int32_t width, std::int32_t height, int channels,
               std::span<const std::uint8_t> pixels) {
  Bytes out;
  const auto append = [](void* context, void* data, int size) {
    auto* bytes = static_cast<const std::uint8_t*>(data);
    static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes, bytes + size);
  };
  if (stbi_write_png_to_func(append, &out, width, height, channels, pixels.data(),
                             width * channels) == 0) {
    throw std::runtime_error("cannot encode a PNG");
  }
  return out;
}

Bytes WritePalettePng(const IndexedPicture& picture, std::size_t entries) {
  // An 8-bit grey PNG stores its pixels exactly as an 8-bit indexed one: a byte each.
  Bytes grey = WritePng(picture.width, picture.height, 1, picture.indices);
  grey[kPngColourTypeAt] = 3;
  // The header's CRC, over its type and data, again.
  const auto crcAt = static_cast<std::ptrdiff_t>(kPngHeaderEnd - 4);
  Bytes crc;
  PutBe32(crc, stbiw__crc32(grey.data() + 12, 17));
  std::copy(crc.begin(), crc.end(), grey.begin() + crcAt);
  Bytes plte;
  for (std::size_t i = 0; i < entries; ++i) {
    plte.insert(plte.end(),
                {picture.table[i * 4 + 2], picture.table[i * 4 + 1], picture.table[i * 4]});
  }
  return WithPngChunk(grey, "PLTE", plte);
}

Bytes WithPngChunk(std::span<const std::uint8_t> png, const char* type,
                   std::span<const std::uint8_t> data) {
  const std::string text(png.begin(), png.end());
  const auto at = static_cast<std::ptrdiff_t>(text.find("IDAT") - 4);
  Bytes out(png.begin(), png.begin() + at);
  PutBe32(out, static_cast<std::uint32_t>(data.size()));
  Bytes chunk(type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  out.insert(out.end(), chunk.begin(), chunk.end());
  PutBe32(out, stbiw__crc32(chunk.data(), static_cast<int>(chunk.size())));
  out.insert(out.end(), png.begin() + at, png.end());
  return out;
}

Bytes WritePackedPng(std::int32_t width, std::int32_t height, int bits, int colourType,
                     std::span<const std::uint8_t> samples, std::span<const std::uint8_t> plte) {
  const auto columns = static_cast<std::size_t>(width);
  const std::size_t perPixel = samples.size() / (columns * static_cast<std::size_t>(height));
  const auto depth = static_cast<std::size_t>(bits);
  // Each row: filter type 0, then its samples packed high bits first.
  Bytes rows;
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    rows.push_back(0);
    Bytes row((columns * perPixel * depth + 7) / 8, 0);
    for (std::size_t i = 0; i < columns * perPixel; ++i) {
      const std::size_t bit = i * depth;
      row[bit / 8] = static_cast<std::uint8_t>(
          row[bit / 8] | (samples[y * columns * perPixel + i] << (8 - depth - bit % 8)));
    }
    rows.insert(rows.end(), row.begin(), row.end());
  }
  return WritePngRows(width, height, bits, colourType, rows, plte);
}

Bytes WritePngRows(std::int32_t width, std::int32_t height, int bits, int colourType,
                   std::span<const std::uint8_t> rows, std::span<const std::uint8_t> plte,
                   int interlace) {
  int compressedSize = 0;
  unsigned char* compressed = stbi_zlib_compress(const_cast<unsigned char*>(rows.data()),
                                                 static_cast<int>(rows.size()), &compressedSize, 8);
  const Bytes idat(compressed, compressed + compressedSize);
  STBIW_FREE(compressed);

  Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const auto chunk = [&](const char* type, std::span<const std::uint8_t> data) {
    PutBe32(out, static_cast<std::uint32_t>(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBe32(out, stbiw__crc32(body.data(), static_cast<int>(body.size())));
  };
  Bytes ihdr;
  PutBe32(ihdr, static_cast<std::uint32_t>(width));
  PutBe32(ihdr, static_cast<std::uint32_t>(height));
  ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(colourType),
                           0, 0, static_cast<std::uint8_t>(interlace)});
  chunk("IHDR", ihdr);
  if (!plte.empty()) {
    chunk("PLTE", plte);
  }
  chunk("IDAT", idat);
  chunk("IEND", {});
  return out;
}

Bytes WithPngChunkData(std::span<const std::uint8_t> png, const char* type,
                       std::span<const std::uint8_t> data) {
  const std::string text(png.begin(), png.end());
  const std::size_t at = text.find(type) - 4;
  const std::size_t oldLength = GetBe32(png, at);
  Bytes out(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(at));
  PutBe32(out, static_cast<std::uint32_t>(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  PutBe32(out, stbiw__crc32(body.data(), static_cast<int>(body.size())));
  out.insert(out.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 12 + oldLength), png.end());
  return out;
}

Bytes WithPngChunkLength(Bytes png, const char* type, std::uint32_t length) {
  const std::string text(png.begin(), png.end());
  Bytes field;
  PutBe32(field, length);
  std::copy(field.begin(), field.end(),
            png.begin() + static_cast<std::ptrdiff_t>(text.find(type) - 4));
  return png;
}

IndexedPicture ReadBmp8(std::span<const std::uint8_t> file) {
  IndexedPicture picture;
  picture.width = static_cast<std::int32_t>(GetLe32(file, 18));
  picture.height = static_cast<std::int32_t>(GetLe32(file, 22));
  const std::size_t offset = GetLe32(file, 10);
  picture.table.assign(file.begin() + kHeadersSize,
                       file.begin() + static_cast<std::ptrdiff_t>(offset));
  const auto width = static_cast<std::size_t>(picture.width);
  const std::size_t stride = (width + 3) / 4 * 4;
  for (std::int32_t r = picture.height - 1; r >= 0; --r) {
    const auto row = file.subspan(offset + static_cast<std::size_t>(r) * stride, width);
    picture.indices.insert(picture.indices.end(), row.begin(), row.end());
  }
  return picture;
}

Bytes Colours(std::span<const std::uint8_t> indices, std::span<const std::uint8_t> table,
              int channels) {
  Bytes out;
  for (const std::uint8_t index : indices) {
    const auto entry = table.subspan(std::size_t{index} * 4, 4);
    out.insert(out.end(), {entry[2], entry[1], entry[0]});
    if (channels == 4) {
      out.push_back(255);
    }
  }
  return out;
}

}  // namespace vostrel::test
