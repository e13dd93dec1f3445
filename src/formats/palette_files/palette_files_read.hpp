// The palette files' reader (formats in palette_files.hpp, writer in palette_files_write.hpp): a
// 256-colour palette read back from the files that image editors keep palettes in, so that a
// palette edited there can be put into an .ART file.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>

#include "formats/palette_files/palette_files.hpp"

namespace vostrel {

// Raised for a file that is not a palette we read, or not one of 256 colours. The text follows
// the file's name: what is wrong and what to do.
class PaletteFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The 256 colours of a palette file, told apart by content rather than by name: a GIMP palette
// ("GIMP Palette" first), a JASC palette ("JASC-PAL" first), one RRGGBB in hexadecimal a line
// (a leading '#' allowed), or an Adobe colour table (768 bytes, or 772 with a count of 256 and a
// transparent index after them). Throws PaletteFileError, saying how many colours a file of
// another count holds.
PaletteColours ReadPaletteFile(std::span<const std::uint8_t> bytes);

}  // namespace vostrel
