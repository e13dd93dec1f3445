// Files opened through the C library.
#include "platform/file_io.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace vostrel {

FilePtr OpenFile(const std::string& path, const char* mode) {
  return FilePtr(std::fopen(path.c_str(), mode));
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

}  // namespace vostrel
