// A sprite as plain values: the words, palettes, frame headers and frame bytes of an .ART file
// (layout drawn in sprite/art_format.hpp), with no console, path or file, and the functions that
// every front end shares: reading one from bytes, deciding and decoding a frame's storage,
// replacing a frame, and writing the file back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "sprite/art_format.hpp"

namespace vostrel {

class ByteSource;

// One 256-colour palette exactly as the file stores it: 256 entries of blue, green, red and a
// fourth byte (the layout of a BMP colour table; see sprite/palette.hpp).
using ArtPalette = std::array<std::uint8_t, kArtPaletteSize>;

struct SpriteFrame {
  ArtFrameHeader header;
  // Exactly header.dataSize bytes; those a file that ends early lacks read as zero.
  std::vector<std::uint8_t> data;
};

struct Sprite {
  ArtHeader header;  // the 33 words exactly as read (frameCount as the file holds it)
  std::int32_t pictures = 0;
  std::int32_t framesPerPicture = 0;
  std::vector<ArtPalette> palettes;  // as many as the presence words announce (0 to 4)
  // Picture-major: frame f of picture p is frames[p * framesPerPicture + f].
  std::vector<SpriteFrame> frames;
  // Bytes of frame data the file lacked: it ended early, and they read as zero. Such a file
  // converts, but writing it back would pass the zeros off as the sprite's own.
  std::uint64_t missingBytes = 0;

  std::int32_t PaletteCount() const { return static_cast<std::int32_t>(palettes.size()); }
  std::size_t FrameCount() const { return frames.size(); }
  const SpriteFrame& Frame(std::int32_t picture, std::int32_t frame) const;
  SpriteFrame& Frame(std::int32_t picture, std::int32_t frame);
};

// A sprite read from bytes, or why it could not be.
struct SpriteLoad {
  std::optional<Sprite> sprite;
  ArtLoadError error = ArtLoadError::kNone;
};

// Called once for each progress mark the loader makes as it goes: after the header, after the
// palettes, before each frame header and after the frame data. The converter prints them as
// they come, so that a damaged file leaves its marks on screen up to where it failed.
using LoadProgress = std::function<void()>;

// Reads a whole sprite. Every section is checked against the bytes present before anything is
// sized from it; a file that ends inside its frame data loads, with missingBytes counting what
// it lacked. Exhausted memory (std::bad_alloc) is thrown, never taken for damage; a source that
// cannot be read gives kCannotRead.
SpriteLoad ParseSprite(ByteSource& source, const LoadProgress& mark = {});
SpriteLoad ParseSprite(std::span<const std::uint8_t> bytes, const LoadProgress& mark = {});

// The file's bytes: header words, palettes, frame headers, frame data, in that order. Throws
// std::invalid_argument when a frame's data differs from its dataSize.
std::vector<std::uint8_t> SerializeSprite(const Sprite& sprite);

// The size of the file holding everything the sprite's header, palettes and frame headers
// announce (saturating).
std::uint64_t AnnouncedSize(const Sprite& sprite);

// Gives a frame a new size and data block, keeping its other words; dataSize becomes the
// block's size. Throws std::invalid_argument when it does not fit a frame header. New pixels
// go in through ReplaceFramePixels (sprite/frame_rules.hpp), which encodes and checks them.
void ReplaceFrame(SpriteFrame& frame, std::int32_t width, std::int32_t height,
                  std::vector<std::uint8_t> data);

// ---- frames -------------------------------------------------------------------------------

// How a frame's data is stored. Equality alone decides: a frame whose dataSize equals width x
// height (a 32-bit product) is raw, even a run-length stream of exactly that length.
enum class FrameStorage { kRaw, kRunLength };

// The number of pixels a frame's size counts: a width and height of 0 or more whose product
// fits a 32-bit signed integer. Nothing for a negative or overflowing size (ShapeOf: kInvalid).
std::optional<std::int32_t> FramePixels(const ArtFrameHeader& header);

// The storage of any frame: raw when its dataSize equals its number of pixels (FramePixels),
// run-length otherwise, a size that counts no pixels (see ShapeOf) included.
FrameStorage StorageOf(const ArtFrameHeader& header);

struct DecodedFrame {
  FrameStorage storage = FrameStorage::kRaw;
  std::uint64_t fillRuns = 0;  // of a run-length frame: its progress marks count them
};

// Puts a frame's indices into plane, resized to width x height (its storage reused while large
// enough): a raw block copied, a run-length one decoded, bytes the stream does not reach zero.
// Nothing, plane untouched, for a size that counts no pixels (FramePixels).
std::optional<DecodedFrame> DecodeFrame(const ArtFrameHeader& header,
                                        std::span<const std::uint8_t> data,
                                        std::vector<std::uint8_t>& plane);

// The data block that stores width x height indices (top row first) the way `storage` asks: a
// raw frame stays raw; a run-length frame is encoded again, and stored raw only when its stream
// would come out exactly as long as the pixels (which would read as raw anyway).
std::vector<std::uint8_t> EncodeFrame(std::span<const std::uint8_t> indices, FrameStorage storage);

}  // namespace vostrel
