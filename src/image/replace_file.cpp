// Replacing a file whole: its new bytes go to a temporary file beside it, renamed over it once
// they are complete and on disk, so that a reader or a crash sees the old file or the new one.
#include "image/replace_file.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <random>

#include "image/file_io.hpp"
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
  const std::array pieces{bytes};
  if (!file.Write(pieces)) {
    return "cannot write the temporary file beside it";
  }
  if (permissionBits && !file.SetPermissionBits(*permissionBits)) {
    return "cannot give the temporary file beside it the file's permissions";
  }
  if (!file.Sync() || !file.Close()) {
    return "cannot write the temporary file beside it to the disk";
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ReplaceFileWith(const std::string& path,
                                           std::span<const std::uint8_t> bytes) {
  // A symbolic link stays a link: the file it points to gets the bytes.
  const fs::path target(platform::FollowLinks(path));
  if (!target.has_filename()) {
    return "not a file name";
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
      return "cannot create a file there: " + error.message();
    }
    if (auto failure = Fill(*file, bytes, permissionBits)) {
      file.reset();
      fs::remove(temporary, error);
      return failure;
    }
    fs::rename(temporary, target, error);
    if (error) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return error.message();
    }
    return std::nullopt;
  }
  return "cannot find a free name for a temporary file beside it";
}

ReplaceOutcome UpdateFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  // Read no further than the new content: a longer file differs anyway.
  const ReadResult present = ReadWholeFile(path, bytes.size());
  if (present.status == ReadStatus::kOk &&
      std::equal(present.bytes.begin(), present.bytes.end(), bytes.begin(), bytes.end())) {
    return {};
  }
  return {true, ReplaceFileWith(path, bytes)};
}

}  // namespace vostrel
