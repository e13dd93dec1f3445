// The .ART loader (ArtFile): the converter's object over the sprite model (sprite/sprite.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "programs/vostrel/image/image_file.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

// A whole .ART file in memory: header, palettes, frame headers and the bytes of every frame.
// The loader keeps the model's Sprite as ParseSprite read it: its header, its frame headers and
// its frames' blocks ([picture][frame], each exactly that frame's dataSize bytes) are read from
// it in place. The palettes are also the image's palette buffers, as the image model keeps them.
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

  // 0 each while nothing is loaded.
  std::int32_t PictureCount() const { return sprite ? sprite->pictures : 0; }
  std::int32_t FramesPerPicture() const { return sprite ? sprite->framesPerPicture : 0; }
  std::int32_t PaletteCount() const { return sprite ? sprite->PaletteCount() : 0; }
  // The header as the file holds it (frameCount too, whatever the layout); none while nothing
  // is loaded.
  const ArtHeader* Header() const { return sprite ? &sprite->header : nullptr; }
  // Frame f of picture p: its header and its block. Throws std::out_of_range for a frame the
  // file does not have.
  const ArtFrameHeader& FrameHeader(std::int32_t picture, std::int32_t frame) const;
  std::span<const std::uint8_t> FrameBlock(std::int32_t picture, std::int32_t frame) const;
  // The sprite as loaded; none while nothing is.
  const std::optional<Sprite>& Loaded() const { return sprite; }

  // The frames' blocks are the sprite's, read through FrameBlock: the image's own block table
  // holds none of them.
  const BlockTable& Blocks() const = delete;
  BlockTable& Blocks() = delete;

 private:
  // Keeps a sprite ParseSprite read, with "Done", or reports why there is none.
  bool Adopt(SpriteLoad load);
  bool ReportCannotOpen();
  bool ReportFailure(ArtLoadError error);
  void Clear();

  ArtLoadError loadError = ArtLoadError::kNone;
  std::optional<Sprite> sprite;
};

}  // namespace vostrel
