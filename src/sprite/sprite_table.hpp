// Reading an .ART file: its header, palettes and frame-header table without the frames' bytes,
// and a frame's bytes from the file when they are asked for, so that a viewer shows a file of
// any size at once and holds no more of it than the frames it shows. The loader of whole
// sprites (ParseSprite) reads the same table here, so both check a file the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sprite/art_format.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

class ByteSource;
class RandomAccessSource;

// What ParseSprite reads of a file but its frames' bytes, and where those lie in the file.
struct SpriteTable {
  // The header, palettes, layout and frame headers as ParseSprite gives them; every frame's
  // data empty, and missingBytes what ParseSprite would count.
  Sprite sprite;
  // Where each frame's block starts in the file, in the order of sprite.frames.
  std::vector<std::uint64_t> blockAt;
  std::uint64_t fileSize = 0;

  const ArtFrameHeader& Frame(std::int32_t picture, std::int32_t frame) const {
    return sprite.Frame(picture, frame).header;
  }
  // Where frame f of picture p's block starts in the file (past its end for a file that ends
  // before it). Throws std::out_of_range for a frame the table lacks.
  std::uint64_t BlockAt(std::int32_t picture, std::int32_t frame) const {
    // blockAt follows sprite.frames, whose order the model keeps.
    return blockAt.at(
        static_cast<std::size_t>(&sprite.Frame(picture, frame) - sprite.frames.data()));
  }
};

struct SpriteTableLoad {
  std::optional<SpriteTable> table;
  ArtLoadError error = ArtLoadError::kNone;
};

// Reads the front of a file up to its frames' data, with the checks and refusals of
// ParseSprite (which are all made from the table) and its progress marks but the last, made
// after the data. Exhausted memory (std::bad_alloc) is thrown; a source that cannot be read
// gives kCannotRead.
SpriteTableLoad ParseSpriteTable(ByteSource& source, const LoadProgress& mark = {});

// The data block of frame f of picture p as ParseSprite gives it: its dataSize bytes read from
// source (the file the table was read from), those the file lacks zero. Throws
// std::out_of_range for a frame the table lacks, and what source throws.
std::vector<std::uint8_t> ReadFrameBlock(const SpriteTable& table, std::int32_t picture,
                                         std::int32_t frame, RandomAccessSource& source);

}  // namespace vostrel
