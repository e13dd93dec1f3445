#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.hpp"

namespace vostrel {

using platform::FilePtr;

FilePtr OpenFile(const std::string& path, const char* mode);

enum class ReadStatus { kOk, kCannotOpen, kReadError, kTooLarge };

struct ReadResult {
  ReadStatus status = ReadStatus::kOk;
  std::vector<std::uint8_t> bytes;
};

// Reads a whole regular file of at most maxBytes. Anything else (missing, a directory, a FIFO, a
// device) cannot be opened, and is never waited on.
ReadResult ReadWholeFile(const std::string& path,
                         std::uint64_t maxBytes = std::numeric_limits<std::uint64_t>::max());

// Bytes read front to back whose total is known beforehand, so that sizes a file announces can
// be checked against what it holds before anything is allocated for them.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills the front of out with the next bytes and returns how many there were: fewer than asked
  // only at the end. Throws when the bytes cannot be read.
  virtual std::size_t Read(std::span<std::uint8_t> out) = 0;
};

class SpanSource : public ByteSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t Read(std::span<std::uint8_t> out) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

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
