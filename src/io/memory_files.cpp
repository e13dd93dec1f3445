// Files held in memory.
#include "io/memory_files.hpp"

#include "io/path.hpp"

namespace vostrel {

namespace {

class MemoryWriter : public FileWriter {
 public:
  explicit MemoryWriter(MemoryFiles::Bytes& bytes) : bytes_(bytes) {}
  bool Write(std::span<const std::span<const std::uint8_t>> pieces) override {
    for (const auto& piece : pieces) {
      bytes_.insert(bytes_.end(), piece.begin(), piece.end());
    }
    return true;
  }
  bool Close() override { return true; }

 private:
  MemoryFiles::Bytes& bytes_;
};

}  // namespace

std::unique_ptr<ByteSource> MemoryFiles::OpenForReading(const std::string& path) {
  const std::lock_guard lock(mutex_);
  const auto at = files_.find(path);
  if (at == files_.end()) {
    return nullptr;
  }
  // Read in place: the file must not be written or removed while it is read.
  return std::make_unique<SpanSource>(at->second);
}

std::unique_ptr<FileWriter> MemoryFiles::Create(const std::string& path) {
  const std::lock_guard lock(mutex_);
  Bytes& bytes = files_[path];
  bytes.clear();
  return std::make_unique<MemoryWriter>(bytes);
}

std::optional<std::string> MemoryFiles::Replace(const std::string& path,
                                                std::span<const std::uint8_t> bytes) {
  const std::lock_guard lock(mutex_);
  files_[path].assign(bytes.begin(), bytes.end());
  return std::nullopt;
}

void MemoryFiles::RemoveFile(const std::string& path) {
  const std::lock_guard lock(mutex_);
  files_.erase(path);
}

PathStatus MemoryFiles::StatusOf(const std::string& path) {
  const std::lock_guard lock(mutex_);
  if (files_.count(path) != 0) {
    return {PathKind::kRegularFile, {}};
  }
  std::string prefix = path;
  if (prefix.empty() || prefix.back() != kPathSeparator) {
    prefix += kPathSeparator;
  }
  const auto after = files_.lower_bound(prefix);
  if (after != files_.end() && after->first.compare(0, prefix.size(), prefix) == 0) {
    return {PathKind::kDirectory, {}};
  }
  return {PathKind::kMissing, {}};
}

}  // namespace vostrel
