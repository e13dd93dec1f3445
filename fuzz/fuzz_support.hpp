// What the fuzz targets share: an invariant check that stops the run on the spot, a reader of sizes
// from the front of an input, a plain reference run-length decoder and an independent reader of the
// BMPs the writer produces.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace vostrel::fuzz {

using Bytes = std::vector<std::uint8_t>;

// Sanitizer reports and this message go straight to file descriptor 2. (The code under test
// writes its console text to the SilentConsole each target hands it, so nothing else does.)
[[noreturn]] inline void Fail(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::vostrel::fuzz::Fail(#condition, __FILE__, __LINE__))

// A palette for the picture target, made from one byte of its input: 256 entries of blue,
// green, red and a fourth byte, in which every colour is held by four entries, so that the
// choice among equal colours is exercised.
inline Bytes FuzzPalette(std::uint8_t seed) {
  Bytes palette(1024);
  for (std::size_t i = 0; i < 256; ++i) {
    const std::size_t colour = i % 64;
    palette[i * 4] = static_cast<std::uint8_t>(colour * 4 + seed);
    palette[i * 4 + 1] = static_cast<std::uint8_t>(colour * 16 + seed);
    palette[i * 4 + 2] = static_cast<std::uint8_t>(colour ^ seed);
    palette[i * 4 + 3] = static_cast<std::uint8_t>(i);
  }
  return palette;
}

// Takes little-endian numbers off the front of an input; past its end every byte reads as zero,
// so a short input is still a valid (if dull) choice of parameters.
class InputReader {
 public:
  explicit InputReader(std::span<const std::uint8_t> input) : input_(input) {}

  std::uint8_t Byte() { return pos_ < input_.size() ? input_[pos_++] : std::uint8_t{0}; }

  std::uint32_t Word() {
    std::uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      value |= static_cast<std::uint32_t>(Byte()) << shift;
    }
    return value;
  }

  std::uint16_t Half() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }

  std::span<const std::uint8_t> Rest() const {
    return input_.subspan(std::min(pos_, input_.size()));
  }

 private:
  std::span<const std::uint8_t> input_;
  std::size_t pos_ = 0;
};

// The run-length rule written the slow, obvious way, byte by byte, to compare the real decoder
// with: a control byte with bit 7 set copies (c & 0x7F) bytes that follow, otherwise the next
// byte is repeated (c & 0x7F) times; the first run that cannot be completed, for want of input
// or of room, ends the stream after whatever part of it fits.
inline std::size_t ReferenceRle(std::span<const std::uint8_t> block, std::int64_t dataSize,
                                std::span<std::uint8_t> output) {
  const std::size_t end =
      dataSize <= 0 ? 0 : std::min<std::size_t>(block.size(), static_cast<std::size_t>(dataSize));
  std::size_t in = 0;
  std::size_t out = 0;
  while (in < end) {
    const std::uint8_t control = block[in++];
    const unsigned count = control & 0x7Fu;
    if ((control & 0x80u) != 0) {
      for (unsigned i = 0; i < count; ++i) {
        if (in >= end || out >= output.size()) {
          return out;
        }
        output[out++] = block[in++];
      }
    } else {
      if (in >= end) {
        return out;
      }
      const std::uint8_t value = block[in++];
      for (unsigned i = 0; i < count; ++i) {
        if (out >= output.size()) {
          return out;
        }
        output[out++] = value;
      }
    }
  }
  return out;
}

inline std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) |
         (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// Reads an encoded BMP back and checks every byte of it against what it should show: the
// headers, a 256-entry colour table that starts with palette (shorter palettes completed with
// zeros), and the rows of the top-down plane stored bottom-up, each padded with a prefix of
// "QZV" to a multiple of four bytes.
inline void CheckBmp(std::span<const std::uint8_t> file, std::int32_t width, std::int32_t height,
                     std::span<const std::uint8_t> plane, std::span<const std::uint8_t> palette) {
  constexpr std::size_t kDataOffset = 14 + 40 + 1024;
  const auto rowBytes = static_cast<std::size_t>(width);
  const std::size_t pad = (4 - rowBytes % 4) % 4;
  const std::size_t rows = static_cast<std::size_t>(height);
  FUZZ_CHECK(file.size() == kDataOffset + (rowBytes + pad) * rows);
  FUZZ_CHECK(file[0] == 'B' && file[1] == 'M');
  FUZZ_CHECK(Le32(file, 2) == file.size());
  FUZZ_CHECK(file[6] == 'q' && file[7] == 'z' && file[8] == 'v' && file[9] == 0);
  FUZZ_CHECK(Le32(file, 10) == kDataOffset);
  FUZZ_CHECK(Le32(file, 14) == 40);
  FUZZ_CHECK(static_cast<std::int32_t>(Le32(file, 18)) == width);
  FUZZ_CHECK(static_cast<std::int32_t>(Le32(file, 22)) == height);
  FUZZ_CHECK(Le16(file, 26) == 1 && Le16(file, 28) == 8);
  FUZZ_CHECK(Le32(file, 30) == 0);
  static constexpr char kWatermark[12] = "palomexvind";
  FUZZ_CHECK(std::equal(file.begin() + 34, file.begin() + 46, kWatermark));
  FUZZ_CHECK(Le32(file, 46) == 0 && Le32(file, 50) == 0);

  const std::size_t paletteBytes = std::min<std::size_t>(palette.size(), 1024);
  FUZZ_CHECK(std::equal(palette.begin(),
                        palette.begin() + static_cast<std::ptrdiff_t>(paletteBytes),
                        file.begin() + 54));
  FUZZ_CHECK(std::all_of(file.begin() + 54 + static_cast<std::ptrdiff_t>(paletteBytes),
                         file.begin() + kDataOffset, [](std::uint8_t b) { return b == 0; }));

  static constexpr char kPad[3] = {'Q', 'Z', 'V'};
  for (std::size_t r = 0; r < rows; ++r) {
    const auto row = file.subspan(kDataOffset + r * (rowBytes + pad), rowBytes + pad);
    const auto source = plane.subspan((rows - 1 - r) * rowBytes, rowBytes);
    FUZZ_CHECK(std::equal(source.begin(), source.end(), row.begin()));
    FUZZ_CHECK(std::equal(kPad, kPad + pad, row.begin() + static_cast<std::ptrdiff_t>(rowBytes)));
  }
}

}  // namespace vostrel::fuzz
