#pragma once

#include <cstdint>
#include <ostream>

namespace vostrel {

// A progress mark: one '.' on standard output, left in the buffer until the line ends.
void WriteMark();

// count progress marks at once.
void WriteMarks(std::uint64_t count);

// Ends the current console line and flushes it, so progress shows as soon as a line is whole.
void EndLine(std::ostream& stream);

}  // namespace vostrel
