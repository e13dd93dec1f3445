// The one door through which the format code and the packer reach files. The image classes do
// their work (parsing, decoding, encoding) on bytes in memory; only their Load and Save open
// files, and they do it through the Files object they are given, as does the packer. The
// programs hand in the real file system (platform::SystemFiles()); a test, a fuzz target or the
// browser page hands in MemoryFiles, or anything else that keeps these promises.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/byte_source.hpp"

namespace vostrel {

// A file being written from its first byte to its last.
class FileWriter {
 public:
  virtual ~FileWriter() = default;
  // Appends the pieces in order; false unless every byte was taken.
  virtual bool Write(std::span<const std::span<const std::uint8_t>> pieces) = 0;
  // Ends the file; false when that fails (the last bytes may not have reached it).
  virtual bool Close() = 0;
};

// A whole file's new content waiting beside it to take its place (Files::Stage). Going out of
// scope before Commit discards it, leaving the file as it was.
class StagedWrite {
 public:
  virtual ~StagedWrite() = default;
  // Puts the new content in place in one step; nothing on success, else the reason (the file
  // is then as it was).
  virtual std::optional<std::string> Commit() = 0;
};

enum class PathKind { kMissing, kRegularFile, kDirectory, kOther, kUnknown };

// What a path names; for kUnknown (it could not be looked at), the reason.
struct PathStatus {
  PathKind kind = PathKind::kMissing;
  std::string reason;
};

// Batch mode calls one Files object from several threads at once, so every implementation must
// take concurrent calls (on different paths).
class Files {
 public:
  virtual ~Files() = default;
  // Opens path for reading if it names a regular file. Anything else (missing, a directory, a
  // FIFO, a device) gives nothing, at once: opening never waits for a writer or a device.
  virtual std::unique_ptr<ByteSource> OpenForReading(const std::string& path) = 0;
  // Creates path, or truncates it, for writing a whole file; nothing when it cannot.
  virtual std::unique_ptr<FileWriter> Create(const std::string& path) = 0;
  // Gives path the bytes in one step: a reader sees the old file or the new one, never a part
  // (see ReplaceFileWith for what a failure leaves). Nothing on success, else the reason.
  virtual std::optional<std::string> Replace(const std::string& path,
                                             std::span<const std::uint8_t> bytes) = 0;
  // Makes the bytes ready to take path's place, complete, without touching path yet: Commit
  // then gives them to it in one step, as Replace does. Nothing, with the reason in failure,
  // when they cannot be made ready.
  virtual std::unique_ptr<StagedWrite> Stage(const std::string& path,
                                             std::span<const std::uint8_t> bytes,
                                             std::string& failure) = 0;
  // The names in dir (not "." and ".."), in no particular order; nothing when it cannot be
  // read through.
  virtual std::optional<std::vector<std::string>> ListDirectory(const std::string& dir) = 0;
  // Removes path if it is a regular file (never a device that a path may name).
  virtual void RemoveFile(const std::string& path) = 0;
  // What path names, without opening it.
  virtual PathStatus StatusOf(const std::string& path) = 0;
};

enum class ReadStatus { kOk, kCannotOpen, kReadError, kTooLarge };

struct ReadResult {
  ReadStatus status = ReadStatus::kOk;
  std::vector<std::uint8_t> bytes;
};

// Reads a whole regular file of at most maxBytes through files. It is read in chunks rather
// than sized from what the file said when it was opened: the file may change while it is read,
// and memory never exceeds what it really holds. Exhausted memory is thrown as std::bad_alloc,
// never reported as a file that cannot be read.
ReadResult ReadWholeFile(Files& files, const std::string& path,
                         std::uint64_t maxBytes = UINT64_MAX);

// Whether the file at path holds exactly these bytes (reading no more of it than that).
bool FileHolds(Files& files, const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace vostrel
