// Runs the run-length decoder on arbitrary streams, announced sizes and output sizes, and checks
// that it writes only the prefix it reports, exactly as the slow reference decoder would, and
// never a byte outside the output it was given.
//
// Input: one mode byte, a 32-bit word and a 16-bit output size, a canary byte, then the block.
// The mode says how the announced data size relates to the block: the word itself (any value,
// negative included), the block's own size, or a little less or more than it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "art/rle.hpp"
#include "fuzz_support.hpp"

namespace {

// Bytes kept on either side of the output, to catch writes just past its bounds that the
// sanitizer cannot see inside one allocation.
constexpr std::size_t kGuard = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vostrel::fuzz::InputReader reader({data, size});
  const std::uint8_t mode = reader.Byte();
  const std::uint32_t word = reader.Word();
  const std::size_t outputSize = reader.Half();
  const std::uint8_t canary = reader.Byte();
  // A block of its own allocation, so that reading a byte past it is a sanitizer report.
  const vostrel::fuzz::Bytes block(reader.Rest().begin(), reader.Rest().end());

  const auto blockSize = static_cast<std::int64_t>(block.size());
  std::int64_t announced = static_cast<std::int32_t>(word);
  switch (mode & 3u) {
    case 1:
      announced = blockSize;
      break;
    case 2:
      announced = blockSize - (word & 0xFu);
      break;
    case 3:
      announced = blockSize + (word & 0xFu);
      break;
    default:
      break;
  }
  const auto dataSize = static_cast<std::int32_t>(announced);

  vostrel::fuzz::Bytes buffer(kGuard + outputSize + kGuard, canary);
  const std::span<std::uint8_t> output(buffer.data() + kGuard, outputSize);
  vostrel::SilentConsole silent;
  const std::int32_t produced = vostrel::DecodeRle(block, dataSize, output, silent);

  vostrel::fuzz::Bytes expected(outputSize, canary);
  const std::size_t expectedCount = vostrel::fuzz::ReferenceRle(block, dataSize, expected);
  FUZZ_CHECK(produced >= 0);
  FUZZ_CHECK(static_cast<std::size_t>(produced) <= outputSize);
  FUZZ_CHECK(static_cast<std::size_t>(produced) == expectedCount);
  FUZZ_CHECK(std::equal(expected.begin(), expected.end(), output.begin()));
  // Guards and the part of the output past the produced prefix still hold the canary.
  FUZZ_CHECK(std::all_of(buffer.begin(), buffer.begin() + kGuard,
                         [canary](std::uint8_t b) { return b == canary; }));
  FUZZ_CHECK(std::all_of(output.begin() + produced, output.end(),
                         [canary](std::uint8_t b) { return b == canary; }));
  FUZZ_CHECK(std::all_of(buffer.end() - kGuard, buffer.end(),
                         [canary](std::uint8_t b) { return b == canary; }));
  return 0;
}
