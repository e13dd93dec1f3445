// Making a sprite that no file held before, from a table of frames, their pixels and the
// palettes: the shapes of table the format has, and where the words nobody interprets come
// from when they are not given (a file the new one is like, the frame before, or 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "sprite/sprite.hpp"

namespace vostrel {

// The tables the format has, as messages name them: flags choose between the two.
inline constexpr const char* kFormatTables =
    "eight pictures of the same number of frames, or pictures of one frame each";

// The layout of pictures x framesPerPicture when the format has such a table: eight pictures of
// any number of frames, or any number of pictures of one frame (each up to 2^31 - 1). Nothing
// for another shape.
std::optional<ArtLayout> FormatLayout(std::int64_t pictures, std::int64_t framesPerPicture);

// The layout of pictures of the given lengths in frames, in order: eight of one length N give
// eight pictures of N frames, pictures of one frame each give that many pictures of one frame.
// Nothing for another shape, or for no picture at all.
std::optional<ArtLayout> LayoutOfPictures(std::span<const std::int64_t> lengths);

// "3 pictures, of 2, 2 and 1 frames": pictures of these lengths, for messages (the first eight).
std::string PicturesText(std::span<const std::int64_t> lengths);

// A frame of the sprite to make.
struct NewFrame {
  // With indices (width x height of them, top row first), the frame shows them; without, it has
  // no pixels and keeps this width and height (any, even negative), with no data.
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::optional<std::vector<std::uint8_t>> indices;
  std::optional<ArtFrameWords> words;   // nothing: from the file it is like, the frame before, 0
  std::optional<FrameStorage> storage;  // nothing: the smaller of the two
  // A frame taken as it is, its words and data included (the rest above is then not used).
  std::optional<SpriteFrame> whole;
};

struct NewSprite {
  ArtLayout table;
  std::optional<ArtHeader> header;   // the words as given; nothing: like's, or 0
  const Sprite* like = nullptr;      // a file whose words the new one takes where none are given
  std::vector<ArtPalette> palettes;  // 1 to 4
  std::vector<NewFrame> frames;      // picture-major, as many as the table holds
};

// Raised for a frame whose data would be larger than a frame header can announce.
class FrameTooLarge : public std::runtime_error {
 public:
  explicit FrameTooLarge(std::size_t frameIndex)
      : std::runtime_error("frame too large for its header"), frame(frameIndex) {}
  std::size_t frame;  // picture-major
};

// The sprite. The header's words are the given ones, else like's, else 0, then set where they
// disagree with the table and the palettes: flags 0 for eight pictures and 1 for pictures of one
// frame (kept where they already give the table), the presence words 1 for each palette and 0
// for the others (kept where they already count the palettes), frameCount from the table. A
// frame's four words are its own, else those of like's frame at the same picture and frame,
// else those of the frame before it in its picture, else 0. Each frame's pixels are released as
// it is stored. Throws FrameTooLarge; std::invalid_argument when the frames or palettes do not
// fit the table and the format.
Sprite MakeSprite(NewSprite parts);

}  // namespace vostrel
