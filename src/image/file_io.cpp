#include "image/file_io.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
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
    // Left uninitialised: the stream fills it before anything reads it.
    buffer_ = std::make_unique_for_overwrite<char[]>(bufferSize);
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

std::optional<std::uint64_t> RegularFileSize(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    return std::nullopt;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size);
}

ReadResult ReadWholeFile(const std::string& path) {
  ReadResult result;
  FilePtr file = OpenFile(path, "rb");
  if (!file) {
    result.status = ReadStatus::kCannotOpen;
    return result;
  }
  // Read in chunks rather than trusting a size asked beforehand: the file may change, or be a
  // device or pipe with no size at all. Memory thus never exceeds what the file really holds.
  std::array<std::uint8_t, 64 * 1024> chunk{};
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
    result.bytes.insert(result.bytes.end(), chunk.begin(),
                        chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (got < chunk.size()) {
      break;
    }
  }
  if (std::ferror(file.get())) {
    const bool isDirectory = errno == EISDIR;
    result.status = isDirectory ? ReadStatus::kCannotOpen : ReadStatus::kReadError;
    result.bytes.clear();
  }
  return result;
}

}  // namespace vostrel
