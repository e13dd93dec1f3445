// The POSIX build's side of the operating system.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "io/path.hpp"
#include "platform/platform.hpp"

namespace vostrel::platform {

namespace {

bool EndsWithArt(std::string_view name) { return EndsWithIgnoringCase(name, ".art"); }

// Name order regardless of case; names equal but for case (a.art, a.ART) in byte order, so that
// the list, and which of two such files is converted last, never depends on the directory's order.
bool LessIgnoringCase(const std::string& a, const std::string& b) {
  const auto lower = [](char x, char y) {
    return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
  };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), lower)) {
    return true;
  }
  return !std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), lower) && a < b;
}

struct DirCloser {
  void operator()(DIR* dir) const noexcept { closedir(dir); }
};

std::string ResolveLink(const char* link) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink(link, buffer.data(), buffer.size());
    if (length < 0) {
      return {};
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::optional<InputFile> OpenRegularFile(const std::string& path) {
  // Non-blocking, so that a FIFO without a writer (or a device) cannot hold the open; the file
  // itself then says what it is.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  struct stat status {};
  const int flags = fcntl(fd, F_GETFL);
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || flags < 0 ||
      fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return std::nullopt;
  }
  FilePtr file(fdopen(fd, "rb"));
  if (!file) {
    close(fd);
    return std::nullopt;
  }
  return InputFile{std::move(file), static_cast<std::uint64_t>(status.st_size)};
}

std::optional<OutputFile> OutputFile::Create(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    return std::nullopt;
  }
  return OutputFile(fd);
}

std::optional<OutputFile> OutputFile::CreateNew(const std::string& path, std::error_code& error) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0666);
  if (fd < 0) {
    error = std::error_code(errno, std::generic_category());
    return std::nullopt;
  }
  error.clear();
  return OutputFile(fd);
}

bool OutputFile::Sync() { return handle_ != kClosed && fsync(static_cast<int>(handle_)) == 0; }

bool OutputFile::SetPermissionBits(std::uint32_t bits) {
  return handle_ != kClosed && fchmod(static_cast<int>(handle_), static_cast<mode_t>(bits)) == 0;
}

std::optional<std::uint32_t> PermissionBits(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(status.st_mode & 07777);
}

std::string FollowLinks(const std::string& path) {
  // As many links as the system itself follows in one path before it gives up (ELOOP).
  constexpr int kMaxLinks = 40;
  std::string current = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    struct stat status {};
    if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      return current;
    }
    std::string target = ResolveLink(current.c_str());
    if (target.empty()) {
      return current;
    }
    if (target.front() != '/') {
      const std::size_t slash = current.rfind('/');
      if (slash != std::string::npos) {
        target.insert(0, current, 0, slash + 1);
      }
    }
    current = std::move(target);
  }
  return path;
}

std::optional<std::vector<std::string>> ListDirectory(const std::string& dir) {
  std::unique_ptr<DIR, DirCloser> stream(opendir(dir.c_str()));
  if (!stream) {
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(stream.get());
    if (entry == nullptr) {
      if (errno != 0) {
        return std::nullopt;
      }
      return names;
    }
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") {
      names.emplace_back(name);
    }
  }
}

bool OutputFile::Write(std::span<const std::span<const std::uint8_t>> pieces) {
  if (handle_ == kClosed) {
    return false;
  }
  if (pieces.size() == 1) {
    // A whole file in one piece, as BMPs go out: a plain write, which the system serves with
    // less work than a writev, and no vector to allocate.
    std::span<const std::uint8_t> left = pieces.front();
    while (!left.empty()) {
      const ssize_t written = write(static_cast<int>(handle_), left.data(), left.size());
      if (written < 0) {
        if (errno == EINTR) {
          continue;
        }
        return false;
      }
      left = left.subspan(static_cast<std::size_t>(written));
    }
    return true;
  }
  // One writev for all pieces, again for whatever a short write left over.
  std::vector<iovec> vectors;
  vectors.reserve(pieces.size());
  for (const auto& piece : pieces) {
    if (!piece.empty()) {
      // writev only reads through the pointer.
      vectors.push_back({const_cast<std::uint8_t*>(piece.data()), piece.size()});
    }
  }
  std::size_t first = 0;
  while (first < vectors.size()) {
    const auto count = static_cast<int>(std::min<std::size_t>(vectors.size() - first, IOV_MAX));
    const ssize_t written = writev(static_cast<int>(handle_), &vectors[first], count);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    auto left = static_cast<std::size_t>(written);
    while (first < vectors.size() && left >= vectors[first].iov_len) {
      left -= vectors[first].iov_len;
      ++first;
    }
    if (left > 0) {
      vectors[first].iov_base = static_cast<std::uint8_t*>(vectors[first].iov_base) + left;
      vectors[first].iov_len -= left;
    }
  }
  return true;
}

