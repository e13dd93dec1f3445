// Replacing a file whole: its new bytes go to a temporary file beside it, renamed over it once
// they are complete and on disk, so that a reader or a crash sees the old file or the new one.
#include "platform/replace_file.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

#include "platform/file_io.hpp"
#include "platform/platform.hpp"

namespace vostrel {

namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 100;

// A hidden name of fixed length, so that it fits the directory whatever the length of the name
// it stands in for (a name of 255 bytes, the most most systems allow, leaves no room to add to).
std::string TemporaryName(std::uint32_t number) {
  std::array<char, 9> digits{};
  std::snprintf(digits.data(), digits.size(), "%08x", static_cast<unsigned>(number));
  std::string name = ".vostrel-";
  name += digits.data();
  name += ".tmp";
  return name;
}

// Writes bytes to the new file and makes them durable; the reason on failure.
std::optional<std::string> Fill(platform::OutputFile& file, std::span<const std::uint8_t> bytes,
                                const std::optional<std::uint32_t>& permissionBits) {
  const auto reason = [](const char* what) {
    return std::string(what) + " the temporary file beside it: " + std::strerror(errno);
  };
  const std::array pieces{bytes};
  errno = 0;
  if (!file.Write(pieces)) {
    return reason("cannot write");
  }
  if (permissionBits && !file.SetPermissionBits(*permissionBits)) {
    return reason("cannot give the file's permissions to");
  }
  if (!file.Sync() || !file.Close()) {
    return reason("cannot write to the disk");
  }
  return std::nullopt;
}

}  // namespace

std::optional<StagedFile> StagedFile::Stage(const std::string& path,
                                            std::span<const std::uint8_t> bytes,
                                            std::string& failure) {
  // A symbolic link stays a link: the file it points to gets the bytes.
  const fs::path target(platform::FollowLinks(path));
  if (!target.has_filename()) {
    failure = "not a file name";
    return std::nullopt;
  }
  const std::optional<std::uint32_t> permissionBits = platform::PermissionBits(target.string());
  std::random_device random;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    // Beside the target, so that the rename never crosses file systems.
    fs::path temporary = target;
    temporary.replace_filename(TemporaryName(random()));
    std::error_code error;
    std::optional<platform::OutputFile> file =
        platform::OutputFile::CreateNew(temporary.string(), error);
    if (!file) {
      if (error == std::errc::file_exists) {
        continue;
      }
      failure = "cannot create a file there: " + error.message();
      return std::nullopt;
    }
    StagedFile staged(std::move(temporary), target);
    std::optional<std::string> reason = Fill(*file, bytes, permissionBits);
    file.reset();  // closed before staged may remove it, which Windows needs
    if (reason) {
      failure = std::move(*reason);
      return std::nullopt;  // staged removes the temporary file
    }
    return staged;
  }
  failure = "cannot find a free name for a temporary file beside it";
  return std::nullopt;
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : temporary_(std::move(other.temporary_)),
      target_(std::move(other.target_)),
      pending_(std::exchange(other.pending_, false)) {}

StagedFile::~StagedFile() {
  if (pending_) {
    std::error_code ignored;
    fs::remove(temporary_, ignored);
  }
}

std::optional<std::string> StagedFile::Commit() {
  std::error_code error;
  fs::rename(temporary_, target_, error);
  if (error) {
    return error.message();  // the destructor removes the temporary file
  }
  pending_ = false;
  return std::nullopt;
}

std::optional<std::string> ReplaceFileWith(const std::string& path,
                                           std::span<const std::uint8_t> bytes) {
  std::string failure;
  std::optional<StagedFile> staged = StagedFile::Stage(path, bytes, failure);
  if (!staged) {
    return failure;
  }
  return staged->Commit();
}

}  // namespace vostrel
