#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "art/art_file.hpp"

namespace vostrel {

// The header of a loaded .ART file as the file holds it. The loader replaces an eight-picture
// file's frame count with the number of pictures; this puts the frames per picture back.
ArtHeader StoredHeader(const ArtFile& art);

// The bytes of an .ART file: the header's 33 words, the first 1024 bytes of each palette buffer,
// the frame headers picture by picture, then the blocks in the same order. Every word is written
// as given; throws std::invalid_argument when blocks and frameHeaders differ in shape, a block
// differs from its dataSize, a palette is short, or the file would exceed what memory can hold.
std::vector<std::uint8_t> SerializeArt(const ArtHeader& header, std::span<const Block> palettes,
                                       const std::vector<std::vector<ArtFrameHeader>>& frameHeaders,
                                       const BlockTable& blocks);

}  // namespace vostrel
