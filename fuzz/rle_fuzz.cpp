// Runs the run-length decoders on arbitrary streams, announced sizes and output sizes. The careful
// decoder must write only the prefix it reports, exactly as the slow reference decoder here would;
// the fast one, which the converter uses, must report and produce exactly what the careful one
// does, zero the rest of its output, and neither may write a byte outside the output it was
// given.
//
// Input: one mode byte, a 32-bit word and a 16-bit output size, a canary byte, then the block.
// The mode says how the announced data size relates to the block: the word itself (any value,
// negative included), the block's own size, or a little less or more than it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_support.hpp"
#include "sprite/rle.hpp"
#include "support/rle_reference.hpp"

namespace {

// Bytes kept on either side of the output, to catch writes just past its bounds that the
// sanitizer cannot see inside one allocation.
constexpr std::size_t kGuard = 64;

bool Holds(std::span<const std::uint8_t> bytes, std::uint8_t value) {
  return std::all_of(bytes.begin(), bytes.end(), [value](std::uint8_t b) { return b == value; });
}

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

  // The careful decoder against the slow reference.
  vostrel::fuzz::Bytes buffer(kGuard + outputSize + kGuard, canary);
  const std::span<std::uint8_t> output(buffer.data() + kGuard, outputSize);
  const vostrel::RleDecoding careful = vostrel::DecodeRleSilently(block, dataSize, output);
  vostrel::fuzz::Bytes expected(outputSize, canary);
  const std::size_t expectedCount = vostrel::fuzz::ReferenceRle(block, dataSize, expected);
  const auto produced = static_cast<std::size_t>(careful.written);
  FUZZ_CHECK(careful.written >= 0);
  FUZZ_CHECK(produced <= outputSize);
  FUZZ_CHECK(produced == expectedCount);
  FUZZ_CHECK(std::equal(expected.begin(), expected.end(), output.begin()));
  FUZZ_CHECK(Holds(std::span(buffer).first(kGuard), canary));
  FUZZ_CHECK(Holds(output.subspan(produced), canary));
  FUZZ_CHECK(Holds(std::span(buffer).last(kGuard), canary));

  // The fast decoder against the careful one, with its progress written as the converter does.
  vostrel::fuzz::Bytes fastBuffer(kGuard + outputSize + kGuard, canary);
  const std::span<std::uint8_t> fastOutput(fastBuffer.data() + kGuard, outputSize);
  const vostrel::RleDecoding fast = vostrel::DecodeRleWild(block, dataSize, fastOutput);
  vostrel::SilentConsole silent;
  vostrel::WriteRleProgress(silent, fast.fillRuns);
  FUZZ_CHECK(fast.written == careful.written);
  FUZZ_CHECK(fast.fillRuns == careful.fillRuns);
  FUZZ_CHECK(std::equal(output.begin(), output.begin() + careful.written, fastOutput.begin()));
  FUZZ_CHECK(Holds(fastOutput.subspan(produced), 0));
  FUZZ_CHECK(Holds(std::span(fastBuffer).first(kGuard), canary));
  FUZZ_CHECK(Holds(std::span(fastBuffer).last(kGuard), canary));
  return 0;
}
