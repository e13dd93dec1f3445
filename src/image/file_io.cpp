#include "image/file_io.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

namespace vostrel {

FilePtr OpenFile(const std::string& path, const char* mode) {
  return FilePtr(std::fopen(path.c_str(), mode));
}

std::size_t SpanSource::Read(std::span<std::uint8_t> out) {
  const std::size_t count = std::min(out.size(), bytes_.size());
  std::copy_n(bytes_.begin(), count, out.begin());
  bytes_ = bytes_.subspan(count);
  return count;
}

namespace {

constexpr std::uint64_t kMaxReadBuffer = std::uint64_t{64} << 10;

}  // namespace

FileSource::FileSource(FilePtr file, std::uint64_t size) : file_(std::move(file)), size_(size) {
  const auto bufferSize = static_cast<std::size_t>(std::min(size, kMaxReadBuffer));
  if (bufferSize > 0) {
#if defined(__cpp_lib_smart_ptr_for_overwrite)
    // Left uninitialised: the stream fills it before anything reads it.
    buffer_ = std::make_unique_for_overwrite<char[]>(bufferSize);
#else
    // The WebAssembly build's C++ library lacks the above: zeroing 64 KiB costs nothing there.
    buffer_ = std::make_unique<char[]>(bufferSize);
#endif
    std::setvbuf(file_.get(), buffer_.get(), _IOFBF, bufferSize);
  }
}

std::size_t FileSource::Read(std::span<std::uint8_t> out) {
  if (out.empty()) {
    return 0;
  }
  const std::size_t got = std::fread(out.data(), 1, out.size(), file_.get());
  if (got < out.size() && std::ferror(file_.get())) {
    throw std::runtime_error("read error");
  }
  return got;
}

ReadResult ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
  ReadResult result;
  std::optional<platform::InputFile> file = platform::OpenRegularFile(path);
  if (!file) {
    result.status = ReadStatus::kCannotOpen;
    return result;
  }
  if (file->size > maxBytes) {
    result.status = ReadStatus::kTooLarge;
    return result;
  }
  // Read in chunks rather than trusting the size asked beforehand: the file may change while it
  // is read, and memory never exceeds what it really holds.
  std::array<std::uint8_t, 64 * 1024> chunk{};
  for (;;) {
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file->file.get());
    if (result.bytes.size() + got > maxBytes) {
      result.status = ReadStatus::kTooLarge;
      result.bytes.clear();
      return result;
    }
    result.bytes.insert(result.bytes.end(), chunk.begin(),
                        chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (got < chunk.size()) {
      break;
    }
  }
  if (std::ferror(file->file.get())) {
    result.status = ReadStatus::kReadError;
    result.bytes.clear();
  }
  return result;
}

}  // namespace vostrel
