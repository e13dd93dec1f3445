#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image/image_file.hpp"

namespace vostrel {

class ByteSource;

inline constexpr std::size_t kArtHeaderSize = 132;
inline constexpr std::size_t kArtFrameHeaderSize = 28;
inline constexpr std::size_t kArtPaletteSize =
    static_cast<std::size_t>(kPaletteEntries) * kPaletteEntryBytes;
inline constexpr std::int32_t kArtMaxPalettes = 4;
// Pictures of the eight-picture layout (one per direction of a sprite).
inline constexpr std::int32_t kEightPictureCount = 8;

// The 33 little-endian words at the start of an .ART file. Only flags, the four palette
// presence words and frameCount mean anything; the others are kept as read.
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

ArtHeader ParseArtHeader(std::span<const std::uint8_t> bytes);
ArtFrameHeader ParseArtFrameHeader(std::span<const std::uint8_t> bytes);

// Number of palettes a header announces: the position of its highest non-zero presence word.
std::int32_t CountPalettes(const ArtHeader& header);

// A whole .ART file in memory: header, palettes, frame headers and the bytes of every frame.
// Blocks are [picture][frame]; each holds exactly that frame's dataSize bytes.
class ArtFile : public ImageFile {
 public:
  // An empty object, for loading from bytes.
  explicit ArtFile(Console& console = StandardConsole()) : ImageFile(console) {}
  // Loads the file at once; a failed load leaves an object without pictures.
  explicit ArtFile(const std::string& path, Console& console = StandardConsole());

  bool Save() override { return true; }
  bool SaveAs(const std::string& path) override;
  bool Load(const std::string& path) override;
  // Loads an .ART file from its bytes, with the same progress and failure messages as Load but
  // without touching the paths.
  bool LoadBytes(std::span<const std::uint8_t> bytes);

  std::int32_t PictureCount() const { return header ? header->frameCount : 0; }
  std::int32_t FramesPerPicture() const { return framesPerPicture; }
  std::int32_t PaletteCount() const { return paletteCount; }
  const std::optional<ArtHeader>& Header() const { return header; }
  const std::vector<std::vector<ArtFrameHeader>>& FrameHeaders() const { return frameHeaders; }

 private:
  bool ParseReporting(ByteSource& source);
  bool ReportCannotOpen();
  bool ReportFailure();
  void Parse(ByteSource& source);
  void Clear();

  std::int32_t framesPerPicture = 0;
  std::int32_t paletteCount = 0;
  std::optional<ArtHeader> header;
  std::vector<std::vector<ArtFrameHeader>> frameHeaders;
};

}  // namespace vostrel
