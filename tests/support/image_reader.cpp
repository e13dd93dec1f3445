// The readers of image_reader.hpp. stb_image inflates the PNG data and the zips' files and
// decodes the GIFs.
#include "support/image_reader.hpp"

#include <array>
#include <cstdlib>
#include <cstring>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_GIF
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>

namespace vostrel::test {

namespace {

std::uint32_t Crc(std::span<const std::uint8_t> data) {
  std::uint32_t crc = 0xFFFFFFFFU;
  for (const std::uint8_t byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) {
      crc = (crc & 1U) != 0 ? (crc >> 1U) ^ 0xEDB88320U : crc >> 1U;
    }
  }
  return ~crc;
}

std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& stream) {
  int size = 0;
  char* out = stbi_zlib_decode_malloc(reinterpret_cast<const char*>(stream.data()),
                                      static_cast<int>(stream.size()), &size);
  if (out == nullptr) {
    return {};
  }
  std::vector<std::uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

std::vector<std::uint8_t> Unfilter(const std::vector<std::uint8_t>& rows, std::uint32_t width,
                                   std::uint32_t height, bool& filtersNone) {
  std::vector<std::uint8_t> indices;
  const std::size_t stride = std::size_t{width} + 1;
  if (rows.size() != stride * height) {
    filtersNone = false;
    return indices;
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    filtersNone = filtersNone && rows[y * stride] == 0;
    indices.insert(indices.end(), rows.begin() + static_cast<std::ptrdiff_t>(y * stride + 1),
                   rows.begin() + static_cast<std::ptrdiff_t>((y + 1) * stride));
  }
  return indices;
}

}  // namespace

std::uint32_t GetBe32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return (std::uint32_t{bytes[offset]} << 24U) | (std::uint32_t{bytes[offset + 1]} << 16U) |
         (std::uint32_t{bytes[offset + 2]} << 8U) | bytes[offset + 3];
}

ReadPng ParsePng(std::span<const std::uint8_t> bytes) {
  ReadPng png;
  constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  png.signatureOk = bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature.data(), 8) == 0;
  std::size_t at = 8;
  std::vector<std::uint8_t> idat;
  std::vector<std::uint8_t> frame;
  bool inFrame = false;
  const auto endFrame = [&] {
    if (inFrame) {
      png.frames.push_back(Unfilter(Inflate(frame), png.width, png.height, png.filtersNone));
      frame.clear();
    }
  };
  while (at + 12 <= bytes.size()) {
    const std::uint32_t length = GetBe32(bytes, at);
    if (at + 12 + length > bytes.size()) {
      break;
    }
    PngChunk chunk;
    chunk.type.assign(reinterpret_cast<const char*>(bytes.data() + at + 4), 4);
    chunk.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 8),
                      bytes.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    chunk.crcOk = Crc(bytes.subspan(at + 4, length + 4)) == GetBe32(bytes, at + 8 + length);
    at += 12 + length;
    if (chunk.type == "IHDR" && chunk.data.size() == 13) {
      png.width = GetBe32(chunk.data, 0);
      png.height = GetBe32(chunk.data, 4);
      png.bitDepth = chunk.data[8];
      png.colourType = chunk.data[9];
    } else if (chunk.type == "PLTE") {
      png.plte = chunk.data;
    } else if (chunk.type == "tRNS") {
      png.trns = chunk.data;
    } else if (chunk.type == "fcTL") {
      endFrame();
      inFrame = true;
    } else if (chunk.type == "IDAT") {
      idat.insert(idat.end(), chunk.data.begin(), chunk.data.end());
      if (inFrame) {
        frame.insert(frame.end(), chunk.data.begin(), chunk.data.end());
      }
    } else if (chunk.type == "fdAT" && chunk.data.size() >= 4) {
      frame.insert(frame.end(), chunk.data.begin() + 4, chunk.data.end());
    } else if (chunk.type == "IEND") {
      endFrame();
    }
    png.chunks.push_back(std::move(chunk));
  }
  png.indices = Unfilter(Inflate(idat), png.width, png.height, png.filtersNone);
  return png;
}

