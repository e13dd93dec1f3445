// The Windows build's side of the operating system: the ANSI API and the C runtime, so that
// every path stays in the same narrow strings the rest of the program handles.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX  // keeps <windows.h> from defining min and max over std::min and std::max
#endif
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.hpp"

// Batch mode takes a lone * as its own word. A MinGW runtime may expand wildcards in the command
// line before main() sees it, which would turn `vostrel * C:\out` into a list of file names; this
// definition keeps the arguments as typed whatever the runtime's default.
extern "C" {
int _dowildcard = 0;
}

namespace vostrel::platform {

std::optional<InputFile> OpenRegularFile(const std::string& path) {
  // Only a regular file is opened: a device name or a pipe could keep the open waiting.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return std::nullopt;
  }
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    return std::nullopt;
  }
  struct _stat64 status {};
  if (_fstat64(_fileno(file.get()), &status) != 0 || (status.st_mode & _S_IFREG) == 0) {
    return std::nullopt;
  }
  return InputFile{std::move(file), static_cast<std::uint64_t>(status.st_size)};
}

std::optional<OutputFile> OutputFile::Create(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    return std::nullopt;
  }
  // Unbuffered: each piece goes out with one call, without a copy into the stream's buffer.
  std::setvbuf(file, nullptr, _IONBF, 0);
  return OutputFile(reinterpret_cast<std::intptr_t>(file));
}

std::optional<OutputFile> OutputFile::CreateNew(const std::string& path, std::error_code& error) {
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE);
  if (fd < 0) {
    error = std::error_code(errno, std::generic_category());
    return std::nullopt;
  }
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) {
    error = std::error_code(errno, std::generic_category());
    _close(fd);
    return std::nullopt;
  }
  error.clear();
  std::setvbuf(file, nullptr, _IONBF, 0);
  return OutputFile(reinterpret_cast<std::intptr_t>(file));
}

bool OutputFile::Sync() {
  if (handle_ == kClosed) {
    return false;
  }
  auto* const file = reinterpret_cast<std::FILE*>(handle_);
  return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// A Windows file has no permission bits beyond its read-only attribute, which a file being
// written cannot carry.
bool OutputFile::SetPermissionBits(std::uint32_t /*bits*/) { return handle_ != kClosed; }

std::optional<std::uint32_t> PermissionBits(const std::string& /*path*/) { return std::nullopt; }

std::string FollowLinks(const std::string& path) {
  constexpr int kMaxLinks = 40;
  namespace fs = std::filesystem;
  fs::path current = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(current, error)) || error) {
      return current.string();
    }
    fs::path target = fs::read_symlink(current, error);
    if (error) {
      return current.string();
    }
    current = target.is_absolute() ? target : current.parent_path() / target;
  }
  return path;
}

std::optional<std::vector<std::string>> ListDirectory(const std::string& dir) {
  std::string pattern = dir;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') {
    pattern += '\\';
  }
  pattern += '*';
  WIN32_FIND_DATAA found{};
  const HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  std::vector<std::string> names;
  do {
    const std::string_view name = found.cFileName;
    if (name != "." && name != "..") {
      names.emplace_back(name);
    }
  } while (FindNextFileA(search, &found) != 0);
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  if (!complete) {
    return std::nullopt;
  }
  return names;
}

bool OutputFile::Write(std::span<const std::span<const std::uint8_t>> pieces) {
  if (handle_ == kClosed) {
    return false;
  }
  auto* const file = reinterpret_cast<std::FILE*>(handle_);
  for (const auto& piece : pieces) {
    if (!piece.empty() && std::fwrite(piece.data(), 1, piece.size(), file) != piece.size()) {
      return false;
    }
  }
  return true;
}

bool OutputFile::Close() {
  if (handle_ == kClosed) {
    return true;
  }
  auto* const file = reinterpret_cast<std::FILE*>(handle_);
  handle_ = kClosed;
  return std::fclose(file) == 0;
}

// The Windows heap keeps freed memory for reuse by itself.
void KeepFreedMemory() {}

std::string ExecutablePath() {
  // A module path can be longer than MAX_PATH (long-path prefixes). A buffer that is too small
  // comes back filled to the brim and truncated, so grow it until the path fits with room left.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(NULL, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      return {};
    }
    if (length < buffer.size()) {
      return std::string(buffer.data(), length);
    }
    buffer.resize(buffer.size() * 2);
  }
}

MakeDirectoryResult MakeDirectory(const std::string& path) {
  if (_mkdir(path.c_str()) == 0) {
    return MakeDirectoryResult::kCreated;
  }
  // The C runtime maps a missing parent (and a drive that does not exist) to ENOENT; an existing
  // directory gives EEXIST and lets the run go on.
  return errno == ENOENT ? MakeDirectoryResult::kPathNotFound : MakeDirectoryResult::kOtherFailure;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(MAX_PATH);
  while (_getcwd(buffer.data(), static_cast<int>(buffer.size())) == nullptr) {
    if (errno != ERANGE) {
      return ".";
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

InputListResult WriteInputList() {
  // A list left by an earlier run must not pass for this one if the redirection below fails, and
  // the interpreter's exit status cannot tell that apart from an empty match; so it goes first.
  if (std::remove(kInputListName) != 0 && errno != ENOENT) {
    return InputListResult::kCannotWrite;
  }
  // `dir /b` writes bare names, CR LF after each, matching the pattern without regard to case as
  // the file system does. With no match it still creates the (empty) list, which the batch
  // reports, and says "File Not Found" on standard error.
  std::system("dir /b *.art >art0101.lst");
  const DWORD attributes = GetFileAttributesA(kInputListName);
  const bool written =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return written ? InputListResult::kWritten : InputListResult::kCannotWrite;
}

static_assert(std::string_view(kInputListName) == "art0101.lst",
              "the commands name the list file literally");

void RemoveInputList() { std::system("del art0101.lst"); }

bool ErrorMessagesWaitForTheUser() {
  // The message box waits for a click wherever there is a desktop to show it on, whatever the
  // console's streams are.
  return true;
}

std::size_t UsableCpuCount() {
  const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return count > 0 ? count : 1;
}

void ShowErrorMessage(const std::string& text) {
  // Blocks until the user closes the box. Without a desktop to show it on, it fails and returns
  // at once, so unattended runs never hang here.
  MessageBoxA(NULL, text.c_str(), "Error", 0);
}

}  // namespace vostrel::platform
