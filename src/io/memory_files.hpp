// Files held in memory, by path: what the image classes load and save when no file system is
// wanted (the browser page, tests, fuzz targets).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "io/files.hpp"

namespace vostrel {

class MemoryFiles : public Files {
 public:
  using Bytes = std::vector<std::uint8_t>;

  std::unique_ptr<ByteSource> OpenForReading(const std::string& path) override;
  std::unique_ptr<FileWriter> Create(const std::string& path) override;
  std::optional<std::string> Replace(const std::string& path,
                                     std::span<const std::uint8_t> bytes) override;
  void RemoveFile(const std::string& path) override;
  // A path is a regular file when it holds one, a directory when some file's path starts with
  // it and the separator, else missing.
  PathStatus StatusOf(const std::string& path) override;

  // Every file by path. A file being written appears here, growing, from its Create on. Unlike
  // the calls above, not to be used while other threads call them.
  std::map<std::string, Bytes>& Contents() { return files_; }
  const std::map<std::string, Bytes>& Contents() const { return files_; }

 private:
  // Guards the map's structure; a file's own bytes belong to its one writer or readers (map
  // nodes never move, so a writer's reference stays valid while others are added).
  std::mutex mutex_;
  std::map<std::string, Bytes> files_;
};

}  // namespace vostrel
