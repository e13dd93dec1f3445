// Writing .ART files and run-length streams from their specs, and the little-endian helpers the
// tests read files back with.
#include "support/art_writer.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vostrel::test {

namespace {

constexpr std::size_t kMaxRun = 127;
constexpr std::uint8_t kLiteralBit = 0x80;
constexpr std::size_t kMinFill = 3;

}  // namespace

void PutLe32(Bytes& out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<std::uint8_t>((bits >> shift) & 0xFFu));
  }
}

std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(bytes[offset + i]) << (8 * i);
  }
  return value;
}

std::uint16_t GetLe16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

ArtSpec OneFrameLayout(std::int32_t paletteCount, std::vector<ArtFrameSpec> frames) {
  ArtSpec sprite;
  sprite.flags = 1;
  for (std::int32_t k = 0; k < paletteCount; ++k) {
    sprite.palettePresent[static_cast<std::size_t>(k)] = 1;
    sprite.palettes.push_back(MakePalette(static_cast<std::uint8_t>(k)));
  }
  sprite.frames = std::move(frames);
  return sprite;
}

Bytes MakePalette(std::uint8_t seed) {
  Bytes palette(1024);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    palette[i] = static_cast<std::uint8_t>(i * 7 + seed * 31 + (i >> 8));
  }
  return palette;
}

Bytes MakePixels(std::int32_t width, std::int32_t height, std::uint8_t seed) {
  Bytes pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<std::uint8_t>(i * 13 + seed);
  }
  return pixels;
}

Bytes WriteArt(const ArtSpec& sprite) {
  Bytes out;
  std::array<std::int32_t, 33> words = sprite.fillerWords;
  words[0] = sprite.flags;
  std::copy(sprite.palettePresent.begin(), sprite.palettePresent.end(), words.begin() + 3);
  const bool eightPictures = sprite.flags == 0 || sprite.flags == 2;
  const auto frames = static_cast<std::int32_t>(sprite.frames.size());
  words[8] = sprite.frameCount.value_or(eightPictures ? frames / 8 : frames);
  for (const std::int32_t word : words) {
    PutLe32(out, word);
  }
  for (const Bytes& palette : sprite.palettes) {
    out.insert(out.end(), palette.begin(), palette.end());
  }
  for (const ArtFrameSpec& frame : sprite.frames) {
    PutLe32(out, frame.width);
    PutLe32(out, frame.height);
    PutLe32(out, frame.dataSize.value_or(static_cast<std::int32_t>(frame.data.size())));
    for (const std::int32_t word : frame.words) {
      PutLe32(out, word);
    }
  }
  for (const ArtFrameSpec& frame : sprite.frames) {
    out.insert(out.end(), frame.data.begin(), frame.data.end());
  }
  return out;
}

Bytes EncodeRle(std::span<const std::uint8_t> pixels) {
  Bytes out;
  std::size_t i = 0;
  std::size_t literalStart = 0;
  auto flushLiteral = [&](std::size_t end) {
    while (literalStart < end) {
      const std::size_t count = std::min(kMaxRun, end - literalStart);
      out.push_back(static_cast<std::uint8_t>(kLiteralBit | count));
      out.insert(out.end(), pixels.begin() + static_cast<std::ptrdiff_t>(literalStart),
                 pixels.begin() + static_cast<std::ptrdiff_t>(literalStart + count));
      literalStart += count;
    }
  };
  while (i < pixels.size()) {
    std::size_t run = 1;
    while (i + run < pixels.size() && run < kMaxRun && pixels[i + run] == pixels[i]) {
      ++run;
    }
    if (run >= kMinFill) {
      flushLiteral(i);
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(pixels[i]);
      i += run;
      literalStart = i;
    } else {
      i += run;
    }
  }
  flushLiteral(pixels.size());
  return out;
}

void WriteFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file) {
    throw std::runtime_error("cannot write " + path);
  }
}

Bytes ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    throw std::runtime_error("cannot read " + path);
  }
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace vostrel::test
