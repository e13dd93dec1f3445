// A console for tests: it records what the code under test writes, per stream and as one
// transcript in the order written, line ends and flushes included.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "io/console.hpp"

namespace vostrel::test {

class RecordingConsole : public Console {
 public:
  using Console::Err;
  using Console::Out;

  void Write(Stream stream, std::string_view text) override {
    Of(stream).append(text);
    transcript_.append(text);
  }
  void Marks(std::uint64_t count) override {
    out_.append(count, '.');
    transcript_.append(count, '.');
  }
  // A line end shows in the transcript as "\n" followed by '|' for its flush.
  void EndLine(Stream stream) override {
    Of(stream) += '\n';
    transcript_ += stream == Stream::kOut ? "\n|" : "\n!";
  }

  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }
  // Everything in order; a line end of standard output is "\n|", of standard error "\n!".
  const std::string& Transcript() const { return transcript_; }

 private:
  std::string& Of(Stream stream) { return stream == Stream::kOut ? out_ : err_; }

  std::string out_;
  std::string err_;
  std::string transcript_;
};

}  // namespace vostrel::test
