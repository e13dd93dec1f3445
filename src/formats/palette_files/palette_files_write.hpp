// The palette files' writer (formats in palette_files.hpp, reader in palette_files_read.hpp): one
// palette as the files image editors load: a GIMP palette (.gpl), a JASC palette (.pal, read by
// Paint Shop Pro, Aseprite and others) and an Adobe colour table (.act).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vostrel {

// Lines "R G B<tab>Index N" under a header naming the palette name; 16 columns.
std::string GimpPalette(std::span<const std::uint8_t> palette, std::string_view name);

// "JASC-PAL", "0100", the count, then "R G B" a line, lines ending CR LF as that format has them.
std::string JascPalette(std::span<const std::uint8_t> palette);

// 768 bytes: red, green, blue of each of the 256 entries in order.
std::vector<std::uint8_t> AdobeColourTable(std::span<const std::uint8_t> palette);

}  // namespace vostrel
