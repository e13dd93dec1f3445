#include "image/console.hpp"

#include <iostream>

namespace vostrel {

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

class Silent : public Console {
 public:
  void Write(Stream /*stream*/, std::string_view /*text*/) override {}
  void Marks(std::uint64_t /*count*/) override {}
  void EndLine(Stream /*stream*/) override {}
};

}  // namespace

Console& StandardConsole() {
  static StandardStreams console;
  return console;
}

Console& SilentConsole() {
  static Silent console;
  return console;
}

}  // namespace vostrel
