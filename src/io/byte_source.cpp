// Reading bytes held in memory, a random-access source front to back, and through a window.
#include "io/byte_source.hpp"

#include <algorithm>

namespace vostrel {

std::size_t SpanSource::Read(std::span<std::uint8_t> out) {
  const std::size_t count = std::min(out.size(), bytes_.size());
  std::copy_n(bytes_.begin(), count, out.begin());
  bytes_ = bytes_.subspan(count);
  return count;
}

std::size_t SpanRandomSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  if (offset >= bytes_.size()) {
    return 0;
  }
  // Below the span's size, so the offset fits a size_t.
  const auto at = static_cast<std::size_t>(offset);
  const std::size_t count = std::min(out.size(), bytes_.size() - at);
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at), count, out.begin());
  return count;
}

std::size_t SequentialSource::Read(std::span<std::uint8_t> out) {
  const std::size_t got = source_.ReadAt(position_, out);
  position_ += got;
  return got;
}

std::size_t ReadAheadSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    const std::span<std::uint8_t> rest = out.subspan(done);
    if (at >= windowAt_ && at - windowAt_ < window_.size()) {
      // Inside the window, so the distance fits a size_t.
      const auto from = static_cast<std::size_t>(at - windowAt_);
      const std::size_t count = std::min(rest.size(), window_.size() - from);
      std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(from), count, rest.begin());
      done += count;
      continue;
    }
    if (rest.size() >= capacity_) {
      return done + source_.ReadAt(at, rest);
    }
    window_.resize(capacity_);
    window_.resize(source_.ReadAt(at, window_));
    windowAt_ = at;
    if (window_.empty()) {
      break;
    }
  }
  return done;
}

std::span<std::uint8_t> ReadAheadSource::PlaceWindow(std::uint64_t offset, std::size_t size) {
  window_.resize(size);
  windowAt_ = offset;
  return window_;
}

void ReadAheadSource::KeepWindow(std::size_t filled) {
  window_.resize(std::min(filled, window_.size()));
}

}  // namespace vostrel
