// The reference run-length decoder: the stream read one run at a time, every run checked and cut
// at whichever buffer it would leave, in the plainest code there is. Tests, fuzz targets and the
// benchmark compare the converter's decoder (sprite/rle.hpp) with it; nothing in the programs uses
// it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "sprite/rle.hpp"
#include "sprite/rle_format.hpp"

namespace vostrel {

// Decodes the first dataSize bytes of block (none when dataSize is 0 or less) into output. A run
// that would read past the block or write past the output is cut at that bound and ends the
// decoding; output the stream does not reach keeps its contents.
inline RleDecoding DecodeRleSilently(std::span<const std::uint8_t> block, std::int32_t dataSize,
                                     std::span<std::uint8_t> output) {
  const std::size_t end =
      dataSize <= 0 ? 0 : std::min(block.size(), static_cast<std::size_t>(dataSize));
  // The count returned is 32-bit, so a decoding never produces more than it can tell.
  output = output.first(
      std::min(output.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
  std::size_t in = 0;
  std::size_t out = 0;
  std::uint64_t fillRuns = 0;
  while (in < end) {
    const std::uint8_t control = block[in];
    const std::size_t count = control & kRleCountMask;
    const std::size_t room = output.size() - out;
    if ((control & kRleLiteralBit) != 0) {
      const std::size_t copied = std::min({count, end - in - 1, room});
      std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(in + 1), copied,
                  output.begin() + static_cast<std::ptrdiff_t>(out));
      out += copied;
      if (copied < count) {
        break;
      }
      in += count + 1;
    } else {
      if (end - in < 2) {
        break;
      }
      const std::size_t filled = std::min(count, room);
      std::fill_n(output.begin() + static_cast<std::ptrdiff_t>(out), filled, block[in + 1]);
      out += filled;
      if (filled < count) {
        break;
      }
      in += 2;
      ++fillRuns;
    }
  }
  return {static_cast<std::int32_t>(out), fillRuns};
}

}  // namespace vostrel
