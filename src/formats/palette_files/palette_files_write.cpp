// The palette files (see palette_files.hpp).
#include "formats/palette_files/palette_files_write.hpp"

#include "formats/indexed_image.hpp"

namespace vostrel {

namespace {
// A GIMP palette's number of columns: how its palette dialog lays the colours out.
constexpr int kGimpColumns = 16;

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
  std::string text = "GIMP Palette\nName: ";
  // A line end in the name would end the header line early.
  for (const char c : name) {
    text += (c == '\n' || c == '\r') ? ' ' : c;
  }
  text += "\nColumns: " + std::to_string(kGimpColumns) + "\n#\n";
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const Rgb rgb = ColourAt(palette, i);
    text += Padded(rgb.red) + ' ' + Padded(rgb.green) + ' ' + Padded(rgb.blue) + "\tIndex " +
            std::to_string(i) + '\n';
  }
  return text;
}

std::string JascPalette(std::span<const std::uint8_t> palette) {
  std::string text = "JASC-PAL\r\n0100\r\n" + std::to_string(kPaletteEntries) + "\r\n";
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    AppendColour(text, ColourAt(palette, i), ' ');
    text += "\r\n";
  }
  return text;
}

std::vector<std::uint8_t> AdobeColourTable(std::span<const std::uint8_t> palette) {
  std::vector<std::uint8_t> table;
  table.reserve(kPaletteEntries * 3);
  for (std::size_t i = 0; i < kPaletteEntries; ++i) {
    const Rgb rgb = ColourAt(palette, i);
    table.insert(table.end(), {rgb.red, rgb.green, rgb.blue});
  }
  return table;
}

}  // namespace vostrel
