// Files held in memory, by path: what the image classes load and save when no file system is
// wanted (the browser page, tests, fuzz targets). A test may also make chosen calls fail, as a
// full disk, an unreadable directory or exhausted memory would.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
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
  std::unique_ptr<StagedWrite> Stage(const std::string& path, std::span<const std::uint8_t> bytes,
                                     std::string& failure) override;
  // The names of the files and directories directly in dir, sorted; nothing when it holds no
  // file.
  std::optional<std::vector<std::string>> ListDirectory(const std::string& dir) override;
  void RemoveFile(const std::string& path) override;
  // A path is a regular file when it holds one, a directory when some file's path starts with
  // it and the separator, else missing.
  PathStatus StatusOf(const std::string& path) override;

  // Every file by path. A file being written appears here, growing, from its Create on. Unlike
  // the calls above, not to be used while other threads call them.
  std::map<std::string, Bytes>& Contents() { return files_; }
  const std::map<std::string, Bytes>& Contents() const { return files_; }

  // Faults for tests, set before the calls they concern. Writing path fails: Create gives a
  // writer that takes no byte, Replace and Stage give a reason.
  void FailWritesTo(const std::string& path);
  // Listing dir gives nothing, as an unreadable directory does.
  void FailListingOf(const std::string& dir);
  // A write to path stages well but fails to commit, as a refused rename does.
  void FailCommitsTo(const std::string& path);
  // Reading path throws std::bad_alloc, as exhausted memory does.
  void ExhaustMemoryReading(const std::string& path);

 private:
  friend class MemoryStagedWrite;

  bool Faulty(const std::set<std::string>& paths, const std::string& path);

  // Guards the map's structure and the faults; a file's own bytes belong to its one writer or
  // readers (map nodes never move, so a writer's reference stays valid while others are added).
  std::mutex mutex_;
  std::map<std::string, Bytes> files_;
  std::set<std::string> failingWrites_;
  std::set<std::string> failingListings_;
  std::set<std::string> failingCommits_;
  std::set<std::string> exhaustingReads_;
};

}  // namespace vostrel
