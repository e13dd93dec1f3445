// Bytes read front to back from wherever they are: a file (platform/) or memory (here); and
// bytes read from any place, for a reader that takes only the parts of a file it needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vostrel {

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

// Bytes already in memory, which must outlive the source.
class SpanSource : public ByteSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t Read(std::span<std::uint8_t> out) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// Bytes read from any place, whose total is known beforehand: a file of which a viewer reads
// only the parts it shows.
class RandomAccessSource {
 public:
  virtual ~RandomAccessSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills the front of out with the bytes from offset on and returns how many there were: fewer
  // than asked only at the end. Throws when the bytes cannot be read.
  virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

// Bytes already in memory, read from any place; they must outlive the source.
class SpanRandomSource : public RandomAccessSource {
 public:
  explicit SpanRandomSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// A random-access source read front to back from its start.
class SequentialSource : public ByteSource {
 public:
  explicit SequentialSource(RandomAccessSource& source) : source_(source) {}
  std::uint64_t Size() const override { return source_.Size(); }
  std::size_t Read(std::span<std::uint8_t> out) override;

 private:
  RandomAccessSource& source_;
  std::uint64_t position_ = 0;  // where the source is read next
};

// A random-access source whose every read is dear (a browser's file, read across processes),
// read through a window of its bytes: a read that misses the window fills it from its offset on
// with one read of the source, so that reads that follow one another (a file's sections, a
// picture's frames) are served from memory. Reads at least as large as the window go to the
// source directly.
class ReadAheadSource : public RandomAccessSource {
 public:
  ReadAheadSource(RandomAccessSource& source, std::size_t windowBytes)
      : source_(source), capacity_(windowBytes) {}
  std::uint64_t Size() const override { return source_.Size(); }
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  // The window moved to offset and sized for `size` bytes, for a caller that fills it from the
  // source itself (the page reads a browser's file without waiting on it); KeepWindow then
  // says how many of them it filled.
  std::span<std::uint8_t> PlaceWindow(std::uint64_t offset, std::size_t size);
  void KeepWindow(std::size_t filled);

 private:
  RandomAccessSource& source_;
  std::size_t capacity_;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowAt_ = 0;  // the offset of the window's first byte
};

}  // namespace vostrel
