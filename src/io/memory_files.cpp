// Files held in memory.
#include "io/memory_files.hpp"

#include <algorithm>
#include <new>
#include <utility>

#include "io/path.hpp"

namespace vostrel {

namespace {

// What an injected write fault gives as its reason, in the words of the full disk it stands for.
constexpr const char* kWriteFault = "No space left on device";
constexpr const char* kCommitFault = "Permission denied";

class MemoryWriter : public FileWriter {
 public:
  MemoryWriter(MemoryFiles::Bytes& bytes, bool failing) : bytes_(bytes), failing_(failing) {}
  bool Write(std::span<const std::span<const std::uint8_t>> pieces) override {
    if (failing_) {
      return false;
    }
    for (const auto& piece : pieces) {
      bytes_.insert(bytes_.end(), piece.begin(), piece.end());
    }
    return true;
  }
  bool Close() override { return !failing_; }

 private:
  MemoryFiles::Bytes& bytes_;
  bool failing_;
};

// A source whose reading runs out of memory.
class ExhaustingSource : public ByteSource {
 public:
  explicit ExhaustingSource(std::uint64_t size) : size_(size) {}
  std::uint64_t Size() const override { return size_; }
  std::size_t Read(std::span<std::uint8_t> /*out*/) override { throw std::bad_alloc(); }

 private:
  std::uint64_t size_;
};

std::string AsDirectory(const std::string& path) {
  std::string prefix = path;
  if (prefix.empty() || prefix.back() != kPathSeparator) {
    prefix += kPathSeparator;
  }
  return prefix;
}

}  // namespace

// The new bytes held apart until Commit puts them in the map.
class MemoryStagedWrite : public StagedWrite {
 public:
  MemoryStagedWrite(MemoryFiles& files, std::string path, std::span<const std::uint8_t> bytes)
      : files_(files), path_(std::move(path)), bytes_(bytes.begin(), bytes.end()) {}

  std::optional<std::string> Commit() override {
    if (files_.Faulty(files_.failingCommits_, path_)) {
      return kCommitFault;
    }
    const std::lock_guard lock(files_.mutex_);
    files_.files_[path_] = std::move(bytes_);
    return std::nullopt;
  }

 private:
  MemoryFiles& files_;
  std::string path_;
  MemoryFiles::Bytes bytes_;
};

bool MemoryFiles::Faulty(const std::set<std::string>& paths, const std::string& path) {
  const std::lock_guard lock(mutex_);
  return paths.count(path) != 0;
}

void MemoryFiles::FailWritesTo(const std::string& path) {
  const std::lock_guard lock(mutex_);
  failingWrites_.insert(path);
}

void MemoryFiles::FailListingOf(const std::string& dir) {
  const std::lock_guard lock(mutex_);
  failingListings_.insert(dir);
}

void MemoryFiles::FailCommitsTo(const std::string& path) {
  const std::lock_guard lock(mutex_);
  failingCommits_.insert(path);
}

void MemoryFiles::ExhaustMemoryReading(const std::string& path) {
  const std::lock_guard lock(mutex_);
  exhaustingReads_.insert(path);
}

std::unique_ptr<ByteSource> MemoryFiles::OpenForReading(const std::string& path) {
  const std::lock_guard lock(mutex_);
  const auto at = files_.find(path);
  if (at == files_.end()) {
    return nullptr;
  }
  if (exhaustingReads_.count(path) != 0) {
    return std::make_unique<ExhaustingSource>(at->second.size());
  }
  // Read in place: the file must not be written or removed while it is read.
  return std::make_unique<SpanSource>(at->second);
}

std::unique_ptr<FileWriter> MemoryFiles::Create(const std::string& path) {
  const std::lock_guard lock(mutex_);
  Bytes& bytes = files_[path];
  bytes.clear();
  return std::make_unique<MemoryWriter>(bytes, failingWrites_.count(path) != 0);
}

std::optional<std::string> MemoryFiles::Replace(const std::string& path,
                                                std::span<const std::uint8_t> bytes) {
  const std::lock_guard lock(mutex_);
  if (failingWrites_.count(path) != 0 || failingCommits_.count(path) != 0) {
    return failingWrites_.count(path) != 0 ? kWriteFault : kCommitFault;
  }
  files_[path].assign(bytes.begin(), bytes.end());
  return std::nullopt;
}

std::unique_ptr<StagedWrite> MemoryFiles::Stage(const std::string& path,
                                                std::span<const std::uint8_t> bytes,
                                                std::string& failure) {
  if (Faulty(failingWrites_, path)) {
    failure = kWriteFault;
    return nullptr;
  }
  return std::make_unique<MemoryStagedWrite>(*this, path, bytes);
}

std::optional<std::vector<std::string>> MemoryFiles::ListDirectory(const std::string& dir) {
  const std::lock_guard lock(mutex_);
  if (failingListings_.count(dir) != 0) {
    return std::nullopt;
  }
  const std::string prefix = AsDirectory(dir);
  std::vector<std::string> names;
  for (auto at = files_.lower_bound(prefix);
       at != files_.end() && at->first.compare(0, prefix.size(), prefix) == 0; ++at) {
    std::string name = at->first.substr(prefix.size());
    name.resize(std::min(name.size(), name.find(kPathSeparator)));
    names.push_back(std::move(name));
  }
  if (names.empty()) {
    return std::nullopt;
  }
  // A subdirectory is named once, however many files it holds; in name order, as a test may
  // compare the list whole.
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
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
  const auto holdsFilesUnder = [this](const std::string& prefix) {
    const auto after = files_.lower_bound(prefix);
    return after != files_.end() && after->first.compare(0, prefix.size(), prefix) == 0;
  };
  if (holdsFilesUnder(AsDirectory(path))) {
    return {PathKind::kDirectory, {}};
  }
#ifdef _WIN32
  // Windows takes '/' for a separator too.
  if (!path.empty() && path.back() != '/' && holdsFilesUnder(path + '/')) {
    return {PathKind::kDirectory, {}};
  }
#endif
  return {PathKind::kMissing, {}};
}

}  // namespace vostrel
