// Reads back what vostrel-sheet writes, with code of its own and stb_image's: PNG chunks and
// their CRCs, the indices of a PNG and of each APNG frame, and a GIF's frames as colours; and the
// page's zips, through their central directory.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vostrel::test {

struct PngChunk {
  std::string type;
  std::vector<std::uint8_t> data;
  bool crcOk = false;
};

struct ReadPng {
  bool signatureOk = false;
  std::vector<PngChunk> chunks;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t bitDepth = 0;
  std::uint8_t colourType = 0;
  std::vector<std::uint8_t> plte;
  std::vector<std::uint8_t> trns;
  // The indices of the default image, and of every animation frame (fdAT, or IDAT when the
  // first fcTL comes before it), each with the filter bytes removed (all must be 0).
  std::vector<std::uint8_t> indices;
  std::vector<std::vector<std::uint8_t>> frames;
  bool filtersNone = true;
};

ReadPng ParsePng(std::span<const std::uint8_t> bytes);

std::uint32_t GetBe32(std::span<const std::uint8_t> bytes, std::size_t offset);

// A GIF's frames as composed by stb_image: red, green, blue, alpha a pixel, and each delay in
// milliseconds. Empty when it cannot be read.
struct ReadGif {
  int width = 0;
  int height = 0;
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<int> delays;
};

ReadGif ParseGif(std::span<const std::uint8_t> bytes);

// A zip's files as its central directory lists them, each read at its local header and
// inflated; the counts as its end record (or zip64 end record) gives them. ok is false when any
// structure, size or CRC does not agree.
struct ZipFile {
  std::string name;
  std::uint16_t method = 0;
  std::uint16_t flags = 0;
  std::vector<std::uint8_t> bytes;
};

struct ReadZip {
  bool ok = false;
  bool zip64 = false;
  std::uint64_t count = 0;
  std::vector<ZipFile> files;
};

ReadZip ParseZip(std::span<const std::uint8_t> bytes);

}  // namespace vostrel::test
