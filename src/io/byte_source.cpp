// Reading bytes held in memory.
#include "io/byte_source.hpp"

#include <algorithm>

namespace vostrel {

std::size_t SpanSource::Read(std::span<std::uint8_t> out) {
  const std::size_t count = std::min(out.size(), bytes_.size());
  std::copy_n(bytes_.begin(), count, out.begin());
  bytes_ = bytes_.subspan(count);
  return count;
}

}  // namespace vostrel
