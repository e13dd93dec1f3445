// The readers of image_reader.hpp. stb_image inflates the PNG data and decodes the GIFs.
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

}  // namespace vostrel::test
