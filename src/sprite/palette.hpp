// The layout of a 256-colour palette, shared by .ART files, BMP colour tables and the pictures
// vostrel-pack maps to them: 256 entries of four bytes (blue, green, red, and a fourth byte that
// means nothing to the colour).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vostrel {

inline constexpr std::int32_t kPaletteEntryBytes = 4;
inline constexpr std::int32_t kPaletteEntries = 256;
// Where each byte of an entry sits.
inline constexpr std::size_t kPaletteBlueAt = 0;
inline constexpr std::size_t kPaletteGreenAt = 1;
inline constexpr std::size_t kPaletteRedAt = 2;

}  // namespace vostrel
