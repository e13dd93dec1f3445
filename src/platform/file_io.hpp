// Files opened through the C library: the list file of batch mode, and the files of known size
// that the real file system behind Files reads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "io/byte_source.hpp"
#include "platform/platform.hpp"

namespace vostrel {

using platform::FilePtr;

FilePtr OpenFile(const std::string& path, const char* mode);

// An open file of known size, read in place so that its bytes go straight to where they are
// kept. Blocks smaller than 64 KiB are served from a buffer of that size, filled with one read
// call (a small file is read whole at once).
class FileSource : public ByteSource {
 public:
  FileSource(FilePtr file, std::uint64_t size);
  std::uint64_t Size() const override { return size_; }
  std::size_t Read(std::span<std::uint8_t> out) override;

 private:
  // Declared before the file, so that the stream is closed before its buffer goes.
  std::unique_ptr<char[]> buffer_;
  FilePtr file_;
  std::uint64_t size_;
};

}  // namespace vostrel
