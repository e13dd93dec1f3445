// The run-length decoder of .ART frames, and its console progress.
#include "art/rle.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "art/rle_format.hpp"

namespace vostrel {

namespace {

constexpr std::uint64_t kFillRunsPerMark = 50;

// Sprites are mostly runs of a few bytes, too short to be worth a call to memcpy or memset: up
// to 16 bytes go as two loads or stores of one size that overlap in the middle, never touching
// a byte outside the run.
template <typename Word>
void CopyOverlapping(std::uint8_t* to, const std::uint8_t* from, std::size_t count) {
  Word head;
  Word tail;
  std::memcpy(&head, from, sizeof(Word));
  std::memcpy(&tail, from + count - sizeof(Word), sizeof(Word));
  std::memcpy(to, &head, sizeof(Word));
  std::memcpy(to + count - sizeof(Word), &tail, sizeof(Word));
}

void CopyRun(std::uint8_t* to, const std::uint8_t* from, std::size_t count) {
  if (count > 16) {
    std::memcpy(to, from, count);
  } else if (count >= 8) {
    CopyOverlapping<std::uint64_t>(to, from, count);
  } else if (count >= 4) {
    CopyOverlapping<std::uint32_t>(to, from, count);
  } else if (count >= 2) {
    CopyOverlapping<std::uint16_t>(to, from, count);
  } else if (count == 1) {
    *to = *from;
  }
}

template <typename Word>
void FillOverlapping(std::uint8_t* to, std::uint64_t pattern, std::size_t count) {
  const auto word = static_cast<Word>(pattern);
  std::memcpy(to, &word, sizeof(Word));
  std::memcpy(to + count - sizeof(Word), &word, sizeof(Word));
}

void FillRun(std::uint8_t* to, std::uint8_t value, std::size_t count) {
  const std::uint64_t pattern = value * std::uint64_t{0x0101010101010101};
  if (count > 16) {
    std::memset(to, value, count);
  } else if (count >= 8) {
    FillOverlapping<std::uint64_t>(to, pattern, count);
  } else if (count >= 4) {
    FillOverlapping<std::uint32_t>(to, pattern, count);
  } else if (count >= 2) {
    FillOverlapping<std::uint16_t>(to, pattern, count);
  } else if (count == 1) {
    *to = value;
  }
}

}  // namespace

RleDecoding DecodeRleSilently(std::span<const std::uint8_t> block, std::int32_t dataSize,
                              std::span<std::uint8_t> output) {
  const std::size_t end =
      dataSize <= 0 ? 0 : std::min(block.size(), static_cast<std::size_t>(dataSize));
  // The count returned is 32-bit, so never produce more than it can tell.
  output = output.first(
      std::min(output.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
  std::size_t in = 0;
  std::size_t out = 0;
  std::uint64_t fillRuns = 0;
  // While the longest run fits in what is left of both buffers, no run needs its bounds checked.
  const std::uint8_t* const from = block.data();
  std::uint8_t* const to = output.data();
  while (end - in > kMaxRleRun + 1 && output.size() - out >= kMaxRleRun) {
    const std::uint8_t control = from[in];
    const std::size_t count = control & kRleCountMask;
    if ((control & kRleLiteralBit) != 0) {
      CopyRun(to + out, from + in + 1, count);
      in += count + 1;
    } else {
      FillRun(to + out, from[in + 1], count);
      in += 2;
      ++fillRuns;
    }
    out += count;
  }
  // The last runs, each cut at whichever bound it meets.
  while (in < end) {
    const std::uint8_t control = block[in];
    const std::size_t count = control & kRleCountMask;
    const std::size_t room = output.size() - out;
    if ((control & kRleLiteralBit) != 0) {
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
      ++fillRuns;
    }
  }
  return {static_cast<std::int32_t>(out), fillRuns};
}

void WriteRleProgress(Console& console, std::uint64_t fillRuns) {
  console.Marks(fillRuns / kFillRunsPerMark);
  console.Out("Done");
  console.EndLine(Stream::kOut);
}

std::int32_t DecodeRle(std::span<const std::uint8_t> block, std::int32_t dataSize,
                       std::span<std::uint8_t> output, Console& console) {
  const RleDecoding decoding = DecodeRleSilently(block, dataSize, output);
  WriteRleProgress(console, decoding.fillRuns);
  return decoding.written;
}

}  // namespace vostrel
