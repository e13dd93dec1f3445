// Reading the palette files that GIMP, Paint Shop Pro, Photoshop and plain text editors write.
#include "formats/palette_files/palette_files_read.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vostrel {

namespace {

// A colour of a list of RRGGBB lines.
constexpr std::size_t kHexDigits = 6;

const char* const kSaveAll = "; save the palette with all 256 entries";

std::string ColoursText(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " colour" : " colours");
}

[[noreturn]] void RefuseCount(std::size_t count) {
  throw PaletteFileError("holds " + ColoursText(count) + ", not " +
                         std::to_string(kPaletteEntries) + kSaveAll);
}

[[noreturn]] void RefuseLine(std::size_t line, const std::string& what) {
  throw PaletteFileError("line " + std::to_string(line) + ": " + what +
                         "; save the palette again from the editor");
}

std::string_view Trim(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && space(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && space(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

// Reads a number from 0 to 255 from the front of text, skipping blanks before it.
std::optional<std::uint8_t> TakeLevel(std::string_view& text) {
  text = Trim(text);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || value > 255) {
    return std::nullopt;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return static_cast<std::uint8_t>(value);
}

// Appends the red, green and blue that start the line (anything after them, a GIMP entry's
// name, is left); false when it does not start with three levels.
bool TakeColour(std::string_view line, std::vector<std::uint8_t>& colours) {
  for (std::size_t channel = 0; channel < kPaletteFileColourBytes; ++channel) {
    const std::optional<std::uint8_t> level = TakeLevel(line);
    if (!level) {
      return false;
    }
    colours.push_back(*level);
  }
  return true;
}

PaletteColours Complete(const std::vector<std::uint8_t>& colours) {
  if (colours.size() != kActBytes) {
    RefuseCount(colours.size() / kPaletteFileColourBytes);
  }
  PaletteColours result{};
  std::copy_n(colours.begin(), kActBytes, result.begin());
  return result;
}

PaletteColours ReadGimp(const std::vector<std::string_view>& lines) {
  std::vector<std::uint8_t> colours;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = Trim(lines[i]);
    // Comments, and the optional "Name:" and "Columns:" lines of the header.
    if (line.empty() || line.front() == kGimpComment || line.starts_with(kGimpNameLine) ||
        line.starts_with(kGimpColumnsLine)) {
      continue;
    }
    if (!TakeColour(line, colours)) {
      RefuseLine(i + 1, "is not a colour (red, green and blue from 0 to 255, then a name)");
    }
  }
  return Complete(colours);
}

PaletteColours ReadJasc(const std::vector<std::string_view>& lines) {
  if (lines.size() < 3 || Trim(lines[1]) != kJascVersion) {
    RefuseLine(2, "is not the JASC palette version " + std::string(kJascVersion));
  }
  std::size_t announced = 0;
  const std::string_view countLine = Trim(lines[2]);
  if (std::from_chars(countLine.data(), countLine.data() + countLine.size(), announced).ec !=
      std::errc()) {
    RefuseLine(3, "is not the count of colours");
  }
  std::vector<std::uint8_t> colours;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const std::string_view line = Trim(lines[i]);
    if (line.empty()) {
      continue;
    }
    if (!TakeColour(line, colours)) {
      RefuseLine(i + 1, "is not a colour (red, green and blue from 0 to 255)");
    }
  }
  if (announced != colours.size() / kPaletteFileColourBytes) {
    RefuseLine(3, "announces " + ColoursText(announced) + " but the file lists " +
                      ColoursText(colours.size() / kPaletteFileColourBytes));
  }
  return Complete(colours);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// One colour a line as RRGGBB; nothing when a line is something else.
std::optional<std::vector<std::uint8_t>> ReadHexLines(const std::vector<std::string_view>& lines) {
  std::vector<std::uint8_t> colours;
  for (const std::string_view untrimmed : lines) {
    std::string_view line = Trim(untrimmed);
    if (line.empty()) {
      continue;
    }
    if (line.front() == '#') {
      line.remove_prefix(1);
    }
    if (line.size() != kHexDigits ||
        !std::all_of(line.begin(), line.end(), [](char c) { return HexValue(c) >= 0; })) {
      return std::nullopt;
    }
    for (std::size_t at = 0; at < kHexDigits; at += 2) {
      colours.push_back(
          static_cast<std::uint8_t>(HexValue(line[at]) * 16 + HexValue(line[at + 1])));
    }
  }
  return colours;
}

PaletteColours ReadAct(std::span<const std::uint8_t> bytes) {
  if (bytes.size() == kActLongBytes) {
    const std::size_t count =
        (std::size_t{bytes[kActCountAt]} << 8) | std::size_t{bytes[kActCountAt + 1]};
    if (count != kPaletteEntries) {
      RefuseCount(count);
    }
  }
  PaletteColours result{};
  std::copy_n(bytes.begin(), kActBytes, result.begin());
  return result;
}

}  // namespace

PaletteColours ReadPaletteFile(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kMaxPaletteFileBytes) {
    throw PaletteFileError(
        "is too large for a palette file (more than 1 MiB); give a .gpl, "
        ".pal or .act palette of 256 colours");
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::vector<std::string_view> lines = Lines(text);
  const std::string_view first = lines.empty() ? std::string_view() : Trim(lines.front());
  if (first == kGimpMagic) {
    return ReadGimp(lines);
  }
  if (first == kJascMagic) {
    return ReadJasc(lines);
  }
  if (std::optional<std::vector<std::uint8_t>> hex = ReadHexLines(lines); hex && !hex->empty()) {
    return Complete(*hex);
  }
  if (bytes.size() == kActBytes || bytes.size() == kActLongBytes) {
    return ReadAct(bytes);
  }
  throw PaletteFileError(
      "is not a palette file that can be read: not a GIMP palette, a JASC palette, an Adobe "
      "colour table of 768 or 772 bytes, nor one RRGGBB a line; save the palette as one of them");
}

}  // namespace vostrel
