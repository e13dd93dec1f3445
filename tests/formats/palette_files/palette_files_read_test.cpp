// Palette files read back: every format that editors save, and the files that must be refused.
#include "formats/palette_files/palette_files_read.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vostrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Colours whose channels all differ, so that an order mistake shows.
PaletteColours Sample() {
  PaletteColours colours{};
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    colours[i * 3] = static_cast<std::uint8_t>(i);
    colours[i * 3 + 1] = static_cast<std::uint8_t>(255 - i);
    colours[i * 3 + 2] = static_cast<std::uint8_t>(i * 7);
  }
  return colours;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// count colours of Sample(), one a line, each as format gives it.
std::string Listed(std::size_t count, const char* format, const char* end = "\n") {
  const PaletteColours colours = Sample();
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    std::array<char, 64> line{};
    std::snprintf(line.data(), line.size(), format, colours[(i % 256) * 3],
                  colours[(i % 256) * 3 + 1], colours[(i % 256) * 3 + 2], static_cast<unsigned>(i));
    text += line.data();
    text += end;
  }
  return text;
}

std::string Gimp(std::size_t count) {
  return "GIMP Palette\nName: door_0\nColumns: 16\n#\n" + Listed(count, "%3u %3u %3u\tIndex %u");
}

std::string Jasc(std::size_t count, std::size_t announced) {
  return "JASC-PAL\r\n0100\r\n" + std::to_string(announced) + "\r\n" +
         Listed(count, "%u %u %u", "\r\n");
}

Bytes Act(std::size_t extra, unsigned count) {
  const PaletteColours colours = Sample();
  Bytes bytes(colours.begin(), colours.end());
  if (extra == 4) {
    // The count and the transparent index (none) of a 772-byte table, added byte by byte (GCC 12
    // warns wrongly of an insert of a list here).
    for (const std::uint8_t byte :
         {static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count),
          std::uint8_t{0xFF}, std::uint8_t{0xFF}}) {
      bytes.push_back(byte);
    }
  }
  return bytes;
}

struct PaletteCase {
  const char* name;
  Bytes file;
  std::string error;  // a part of the refusal; empty when the file gives Sample()
};

TEST(ReadPaletteFileTest, ReadsEveryFormatAndRefusesOtherCounts) {
  const PaletteCase cases[] = {
      {"Gimp", Text(Gimp(256)), ""},
      {"GimpWithoutHeaderLines", Text("GIMP Palette\n" + Listed(256, "%u %u %u")), ""},
      {"Jasc", Text(Jasc(256, 256)), ""},
      {"Act768", Act(0, 0), ""},
      {"Act772", Act(4, 256), ""},
      {"HexLines", Text(Listed(256, "%02X%02x%02X")), ""},
      {"HexLinesWithHashAndCrlf", Text(Listed(256, "#%02x%02x%02x", "\r\n")), ""},
      {"GimpShort", Text(Gimp(255)), "holds 255 colours, not 256"},
      {"GimpLong", Text(Gimp(300)), "holds 300 colours, not 256"},
      {"JascShort", Text(Jasc(16, 16)), "holds 16 colours, not 256"},
      {"JascCountDisagrees", Text(Jasc(256, 255)), "line 3: announces 255 colours"},
      {"JascBadVersion", Text("JASC-PAL\n0200\n256\n"), "line 2: is not the JASC palette"},
      {"Act772CountShort", Act(4, 17), "holds 17 colours, not 256"},
      {"HexShort", Text(Listed(1, "%02X%02X%02X")), "holds 1 colour, not 256"},
      {"GimpLevelPast255", Text("GIMP Palette\n256 0 0 red\n"), "line 2: is not a colour"},
      {"GimpWord", Text("GIMP Palette\nred green blue\n"), "line 2: is not a colour"},
      {"Empty", Bytes(), "is not a palette file that can be read"},
      {"OtherText", Text("hello\n"), "is not a palette file that can be read"},
      {"TooLarge", Bytes(kMaxPaletteFileBytes + 1, '0'), "is too large"},
  };
  for (const PaletteCase& c : cases) {
    try {
      EXPECT_EQ(ReadPaletteFile(c.file), Sample()) << c.name;
      EXPECT_TRUE(c.error.empty()) << c.name << " was read";
    } catch (const PaletteFileError& error) {
      EXPECT_FALSE(c.error.empty()) << c.name << ": " << error.what();
      EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos)
          << c.name << ": " << error.what();
    }
  }
}

}  // namespace
}  // namespace vostrel
