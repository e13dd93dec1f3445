// Zip archives written front to back, as the page makes its downloads: each file is added whole,
// compressed (or stored, where compressing would not make it smaller), and the archive's bytes
// can be handed on as they are written, so that no archive is ever held whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/png/deflate.hpp"

namespace vostrel {

// The level the page's zips are compressed at: they are made while the user waits, and the
// lowest level is several times faster than the default for files a few percent larger.
inline constexpr int kZipCompressionLevel = 1;

class ZipWriter {
 public:
  explicit ZipWriter(int level = kZipCompressionLevel);

  // Adds a file under name ('/' between folders) with these bytes, dated 1 January 1980 so
  // that the same files always make the same archive. False, with nothing added, for a file of
  // 4 GiB or more or a name longer than a zip holds. Throws std::bad_alloc when memory runs out.
  bool Add(std::string_view name, std::span<const std::uint8_t> bytes);
  // Ends the archive with its central directory. Nothing may be added after. It stops once at
  // least pendingAtMost bytes are pending, with false, so that a long directory can be handed
  // on as it is written: called again after they are taken, it goes on where it stopped, and
  // gives true once the archive is ended. Throws std::bad_alloc when memory runs out.
  bool Finish(std::size_t pendingAtMost = SIZE_MAX);

  // The archive's bytes written since they were last taken, and taking them.
  std::span<const std::uint8_t> Pending() const { return pending_; }
  void TakePending() { pending_.clear(); }

 private:
  struct Entry {
    std::string name;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::uint16_t method = 0;
    std::uint64_t offset = 0;  // of its local header
  };

  void AppendFileFacts(const Entry& entry);

  ZlibCompressor compressor_;
  std::vector<Entry> entries_;
  std::vector<std::uint8_t> pending_;
  std::uint64_t written_ = 0;  // the archive's bytes so far, those pending included
  bool finishing_ = false;
  std::uint64_t directoryAt_ = 0;     // where the central directory begins, once finishing
  std::size_t directoryWritten_ = 0;  // the entries whose central record is written
};

}  // namespace vostrel
