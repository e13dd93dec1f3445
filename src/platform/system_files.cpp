// The real file system behind the Files interface, the same on every platform: it rests on the
// platform's own opener, writer and listing (posix.cpp, windows.cpp) and on StagedFile.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "io/files.hpp"
#include "platform/file_io.hpp"
#include "platform/platform.hpp"
#include "platform/replace_file.hpp"

namespace vostrel::platform {

namespace {

class SystemWriter : public FileWriter {
 public:
  explicit SystemWriter(OutputFile file) : file_(std::move(file)) {}
  bool Write(std::span<const std::span<const std::uint8_t>> pieces) override {
    return file_.Write(pieces);
  }
  bool Close() override { return file_.Close(); }

 private:
  OutputFile file_;
};

class SystemStagedWrite : public StagedWrite {
 public:
  explicit SystemStagedWrite(StagedFile file) : file_(std::move(file)) {}
  std::optional<std::string> Commit() override { return file_.Commit(); }

 private:
  StagedFile file_;
};

class SystemFileAccess : public Files {
 public:
  std::unique_ptr<ByteSource> OpenForReading(const std::string& path) override {
    std::optional<InputFile> file = OpenRegularFile(path);
    if (!file) {
      return nullptr;
    }
    return std::make_unique<FileSource>(std::move(file->file), file->size);
  }

  std::unique_ptr<FileWriter> Create(const std::string& path) override {
    std::optional<OutputFile> file = OutputFile::Create(path);
    if (!file) {
      return nullptr;
    }
    return std::make_unique<SystemWriter>(std::move(*file));
  }

  std::optional<std::string> Replace(const std::string& path,
                                     std::span<const std::uint8_t> bytes) override {
    return ReplaceFileWith(path, bytes);
  }

  std::unique_ptr<StagedWrite> Stage(const std::string& path, std::span<const std::uint8_t> bytes,
                                     std::string& failure) override {
    std::optional<StagedFile> staged = StagedFile::Stage(path, bytes, failure);
    if (!staged) {
      return nullptr;
    }
    return std::make_unique<SystemStagedWrite>(std::move(*staged));
  }

  std::optional<std::vector<std::string>> ListDirectory(const std::string& dir) override {
    return platform::ListDirectory(dir);
  }

  void RemoveFile(const std::string& path) override {
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path, ignored)) {
      std::remove(path.c_str());
    }
  }

  PathStatus StatusOf(const std::string& path) override {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
      return {PathKind::kMissing, {}};
    }
    if (error) {
      return {PathKind::kUnknown, error.message()};
    }
    if (std::filesystem::is_regular_file(status)) {
      return {PathKind::kRegularFile, {}};
    }
    if (std::filesystem::is_directory(status)) {
      return {PathKind::kDirectory, {}};
    }
    return {PathKind::kOther, {}};
  }
};

}  // namespace

Files& SystemFiles() {
  static SystemFileAccess files;
  return files;
}

}  // namespace vostrel::platform
