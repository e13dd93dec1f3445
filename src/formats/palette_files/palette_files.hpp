// The palette files' formats, which their writer and their reader share: a GIMP palette (.gpl),
// a JASC palette (.pal) and an Adobe colour table (.act), each of 256 colours.
//
//   GIMP    "GIMP Palette", then optional "Name: ..." and "Columns: N" lines, comments starting
//           with '#', then "R G B" a line (levels in decimal), a name after them
//   JASC    "JASC-PAL", "0100" (its version), the count of colours, then "R G B" a line
//   Adobe   768 bytes: red, green and blue of each entry; 772 bytes add a big-endian 16-bit
//           count of the colours used and a 16-bit transparent index (0xFFFF: none)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sprite/palette.hpp"

namespace vostrel {

// Every palette file holds a whole palette, each colour as red, green, blue.
inline constexpr std::size_t kPaletteFileColours = kPaletteEntries;
inline constexpr std::size_t kPaletteFileColourBytes = kRgbBytes;

// The colours of a palette, red, green and blue each, in entry order.
using PaletteColours = PaletteRgb;

// The largest palette file read: a GIMP palette of 256 entries with long names is far smaller.
inline constexpr std::uint64_t kMaxPaletteFileBytes = std::uint64_t{1} << 20;

// A GIMP palette's first line, and the header lines that may follow it.
inline constexpr std::string_view kGimpMagic = "GIMP Palette";
inline constexpr std::string_view kGimpNameLine = "Name:";
inline constexpr std::string_view kGimpColumnsLine = "Columns:";
inline constexpr char kGimpComment = '#';

// A JASC palette's first line, and its version, the second.
inline constexpr std::string_view kJascMagic = "JASC-PAL";
inline constexpr std::string_view kJascVersion = "0100";

// An Adobe colour table, and its longer form with the count (at kActCountAt) and the
// transparent index after the colours.
inline constexpr std::size_t kActBytes = kPaletteFileColours * kPaletteFileColourBytes;
inline constexpr std::size_t kActLongBytes = kActBytes + 4;
inline constexpr std::size_t kActCountAt = kActBytes;

}  // namespace vostrel
