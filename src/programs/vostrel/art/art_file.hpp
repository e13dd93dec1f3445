// The .ART loader (ArtFile): the converter's object over the sprite model (sprite/sprite.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "programs/vostrel/image/image_file.hpp"
#include "sprite/art_format.hpp"

namespace vostrel {

struct SpriteLoad;

// A whole .ART file in memory: header, palettes, frame headers and the bytes of every frame.
// Blocks are [picture][frame]; each holds exactly that frame's dataSize bytes.
class ArtFile : public ImageFile {
 public:
  // An empty object; Load or LoadBytes fills it.
  ArtFile(Console& console, Files& files) : ImageFile(console, files) {}

  bool Save() override { return true; }
  bool SaveAs(const std::string& path) override;
  bool Load(const std::string& path) override;
  // Loads an .ART file from its bytes, with the same progress and failure messages as Load but
  // without touching the paths.
  bool LoadBytes(std::span<const std::uint8_t> bytes);
  // Why the last load failed; kNone after a successful one.
  ArtLoadError LoadError() const { return loadError; }

  std::int32_t PictureCount() const { return pictureCount; }
  std::int32_t FramesPerPicture() const { return framesPerPicture; }
  std::int32_t PaletteCount() const { return paletteCount; }
  // The header as the file holds it (frameCount too, whatever the layout).
  const std::optional<ArtHeader>& Header() const { return header; }
  const std::vector<std::vector<ArtFrameHeader>>& FrameHeaders() const { return frameHeaders; }

  // Gives frame f of picture p a new size and data block, keeping its other words; its
  // dataSize becomes the block's size, which must fit a frame header.
  void ReplaceFrame(std::size_t p, std::size_t f, std::int32_t width, std::int32_t height,
                    Block data);

 private:
  // Keeps a sprite ParseSprite read, with "Done", or reports why there is none.
  bool Adopt(SpriteLoad load);
  bool ReportCannotOpen();
  bool ReportFailure(ArtLoadError error);
  void Clear();

  std::int32_t pictureCount = 0;
  std::int32_t framesPerPicture = 0;
  std::int32_t paletteCount = 0;
  ArtLoadError loadError = ArtLoadError::kNone;
  std::optional<ArtHeader> header;
  std::vector<std::vector<ArtFrameHeader>> frameHeaders;
};

}  // namespace vostrel
