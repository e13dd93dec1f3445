// Bytes read front to back from wherever they are: a file (platform/) or memory (here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

}  // namespace vostrel
