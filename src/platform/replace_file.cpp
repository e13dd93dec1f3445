// Replacing a whole file by writing a new one beside it and renaming it into place.
#include "platform/replace_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/file_io.hpp"

namespace vostrel {

namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 100;

std::string Reason(int error) { return std::strerror(error); }

// Writes bytes to a file that did not exist; the reason on failure.
std::optional<std::string> WriteNewFile(const fs::path& path, std::span<const std::uint8_t> bytes) {
  errno = 0;
  FilePtr file = OpenFile(path.string(), "wb");
  if (!file) {
    return "cannot create a file there: " + Reason(errno);
  }
  errno = 0;
  const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file.get());
  if (written != bytes.size() || std::fflush(file.get()) != 0) {
    return "cannot write: " + Reason(errno);
  }
  errno = 0;
  if (std::fclose(file.release()) != 0) {
    return "cannot write: " + Reason(errno);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ReplaceFileWith(const std::string& path,
                                           std::span<const std::uint8_t> bytes) {
  const fs::path target(path);
  if (!target.has_filename()) {
    return "not a file name";
  }
  std::random_device random;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    // A hidden name beside the target, so that the rename never crosses file systems.
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(random());
    name += ".tmp";
    fs::path temporary = target;
    temporary.replace_filename(name);
    std::error_code error;
    if (fs::exists(temporary, error)) {
      continue;
    }
    if (error) {
      return "cannot look into its directory: " + error.message();
    }
    if (auto failure = WriteNewFile(temporary, bytes)) {
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

}  // namespace vostrel
