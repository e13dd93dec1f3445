#include "art/rle.hpp"

#include <algorithm>
#include <iostream>
#include <limits>

#include "image/console.hpp"

namespace vostrel {

namespace {

constexpr std::uint8_t kLiteralBit = 0x80;
constexpr std::uint8_t kCountMask = 0x7F;
constexpr int kFillRunsPerMark = 50;

}  // namespace

std::int32_t DecodeRle(std::span<const std::uint8_t> block, std::int32_t dataSize,
                       std::span<std::uint8_t> output) {
  const std::size_t end =
      dataSize <= 0 ? 0 : std::min(block.size(), static_cast<std::size_t>(dataSize));
  // The count returned is 32-bit, so never produce more than it can tell.
  output = output.first(
      std::min(output.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
  std::size_t in = 0;
  std::size_t out = 0;
  int fillRuns = 0;
  while (in < end) {
    const std::uint8_t control = block[in];
    const std::size_t count = control & kCountMask;
    const std::size_t room = output.size() - out;
    if ((control & kLiteralBit) != 0) {
      const std::size_t present = end - in - 1;
      const std::size_t copied = std::min({count, present, room});
      std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(in + 1), copied,
                  output.begin() + static_cast<std::ptrdiff_t>(out));
      out += copied;
      if (copied < count) {
        break;
      }
      in += count + 1;
    } else {
      if (end - in < 2) {
        break;  // the fill value lies past the block
      }
      const std::size_t filled = std::min(count, room);
      std::fill_n(output.begin() + static_cast<std::ptrdiff_t>(out), filled, block[in + 1]);
      out += filled;
      if (filled < count) {
        break;
      }
      in += 2;
      if (++fillRuns == kFillRunsPerMark) {
        WriteMark();
        fillRuns = 0;
      }
    }
  }
  std::cout << "Done";
  EndLine(std::cout);
  return static_cast<std::int32_t>(out);
}

}  // namespace vostrel
