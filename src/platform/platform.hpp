// What the programs ask of the operating system (see the namespace below).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace vostrel {
class Console;
class Files;
}  // namespace vostrel

// Everything the programs ask of the operating system. One source per platform (posix.cpp,
// windows.cpp) implements what differs; the rest of this directory is written once for both.
namespace vostrel::platform {

// The process's standard output and standard error. Only the front ends take it; everything
// below them writes to the console it is handed.
Console& StandardConsole();

// The file system, as the image classes reach it (io/files.hpp).
Files& SystemFiles();

// The name of the list of .ART files that batch mode builds in the current directory.
inline constexpr const char* kInputListName = "art0101.lst";

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A regular file open for reading in binary mode, and its size when it was opened.
struct InputFile {
  FilePtr file;
  std::uint64_t size = 0;
};

// Opens path for reading if it names a regular file. Anything else (missing, a directory, a
// FIFO, a socket, a device) gives nothing, at once: opening never waits for a writer or a device.
std::optional<InputFile> OpenRegularFile(const std::string& path);

// A file being written from start to end, with as few system calls as the system allows: the
// pieces of one Write go out together where the system can gather them.
class OutputFile {
 public:
  // Creates path, or truncates it, for writing; nothing when it cannot be opened.
  static std::optional<OutputFile> Create(const std::string& path);
  // Creates path for writing only if nothing of that name exists (O_CREAT | O_EXCL), so that
  // two writers never share a temporary file; nothing, with the reason in error, otherwise.
  static std::optional<OutputFile> CreateNew(const std::string& path, std::error_code& error);

  OutputFile(OutputFile&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}
  OutputFile& operator=(OutputFile&& other) = delete;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Close(); }

  // Writes the pieces in order; false unless every byte was written.
  bool Write(std::span<const std::span<const std::uint8_t>> pieces);
  // Closes the file; false when that fails (the last bytes may not have reached it).
  bool Close();
  // Flushes what was written to the disk itself, so that a rename after it never exposes an
  // empty or partial file after a crash; false when that fails.
  bool Sync();
  // Gives the file the permission bits of PermissionBits; false when that fails.
  bool SetPermissionBits(std::uint32_t bits);

 private:
  explicit OutputFile(std::intptr_t handle) : handle_(handle) {}
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_;  // a file descriptor, or a C stream on Windows
};

// The permission bits of the file at path (symbolic links followed), where the system has them
// and the file exists.
std::optional<std::uint32_t> PermissionBits(const std::string& path);

// The file that path finally names once every symbolic link on its last component is followed
// (a link's relative target is taken from the link's own directory); path itself when it is no
// link, or when the links cannot be followed.
std::string FollowLinks(const std::string& path);

// The names in directory dir, without "." and ".."; nothing when it cannot be read through.
std::optional<std::vector<std::string>> ListDirectory(const std::string& dir);

// Asks the C library's allocator to keep memory freed between .ART files for the next one,
// rather than hand it back to the system after each. Where a page fault is dear (a virtual
// machine), a batch otherwise faults its buffers in again for every file. Peak memory stays
// the same: the next file reuses what the last one freed.
void KeepFreedMemory();

// The full path of the running executable.
std::string ExecutablePath();

enum class MakeDirectoryResult {
  kCreated,
  kPathNotFound,  // a parent is missing: the one outcome the program acts on
  kOtherFailure,  // already present, access denied, ...: the run goes on
};

// Creates one directory (its parents are not created); path may end with the separator.
MakeDirectoryResult MakeDirectory(const std::string& path);

// The current directory's absolute path, without a trailing separator unless it is a root.
std::string CurrentDirectory();

enum class InputListResult {
  kWritten,
  kCannotList,   // the current directory could not be read: no list is left behind
  kCannotWrite,  // the list is known not to have been written
};

// Writes the names of the current directory's .ART files into the list file, one bare name per
// line, each line ending CR LF.
InputListResult WriteInputList();

// Removes the list file.
void RemoveInputList();

// Shows text to the user as an error that must be acknowledged, and returns once it has been.
void ShowErrorMessage(const std::string& text);

// Whether ShowErrorMessage may wait for the user: on POSIX when standard input and standard
// error are both terminals; on Windows always, as its message box does.
bool ErrorMessagesWaitForTheUser();

// The number of CPUs this process may run on (at least 1): on Linux its affinity mask; on
// Windows every active processor of the system, whatever the process's affinity; elsewhere the
// processors online.
std::size_t UsableCpuCount();

}  // namespace vostrel::platform
