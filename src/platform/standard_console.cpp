// The console of the process: its standard output and standard error.
#include "io/console.hpp"
#include "platform/platform.hpp"

#include <iostream>

namespace vostrel::platform {

namespace {

std::ostream& StreamOf(Stream stream) { return stream == Stream::kOut ? std::cout : std::cerr; }

class StandardStreams : public Console {
 public:
  void Write(Stream stream, std::string_view text) override { StreamOf(stream) << text; }

  void Marks(std::uint64_t count) override {
    static constexpr std::string_view kChunk =
        "................................................................";
    for (; count >= kChunk.size(); count -= kChunk.size()) {
      std::cout << kChunk;
    }
    std::cout << kChunk.substr(0, static_cast<std::size_t>(count));
  }

  void EndLine(Stream stream) override {
    std::ostream& out = StreamOf(stream);
    out.put('\n');
    out.flush();
  }
};

}  // namespace

Console& StandardConsole() {
  static StandardStreams console;
  return console;
}

}  // namespace vostrel::platform