bool OutputFile::Close() {
  if (handle_ == kClosed) {
    return true;
  }
  const int fd = static_cast<int>(handle_);
  handle_ = kClosed;
  return close(fd) == 0;
}

void KeepFreedMemory() {
#if defined(__GLIBC__)
  constexpr int kKeptFreeBytes = 32 << 20;
  mallopt(M_TRIM_THRESHOLD, kKeptFreeBytes);
#endif
}

std::string ExecutablePath() {
#if defined(__APPLE__)
  std::uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> buffer(size + 1);
  if (_NSGetExecutablePath(buffer.data(), &size) != 0) {
    return {};
  }
  std::unique_ptr<char, decltype(&std::free)> real(realpath(buffer.data(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string(buffer.data());
#else
  return ResolveLink("/proc/self/exe");
#endif
}

MakeDirectoryResult MakeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) {
    return MakeDirectoryResult::kCreated;
  }
  return errno == ENOENT ? MakeDirectoryResult::kPathNotFound : MakeDirectoryResult::kOtherFailure;
}

std::string CurrentDirectory() {
  std::vector<char> buffer(256);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) {
      return ".";
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

// Every entry of the current directory whose name ends in ".art" in any case, hidden entries left
// out, in the order of their names regardless of case; nothing when the directory cannot be read
// through (an empty batch would pass a failure off as success).
std::optional<std::vector<std::string>> ListArtFiles() {
  std::optional<std::vector<std::string>> entries = ListDirectory(".");
  if (!entries) {
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (std::string& name : *entries) {
    if (name.front() != '.' && EndsWithArt(name)) {
      names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  return names;
}

InputListResult WriteInputList() {
  // Listed in-process rather than through a shell.
  const std::optional<std::vector<std::string>> names = ListArtFiles();
  if (!names) {
    unlink(kInputListName);  // a list of an earlier run is no list of this one
    return InputListResult::kCannotList;
  }
  std::FILE* list = std::fopen(kInputListName, "wb");
  if (list == nullptr) {
    return InputListResult::kCannotWrite;
  }
  bool written = true;
  for (const std::string& name : *names) {
    written = written && std::fputs(name.c_str(), list) >= 0 && std::fputs("\r\n", list) >= 0;
  }
  written = (std::fclose(list) == 0) && written;
  if (!written) {
    // A partial list would silently leave files out; no list makes the batch report it.
    unlink(kInputListName);
    return InputListResult::kCannotWrite;
  }
  return InputListResult::kWritten;
}

void RemoveInputList() { unlink(kInputListName); }

bool ErrorMessagesWaitForTheUser() {
  return isatty(STDIN_FILENO) != 0 && isatty(STDERR_FILENO) != 0;
}

void ShowErrorMessage(const std::string& text) {
  // The POSIX stand-in for Windows' message box, so it writes to standard error itself, as the
  // box does not go through the console either. Its turn is kept all the same: the batch's
  // OrderedConsole calls it in list order, between the texts of the files around it.
  std::cerr << "Error: " << text;
  std::cerr.put('\n');
  std::cerr.flush();
  // Only someone at a terminal can acknowledge the message; scripts and pipes go on at once.
  if (ErrorMessagesWaitForTheUser()) {
    std::string ignored;
    std::getline(std::cin, ignored);
  }
}

std::size_t UsableCpuCount() {
#if defined(__linux__)
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  if (sched_getaffinity(0, sizeof(cpus), &cpus) == 0) {
    return static_cast<std::size_t>(std::max(1, CPU_COUNT(&cpus)));
  }
#endif
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<std::size_t>(online) : 1;
}

}  // namespace vostrel::platform
