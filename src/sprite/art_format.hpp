// The .ART sprite format: its layout, its header words, the layout rule and the loader's refusals.
// Every word is a 32-bit little-endian signed integer; the sections follow one another without
// gaps:
//
//   header        132 bytes: 33 words
//     word 0      flags        0 or 2: eight pictures of frameCount frames (the eight-picture
//                              layout); anything else: frameCount pictures of one frame
//     words 1-2   (kept as read)
//     words 3-6   palettePresent[4]  the highest non-zero one gives the number of palettes
//     word 7      (kept as read)
//     word 8      frameCount
//     words 9-32  (kept as read)
//   palettes      1024 bytes each: 256 entries of blue, green, red, fourth byte
//   frame headers 28 bytes each, picture by picture, frames in order within a picture:
//                 width, height, dataSize, then four words kept as read
//   frame data    dataSize bytes for each frame, in the same order
//
// A frame whose dataSize equals width x height is raw: its indices, rows top first, no padding.
// Any other frame is a run-length stream of control bytes, each followed by its data:
//
//   +---+---------------+
//   | L | count (7 bits)|   L = 1: a literal run, count bytes follow and are copied
//   +---+---------------+   L = 0: a fill run, one byte follows and is repeated count times
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sprite/palette.hpp"
#include "sprite/rle_format.hpp"

namespace vostrel {

inline constexpr std::size_t kArtWordSize = 4;
inline constexpr std::size_t kArtHeaderSize = 132;
inline constexpr std::size_t kArtFrameHeaderSize = 28;
inline constexpr std::size_t kArtPaletteSize = kPaletteBytes;
inline constexpr std::int32_t kArtMaxPalettes = 4;
// Pictures of the eight-picture layout (one per direction of a sprite).
inline constexpr std::int32_t kEightPictureCount = 8;

// The 33 words at the start of an .ART file, exactly as read. Only flags, the four palette
// presence words and frameCount mean anything.
struct ArtHeader {
  std::int32_t flags = 0;
  std::array<std::int32_t, 2> unknown1{};
  std::array<std::int32_t, kArtMaxPalettes> palettePresent{};
  std::int32_t unknown2 = 0;
  std::int32_t frameCount = 0;
  std::array<std::int32_t, 24> unknown3{};
};

// The seven words that precede each frame in the frame-header table.
struct ArtFrameHeader {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t dataSize = 0;
  std::array<std::int32_t, 4> unknown{};
};

// The shape of the frame table that a header announces.
struct ArtLayout {
  std::int32_t pictures = 0;
  std::int32_t framesPerPicture = 0;
};

// The layout rule, the one place it is written: flags 0 and 2 give eight pictures of frameCount
// frames, any other flags frameCount pictures of one frame. Nothing for a negative frameCount.
std::optional<ArtLayout> LayoutOf(const ArtHeader& header);

ArtHeader ParseArtHeader(std::span<const std::uint8_t> bytes);
ArtFrameHeader ParseArtFrameHeader(std::span<const std::uint8_t> bytes);

// The header's 33 words in the file's order, and back.
inline constexpr std::size_t kArtHeaderWords = kArtHeaderSize / kArtWordSize;
using ArtHeaderWords = std::array<std::int32_t, kArtHeaderWords>;
ArtHeaderWords WordsOfHeader(const ArtHeader& header);
ArtHeader HeaderOfWords(const ArtHeaderWords& words);

// The four words of a frame header that nobody interprets.
using ArtFrameWords = decltype(ArtFrameHeader::unknown);

// Number of palettes a header announces: the position of its highest non-zero presence word.
std::int32_t CountPalettes(const ArtHeader& header);

// Why the loader refused a file. The console text is the same for all ("Could not load ART
// file", after "Could not open PATH" for kCannotOpen); this says which check it was.
enum class ArtLoadError {
  kNone,
  kCannotOpen,          // missing, unreadable, or not a regular file
  kCannotRead,          // the file could not be read through
  kShortHeader,         // shorter than its 132-byte header
  kShortPalettes,       // shorter than the palettes its header announces
  kNegativeFrameCount,  // a negative frame count
  kShortFrameTable,     // shorter than its frame-header table
  kNegativeDataSize,    // a frame with a negative data size
  kDataExceedsFile,     // frame data sizes that add up to more than the whole file
};

// A short English text for an ArtLoadError, such as "shorter than its header".
const char* ArtLoadErrorText(ArtLoadError error);

}  // namespace vostrel
