// Rules about a frame and a palette that making a sprite needs: whether a frame makes a picture,
// a frame made of pixels in the storage that suits it, and a palette made of colours.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sprite/sprite.hpp"

namespace vostrel {

// Whether a frame of this header makes a picture of its own: a width and height above 0 whose
// product, the pixels the converter counts, fits a 32-bit signed integer.
bool MakesAPicture(const ArtFrameHeader& header);

// A frame of width x height indices (top row first) with the given words, stored as storage
// asks or, without it, in whichever of the two is smaller: run-length when its stream is
// shorter than the pixels, raw otherwise (on a tie too). Nothing when its data would be larger
// than a frame header can announce.
std::optional<SpriteFrame> FrameOfPixels(std::int32_t width, std::int32_t height,
                                         std::span<const std::uint8_t> indices,
                                         std::optional<FrameStorage> storage,
                                         const ArtFrameWords& words);

// A palette of the given colours (red, green and blue each, at most 256 of them; the entries
// after them black), each entry's fourth byte from fourthBytes (256 of them) or 0 without it.
ArtPalette PaletteOfColours(std::span<const std::uint8_t> rgb,
                            std::span<const std::uint8_t> fourthBytes = {});

// The fourth bytes of a palette's entries.
std::vector<std::uint8_t> FourthBytesOf(const ArtPalette& palette);

}  // namespace vostrel
