// The run-length encoder of .ART frames (for vostrel-pack).
#include "sprite/rle_encode.hpp"

#include <algorithm>

#include "sprite/rle_format.hpp"

namespace vostrel {

namespace {

// A fill run costs two bytes; two equal bytes cost no more inside a literal run, where breaking
// the literal for them would add a control byte.
constexpr std::size_t kMinFillRun = 3;

}  // namespace

std::vector<std::uint8_t> EncodeRle(std::span<const std::uint8_t> pixels) {
  std::vector<std::uint8_t> out;
  // Literal runs add one byte in 127; fill runs only shorten the stream.
  out.reserve(pixels.size() + pixels.size() / kMaxRleRun + 1);
  std::size_t literalStart = 0;
  const auto flushLiteral = [&](std::size_t end) {
    while (literalStart < end) {
      const std::size_t count = std::min(kMaxRleRun, end - literalStart);
      out.push_back(static_cast<std::uint8_t>(kRleLiteralBit | count));
      const auto from = pixels.begin() + static_cast<std::ptrdiff_t>(literalStart);
      out.insert(out.end(), from, from + static_cast<std::ptrdiff_t>(count));
      literalStart += count;
    }
  };
  std::size_t i = 0;
  while (i < pixels.size()) {
    const std::size_t limit = std::min(kMaxRleRun, pixels.size() - i);
    std::size_t run = 1;
    while (run < limit && pixels[i + run] == pixels[i]) {
      ++run;
    }
    if (run >= kMinFillRun) {
      flushLiteral(i);
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(pixels[i]);
      literalStart = i + run;
    }
    i += run;
  }
  flushLiteral(pixels.size());
  return out;
}

std::vector<std::uint8_t> EncodeFrameData(std::span<const std::uint8_t> pixels, bool raw) {
  if (!raw) {
    std::vector<std::uint8_t> stream = EncodeRle(pixels);
    if (stream.size() != pixels.size()) {
      return stream;
    }
  }
  return {pixels.begin(), pixels.end()};
}

}  // namespace vostrel
