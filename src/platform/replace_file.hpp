// Replacing a whole file by writing a new one beside it and renaming it into place, following a
// symbolic link and keeping the permission bits of the file it replaces.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace vostrel {

// A file's new content, complete and on disk in a new file beside it, waiting to be renamed
// over it. The file path names is the one a symbolic link points to (the link stays); an
// existing file's permission bits are given to the new one. Going out of scope before Commit
// removes the new file, leaving the old one as it was.
class StagedFile {
 public:
  // Nothing, with the reason in failure, when the new file cannot be made and filled.
  static std::optional<StagedFile> Stage(const std::string& path,
                                         std::span<const std::uint8_t> bytes, std::string& failure);

  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&&) = delete;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile();

  // Renames the new file over the old one; nothing on success, else the reason.
  std::optional<std::string> Commit();

 private:
  StagedFile(std::filesystem::path temporary, std::filesystem::path target)
      : temporary_(std::move(temporary)), target_(std::move(target)) {}

  std::filesystem::path temporary_;
  std::filesystem::path target_;
  bool pending_ = true;
};

// Gives the file at path exactly these bytes, or leaves it as it was: Stage, then Commit.
// Returns nothing on success, else the reason.
std::optional<std::string> ReplaceFileWith(const std::string& path,
                                           std::span<const std::uint8_t> bytes);

}  // namespace vostrel
