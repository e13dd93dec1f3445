#pragma once

#include <cstdint>
#include <span>

namespace vostrel {

// Decodes one run-length frame block into output and returns the number of bytes produced.
// Only the first dataSize bytes of block are read (none when dataSize is 0 or less). A run that
// would read past the block or write past the output is cut at that bound and ends the
// decoding; output the stream does not reach keeps its contents. Writes a progress mark after
// every 50th fill run, then "Done" and a line end.
std::int32_t DecodeRle(std::span<const std::uint8_t> block, std::int32_t dataSize,
                       std::span<std::uint8_t> output);

}  // namespace vostrel
