// The .ART loader (ArtFile): the converter's object over the sprite model. It reads its file
// through the Files it was given, has ParseSprite check and read it, and keeps what it read in
// the image model's tables, with the loader's console texts.
#include "programs/vostrel/art/art_file.hpp"

#include <limits>
#include <stdexcept>
#include <utility>

#include "io/byte_source.hpp"
#include "io/console.hpp"
#include "sprite/sprite.hpp"

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
  Sprite& sprite = *load.sprite;
  AllocatePalettes(sprite.PaletteCount(), kPaletteEntries);
  for (std::size_t k = 0; k < sprite.palettes.size(); ++k) {
    std::copy(sprite.palettes[k].begin(), sprite.palettes[k].end(), palettes[k].begin());
  }
  const auto pictures = static_cast<std::size_t>(sprite.pictures);
  const auto frames = static_cast<std::size_t>(sprite.framesPerPicture);
  std::vector<std::vector<ArtFrameHeader>> table(pictures);
  BlockTable data(pictures);
  for (std::size_t p = 0; p < pictures; ++p) {
    table[p].reserve(frames);
    data[p].reserve(frames);
    for (std::size_t f = 0; f < frames; ++f) {
      SpriteFrame& frame = sprite.frames[p * frames + f];
      table[p].push_back(frame.header);
      data[p].push_back(std::move(frame.data));
    }
  }
  header = sprite.header;
  pictureCount = sprite.pictures;
  framesPerPicture = sprite.framesPerPicture;
  paletteCount = sprite.PaletteCount();
  frameHeaders = std::move(table);
  blockRows = sprite.pictures;
  blockColumns = sprite.framesPerPicture;
  blocks = std::move(data);
  console().Out("Done");
  console().EndLine(Stream::kOut);
  return true;
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
  header.reset();
  frameHeaders.clear();
  loadError = ArtLoadError::kNone;
  pictureCount = 0;
  framesPerPicture = 0;
  paletteCount = 0;
  ReleasePalettes();
  ReleaseBlocks();
  blockRows = 1;
  blockColumns = 1;
}

void ArtFile::ReplaceFrame(std::size_t p, std::size_t f, std::int32_t width, std::int32_t height,
                           Block data) {
  if (data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::invalid_argument("frame data too large for a frame header");
  }
  ArtFrameHeader& frame = frameHeaders.at(p).at(f);
  frame.width = width;
  frame.height = height;
  frame.dataSize = static_cast<std::int32_t>(data.size());
  blocks.at(p).at(f) = std::move(data);
}

}  // namespace vostrel
