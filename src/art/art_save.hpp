// Writing a loaded .ART file back into bytes (for vostrel-pack).
#pragma once

#include <cstdint>
#include <vector>

#include "art/art_file.hpp"

namespace vostrel {

// The bytes of a loaded .ART file: its header's 33 words as read, its palettes' 1024 bytes each,
// the frame headers picture by picture, then the blocks in the same order. Throws
// std::invalid_argument for an object without a header, or when the file would exceed what
// memory can hold.
std::vector<std::uint8_t> SerializeArt(const ArtFile& art);

}  // namespace vostrel
