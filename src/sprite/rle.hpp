// The run-length decoder of .ART frames (format in art_format.hpp) and its console progress.
#pragma once

#include <cstdint>
#include <span>

#include "io/console.hpp"

namespace vostrel {

struct RleDecoding {
  std::int32_t written = 0;    // bytes produced
  std::uint64_t fillRuns = 0;  // fill runs decoded, which the progress marks count
};

// Decodes one run-length frame block into output, writing nothing on the console. Only the
// first dataSize bytes of block are read (none when dataSize is 0 or less). A run that would
// read past the block or write past the output is cut at that bound and ends the decoding; output
// the stream does not reach is set to zero. Away from the ends of both buffers every run is
// copied or filled in whole blocks of 32 bytes, whatever its length, and the bytes past the run
// that a block overwrites are written again by the runs that follow, so the output is written
// past what the stream produces, though never past its end. The tests and fuzz targets check it
// against a plain reference decoder of their own.
RleDecoding DecodeRleWild(std::span<const std::uint8_t> block, std::int32_t dataSize,
                          std::span<std::uint8_t> output);

// The progress of a decoding that met fillRuns fill runs: a mark for every 50th, then "Done"
// and a line end. Decoding and announcing are apart so that a frame decoded once can be
// announced again for each of its palettes, exactly as if it had been decoded each time.
void WriteRleProgress(Console& console, std::uint64_t fillRuns);

// DecodeRleWild, then its progress; returns the number of bytes produced.
std::int32_t DecodeRle(std::span<const std::uint8_t> block, std::int32_t dataSize,
                       std::span<std::uint8_t> output, Console& console);

}  // namespace vostrel
