#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vostrel {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenFile(const std::string& path, const char* mode);

enum class ReadStatus { kOk, kCannotOpen, kReadError };

struct ReadResult {
  ReadStatus status = ReadStatus::kOk;
  std::vector<std::uint8_t> bytes;
};

// Reads a whole file. A path that names a directory counts as one that cannot be opened, as it
// does on every platform whose C library refuses to open one.
ReadResult ReadWholeFile(const std::string& path);

}  // namespace vostrel
