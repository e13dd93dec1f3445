#include "image/file_io.hpp"

#include <array>
#include <cerrno>

namespace vostrel {

FilePtr OpenFile(const std::string& path, const char* mode) {
  return FilePtr(std::fopen(path.c_str(), mode));
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
