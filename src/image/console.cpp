#include "image/console.hpp"

#include <iostream>
#include <string_view>

namespace vostrel {

void WriteMark() { std::cout.put('.'); }

void WriteMarks(std::uint64_t count) {
  static constexpr std::string_view kChunk =
      "................................................................";
  for (; count >= kChunk.size(); count -= kChunk.size()) {
    std::cout << kChunk;
  }
  std::cout << kChunk.substr(0, static_cast<std::size_t>(count));
}

void EndLine(std::ostream& stream) {
  stream.put('\n');
  stream.flush();
}

}  // namespace vostrel
