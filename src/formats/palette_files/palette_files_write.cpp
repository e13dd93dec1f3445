// The palette files' writer (formats in palette_files.hpp).
#include "formats/palette_files/palette_files_write.hpp"

#include "formats/indexed_image.hpp"
#include "formats/palette_files/palette_files.hpp"

namespace vostrel {

namespace {
// A GIMP palette's number of columns: how its palette dialog lays the colours out.
constexpr int kGimpColumns = 16;
// What a JASC palette's lines end with.
constexpr std::string_view kJascLineEnd = "\r\n";

void AppendColour(std::string& text, const Rgb& rgb, char separator) {
  text += std::to_string(rgb.red);
  text += separator;
  text += std::to_string(rgb.green);
  text += separator;
  text += std::to_string(rgb.blue);
}

std::string Padded(std::uint8_t value) {
  std::string text = std::to_string(value);
  return std::string(3 - text.size(), ' ') + text;
}
}  // namespace

std::string GimpPalette(std::span<const std::uint8_t> palette, std::string_view name) {
  std::string text = std::string(kGimpMagic) + "\n" + std::string(kGimpNameLine) + " ";
  // A line end in the name would end the header line early.
  for (const char c : name) {
    text += (c == '\n' || c == '\r') ? ' ' : c;
  }
  // Appended a part at a time: MinGW's GCC 12 warns falsely of overlapping copies in one
  // expression of temporaries.
  text += '\n';
  text += kGimpColumnsLine;
  text += ' ';
  text += std::to_string(kGimpColumns);
  text += '\n';
  text += kGimpComment;
  text += '\n';
  for (std::size_t i = 0; i < kPaletteFileColours; ++i) {
    const Rgb rgb = ColourAt(palette, i);
    text += Padded(rgb.red) + ' ' + Padded(rgb.green) + ' ' + Padded(rgb.blue) + "\tIndex " +
            std::to_string(i) + '\n';
  }
  return text;
}

std::string JascPalette(std::span<const std::uint8_t> palette) {
  const std::string end(kJascLineEnd);
  std::string text = std::string(kJascMagic) + end + std::string(kJascVersion) + end +
                     std::to_string(kPaletteFileColours) + end;
  for (std::size_t i = 0; i < kPaletteFileColours; ++i) {
    AppendColour(text, ColourAt(palette, i), ' ');
    text += end;
  }
  return text;
}

std::vector<std::uint8_t> AdobeColourTable(std::span<const std::uint8_t> palette) {
  std::vector<std::uint8_t> table;
  table.reserve(kActBytes);
  for (std::size_t i = 0; i < kPaletteFileColours; ++i) {
    const Rgb rgb = ColourAt(palette, i);
    table.insert(table.end(), {rgb.red, rgb.green, rgb.blue});
  }
  return table;
}

}  // namespace vostrel
