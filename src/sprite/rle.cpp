// The run-length decoders of .ART frames, and their console progress.
#include "sprite/rle.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "sprite/rle_format.hpp"

namespace vostrel {

namespace {

constexpr std::uint64_t kFillRunsPerMark = 50;

// Where a decoding stands: the next byte of the block to read, the next byte of the output to
// write, and the fill runs met so far.
struct RleCursor {
  std::size_t in = 0;
  std::size_t out = 0;
  std::uint64_t fillRuns = 0;
};

// The bytes of block a decoding reads: the first dataSize, and never more than it holds.
std::size_t StreamEnd(std::span<const std::uint8_t> block, std::int32_t dataSize) {
  return dataSize <= 0 ? 0 : std::min(block.size(), static_cast<std::size_t>(dataSize));
}

// The count returned is 32-bit, so a decoding never produces more than it can tell.
std::span<std::uint8_t> CountableOutput(std::span<std::uint8_t> output) {
  return output.first(
      std::min(output.size(), static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
}

// The last runs, each checked and cut at whichever bound it meets; a cut run ends the decoding.
void DecodeCarefully(std::span<const std::uint8_t> block, std::size_t end,
                     std::span<std::uint8_t> output, RleCursor& at) {
  while (at.in < end) {
    const std::uint8_t control = block[at.in];
    const std::size_t count = control & kRleCountMask;
    const std::size_t room = output.size() - at.out;
    if ((control & kRleLiteralBit) != 0) {
      const std::size_t present = end - at.in - 1;
      const std::size_t copied = std::min({count, present, room});
      std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(at.in + 1), copied,
                  output.begin() + static_cast<std::ptrdiff_t>(at.out));
      at.out += copied;
      if (copied < count) {
        return;
      }
      at.in += count + 1;
    } else {
      if (end - at.in < 2) {
        return;  // the fill value lies past the block
      }
      const std::size_t filled = std::min(count, room);
      std::fill_n(output.begin() + static_cast<std::ptrdiff_t>(at.out), filled, block[at.in + 1]);
      at.out += filled;
      if (filled < count) {
        return;
      }
      at.in += 2;
      ++at.fillRuns;
    }
  }
}

// The wild decoder moves every run in blocks of this many bytes: one block takes most runs of a
// sprite whole, with no branch on the run's length.
constexpr std::size_t kWildBlock = 32;
// How far past a run's first byte its blocks may read or write: the longest run in whole blocks.
constexpr std::size_t kWildReach = (kMaxRleRun + kWildBlock - 1) / kWildBlock * kWildBlock;

void CopyWild(std::uint8_t* to, const std::uint8_t* from, std::size_t count) {
  std::memcpy(to, from, kWildBlock);
  if (count > kWildBlock) [[unlikely]] {
    for (std::size_t done = kWildBlock; done < count; done += kWildBlock) {
      std::memcpy(to + done, from + done, kWildBlock);
    }
  }
}

void FillWild(std::uint8_t* to, std::uint8_t value, std::size_t count) {
  std::memset(to, value, kWildBlock);
  if (count > kWildBlock) [[unlikely]] {
    for (std::size_t done = kWildBlock; done < count; done += kWildBlock) {
      std::memset(to + done, value, kWildBlock);
    }
  }
}

// Decodes runs from the start while the longest run fits in what is left of both buffers: more
// than kMaxRleRun + 1 bytes of the block, and outMargin bytes of the output (at least kMaxRleRun).
// No run needs its bounds checked, and copy and fill may move up to outMargin bytes from where the
// run starts. Returns where the decoding stands.
template <auto Copy, auto Fill>
RleCursor DecodeUnchecked(std::span<const std::uint8_t> block, std::size_t end,
                          std::span<std::uint8_t> output, std::size_t outMargin) {
  if (end <= kMaxRleRun + 1 || output.size() < outMargin) {
    return {};
  }
  const std::uint8_t* const inStart = block.data();
  std::uint8_t* const outStart = output.data();
  const std::uint8_t* const inLimit = inStart + (end - (kMaxRleRun + 1));
  const std::uint8_t* const outLimit = outStart + (output.size() - outMargin);
  // Kept in locals, and as pointers, which spares forming an address from an index for every
  // run: the output's bytes may alias anything, so fields written through a reference would be
  // stored and loaded again around every run.
  const std::uint8_t* in = inStart;
  std::uint8_t* out = outStart;
  std::uint64_t fillRuns = 0;
  while (in < inLimit && out <= outLimit) {
    const std::uint8_t control = *in;
    const std::size_t count = control & kRleCountMask;
    if ((control & kRleLiteralBit) != 0) {
      Copy(out, in + 1, count);
      in += count + 1;
    } else {
      Fill(out, in[1], count);
      in += 2;
      ++fillRuns;
    }
    out += count;
  }
  return {static_cast<std::size_t>(in - inStart), static_cast<std::size_t>(out - outStart),
          fillRuns};
}

}  // namespace

RleDecoding DecodeRleWild(std::span<const std::uint8_t> block, std::int32_t dataSize,
                          std::span<std::uint8_t> output) {
  const std::size_t end = StreamEnd(block, dataSize);
  const std::span<std::uint8_t> countable = CountableOutput(output);
  // Every block a run moves lies inside both buffers: a literal reads at most kWildReach bytes
  // after its control byte, and a run writes at most kWildReach bytes. A run is at most kMaxRleRun
  // long, so it is never cut here; the careful loop takes the last runs.
  static_assert(kWildReach <= kMaxRleRun + 1);
  RleCursor at = DecodeUnchecked<CopyWild, FillWild>(block, end, countable, kWildReach);
  DecodeCarefully(block, end, countable, at);
  // The blocks of the last runs may have spilled past what the stream produced.
  std::fill(output.begin() + static_cast<std::ptrdiff_t>(at.out), output.end(), 0);
  return {static_cast<std::int32_t>(at.out), at.fillRuns};
}

void WriteRleProgress(Console& console, std::uint64_t fillRuns) {
  console.Marks(fillRuns / kFillRunsPerMark);
  console.Out("Done");
  console.EndLine(Stream::kOut);
}

std::int32_t DecodeRle(std::span<const std::uint8_t> block, std::int32_t dataSize,
                       std::span<std::uint8_t> output, Console& console) {
  const RleDecoding decoding = DecodeRleWild(block, dataSize, output);
  WriteRleProgress(console, decoding.fillRuns);
  return decoding.written;
}

}  // namespace vostrel
