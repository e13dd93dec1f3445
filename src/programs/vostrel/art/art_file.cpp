// The .ART loader (ArtFile): the converter's object over the sprite model. It reads its file
// through the Files it was given, has ParseSprite check and read it, and keeps the sprite read,
// with the loader's console texts.
#include "programs/vostrel/art/art_file.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "io/byte_source.hpp"
#include "io/console.hpp"

namespace vostrel {

bool ArtFile::SaveAs(const std::string& /*path*/) { return true; }

bool ArtFile::Load(const std::string& path) {
  Clear();
  AssignPath(path);
  console().Mark();
  try {
    const std::unique_ptr<ByteSource> source = files().OpenForReading(fullPath);
    if (!source) {
      return ReportCannotOpen();
    }
    return Adopt(ParseSprite(*source, [this] { console().Mark(); }));
  } catch (...) {
    return ReportFailure(ArtLoadError::kCannotRead);
  }
}

bool ArtFile::LoadBytes(std::span<const std::uint8_t> bytes) {
  Clear();
  console().Mark();
  try {
    return Adopt(ParseSprite(bytes, [this] { console().Mark(); }));
  } catch (...) {
    return ReportFailure(ArtLoadError::kCannotRead);
  }
}

bool ArtFile::Adopt(SpriteLoad load) {
  if (!load.sprite) {
    return ReportFailure(load.error);
  }
  sprite = std::move(load.sprite);
  AllocatePalettes(sprite->PaletteCount(), static_cast<std::int32_t>(kPaletteEntries));
  for (std::size_t k = 0; k < sprite->palettes.size(); ++k) {
    std::copy(sprite->palettes[k].begin(), sprite->palettes[k].end(), palettes[k].begin());
  }
  blockRows = sprite->pictures;
  blockColumns = sprite->framesPerPicture;
  console().Out("Done");
  console().EndLine(Stream::kOut);
  return true;
}

const ArtFrameHeader& ArtFile::FrameHeader(std::int32_t picture, std::int32_t frame) const {
  if (!sprite) {
    throw std::out_of_range("no frame loaded");
  }
  return sprite->Frame(picture, frame).header;
}

std::span<const std::uint8_t> ArtFile::FrameBlock(std::int32_t picture, std::int32_t frame) const {
  if (!sprite) {
    throw std::out_of_range("no frame loaded");
  }
  return sprite->Frame(picture, frame).data;
}

bool ArtFile::ReportCannotOpen() {
  console().Out("Could not open ");
  console().Out(fullPath);
  console().EndLine(Stream::kOut);
  return ReportFailure(ArtLoadError::kCannotOpen);
}

bool ArtFile::ReportFailure(ArtLoadError error) {
  Clear();
  loadError = error;
  console().EndLine(Stream::kErr);
  console().Err("Could not load ART file");
  console().EndLine(Stream::kErr);
  return false;
}

void ArtFile::Clear() {
  sprite.reset();
  loadError = ArtLoadError::kNone;
  ReleasePalettes();
  ReleaseBlocks();
  blockRows = 1;
  blockColumns = 1;
}

}  // namespace vostrel
