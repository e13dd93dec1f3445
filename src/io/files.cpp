// Reading whole files through the Files interface, and comparing one with bytes in memory.
#include "io/files.hpp"

#include <algorithm>
#include <array>
#include <new>

namespace vostrel {

ReadResult ReadWholeFile(Files& files, const std::string& path, std::uint64_t maxBytes) {
  ReadResult result;
  const std::unique_ptr<ByteSource> source = files.OpenForReading(path);
  if (!source) {
    result.status = ReadStatus::kCannotOpen;
    return result;
  }
  if (source->Size() > maxBytes) {
    result.status = ReadStatus::kTooLarge;
    return result;
  }
  std::array<std::uint8_t, 64 * 1024> chunk{};
  try {
    for (;;) {
      const std::size_t got = source->Read(chunk);
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
  } catch (const std::bad_alloc&) {
    throw;  // exhausted memory says nothing about the file
  } catch (...) {
    result.status = ReadStatus::kReadError;
    result.bytes.clear();
  }
  return result;
}

bool FileHolds(Files& files, const std::string& path, std::span<const std::uint8_t> bytes) {
  // Read no further than the new content: a longer file differs anyway.
  const ReadResult present = ReadWholeFile(files, path, bytes.size());
  return present.status == ReadStatus::kOk &&
         std::equal(present.bytes.begin(), present.bytes.end(), bytes.begin(), bytes.end());
}

}  // namespace vostrel
