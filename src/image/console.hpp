#pragma once

#include <cstdint>
#include <string_view>

namespace vostrel {

enum class Stream { kOut, kErr };

// Where the program's console text goes. Every layer writes through one of these rather than to
// the streams themselves, so that a batch converting several files at once can hold a file's
// text until the files before it are done.
class Console {
 public:
  virtual ~Console() = default;

  virtual void Write(Stream stream, std::string_view text) = 0;
  // count progress marks ('.') on standard output, left in the buffer until the line ends.
  virtual void Marks(std::uint64_t count) = 0;
  // Ends the current line of stream and flushes it, so progress shows as soon as a line is whole.
  virtual void EndLine(Stream stream) = 0;

  void Mark() { Marks(1); }
  void Out(std::string_view text) { Write(Stream::kOut, text); }
  void Err(std::string_view text) { Write(Stream::kErr, text); }
};

// The process's standard output and standard error.
Console& StandardConsole();

// Takes everything and writes nothing.
Console& SilentConsole();

}  // namespace vostrel
