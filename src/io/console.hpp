// The console as the code sees it: text, progress marks and line ends on standard output and
// standard error, behind an interface so that who owns the real streams decides where they go.
#pragma once

#include <cstdint>
#include <string_view>

namespace vostrel {

enum class Stream { kOut, kErr };

// Where console text goes. Every function that writes text is handed one of these, never a
// default: a batch converting several files at once gives each file a console of its own, so
// that a file's text can be held until the files before it are done. The process's standard
// streams are one (platform::StandardConsole(), which only the front ends take).
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

// Takes everything and writes nothing.
class SilentConsole : public Console {
 public:
  void Write(Stream /*stream*/, std::string_view /*text*/) override {}
  void Marks(std::uint64_t /*count*/) override {}
  void EndLine(Stream /*stream*/) override {}
};

}  // namespace vostrel
