// Building .ART files byte by byte for tests, the sample sprite, fuzz seeds and benchmarks,
// damaged ones included, independently of the code under test.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

// Builds .ART files and run-length streams for tests, sample files, fuzz seeds and benchmarks.
namespace vostrel::test {

using Bytes = std::vector<std::uint8_t>;

struct ArtFrameSpec {
  ArtFrameSpec(std::int32_t frameWidth, std::int32_t frameHeight, Bytes frameData,
               std::optional<std::int32_t> announcedSize = std::nullopt)
      : width(frameWidth),
        height(frameHeight),
        data(std::move(frameData)),
        dataSize(announcedSize) {}

  std::int32_t width = 0;
  std::int32_t height = 0;
  Bytes data;
  // Written in place of data.size(), to describe damaged files.
  std::optional<std::int32_t> dataSize;
  // The four words of the frame header that nobody interprets.
  std::array<std::int32_t, 4> words{};
};

struct ArtSpec {
  std::int32_t flags = 1;  // one-frame layout unless set to 0 or 2
  std::array<std::int32_t, 4> palettePresent{};
  // Written as the header's frame count; when unset, derived from the layout and the frames.
  std::optional<std::int32_t> frameCount;
  std::vector<Bytes> palettes;                 // each 1024 bytes
  std::vector<ArtFrameSpec> frames;            // picture-major
  std::array<std::int32_t, 33> fillerWords{};  // values of the words nobody interprets
};

// A sprite with the given palettes present and frames in the one-frame layout.
ArtSpec OneFrameLayout(std::int32_t paletteCount, std::vector<ArtFrameSpec> frames);

// A deterministic 1024-byte palette that differs with seed, fourth bytes included.
Bytes MakePalette(std::uint8_t seed);

// Pixels of a width x height frame with a deterministic pattern.
Bytes MakePixels(std::int32_t width, std::int32_t height, std::uint8_t seed);

Bytes WriteArt(const ArtSpec& sprite);

// Greedy run-length coding: repeats of three or more become fill runs, the rest literal runs.
Bytes EncodeRle(std::span<const std::uint8_t> pixels);

void WriteFile(const std::string& path, std::span<const std::uint8_t> bytes);
Bytes ReadFile(const std::string& path);

void PutLe32(Bytes& out, std::int32_t value);
std::uint32_t GetLe32(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint16_t GetLe16(std::span<const std::uint8_t> bytes, std::size_t offset);

}  // namespace vostrel::test