ReadGif ParseGif(std::span<const std::uint8_t> bytes) {
  ReadGif gif;
  int* delays = nullptr;
  int frames = 0;
  int channels = 0;
  stbi_uc* pixels = stbi_load_gif_from_memory(bytes.data(), static_cast<int>(bytes.size()), &delays,
                                              &gif.width, &gif.height, &frames, &channels, 4);
  if (pixels == nullptr) {
    return {};
  }
  const auto frameBytes =
      static_cast<std::size_t>(gif.width) * static_cast<std::size_t>(gif.height) * 4;
  for (int f = 0; f < frames; ++f) {
    const stbi_uc* start = pixels + static_cast<std::size_t>(f) * frameBytes;
    gif.frames.emplace_back(start, start + frameBytes);
    gif.delays.push_back(delays[f]);
  }
  stbi_image_free(pixels);
  stbi_image_free(delays);
  return gif;
}

namespace {

std::uint32_t Le(std::span<const std::uint8_t> bytes, std::size_t offset, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) {
    value = (value << 8U) | bytes[offset + static_cast<std::size_t>(i)];
  }
  return value;
}

std::uint64_t Le64(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return Le(bytes, offset, 4) | (std::uint64_t{Le(bytes, offset + 4, 4)} << 32U);
}

std::vector<std::uint8_t> InflateRaw(std::span<const std::uint8_t> stream, std::size_t size) {
  std::vector<std::uint8_t> out(size + 1);
  const int got = stbi_zlib_decode_noheader_buffer(
      reinterpret_cast<char*>(out.data()), static_cast<int>(out.size()),
      reinterpret_cast<const char*>(stream.data()), static_cast<int>(stream.size()));
  out.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
  return out;
}

}  // namespace

ReadZip ParseZip(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kEnd = 22;
  ReadZip zip;
  if (bytes.size() < kEnd) {
    return zip;
  }
  const std::size_t end = bytes.size() - kEnd;
  if (Le(bytes, end, 4) != 0x06054B50U) {
    return zip;
  }
  zip.count = Le(bytes, end + 10, 2);
  std::uint64_t directoryAt = Le(bytes, end + 16, 4);
  if (zip.count == 0xFFFFU || directoryAt == 0xFFFFFFFFU) {
    // The locator just before the end record, then the zip64 end record it points at.
    const std::size_t locator = end - 20;
    const std::uint64_t record = Le64(bytes, locator + 8);
    if (Le(bytes, locator, 4) != 0x07064B50U || Le(bytes, record, 4) != 0x06064B50U) {
      return zip;
    }
    zip.zip64 = true;
    zip.count = Le64(bytes, record + 32);
    directoryAt = Le64(bytes, record + 48);
  }
  std::size_t at = directoryAt;
  for (std::uint64_t i = 0; i < zip.count; ++i) {
    if (at + 46 > bytes.size() || Le(bytes, at, 4) != 0x02014B50U) {
      return zip;
    }
    ZipFile file;
    file.flags = static_cast<std::uint16_t>(Le(bytes, at + 8, 2));
    file.method = static_cast<std::uint16_t>(Le(bytes, at + 10, 2));
    const std::uint32_t crc = Le(bytes, at + 16, 4);
    const std::uint32_t compressed = Le(bytes, at + 20, 4);
    const std::uint32_t size = Le(bytes, at + 24, 4);
    const std::size_t nameLength = Le(bytes, at + 28, 2);
    const std::size_t extraLength = Le(bytes, at + 30, 2);
    std::uint64_t local = Le(bytes, at + 42, 4);
    file.name.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 46),
                     bytes.begin() + static_cast<std::ptrdiff_t>(at + 46 + nameLength));
    if (local == 0xFFFFFFFFU && extraLength >= 12) {
      local = Le64(bytes, at + 46 + nameLength + 4);
    }
    at += 46 + nameLength + extraLength + Le(bytes, at + 32, 2);
    const std::size_t data = local + 30 + Le(bytes, local + 26, 2) + Le(bytes, local + 28, 2);
    if (Le(bytes, local, 4) != 0x04034B50U || Le(bytes, local + 14, 4) != crc ||
        data + compressed > bytes.size()) {
      return zip;
    }
    const std::span<const std::uint8_t> stored = bytes.subspan(data, compressed);
    file.bytes = file.method == 8 ? InflateRaw(stored, size)
                                  : std::vector<std::uint8_t>(stored.begin(), stored.end());
    if (file.bytes.size() != size || Crc(file.bytes) != crc) {
      return zip;
    }
    zip.files.push_back(std::move(file));
  }
  zip.ok = true;
  return zip;
}

}  // namespace vostrel::test
