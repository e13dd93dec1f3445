// Bringing the pictures of the frames a pack replaced up to date with the file it wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "io/files.hpp"
#include "packing/found_pictures.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

// A frame that a pack replaced, with the pictures of it that still show it as it was. (The
// edited ones gave its new pixels, and are left as the editor saved them.)
struct ReplacedFrame {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> indices;  // width x height, top row first
  std::vector<FoundPicture> pictures;
};

// The bytes of the picture of a frame in palette (256 entries of blue, green, red and a fourth
// byte) that stands under path: a BMP as the converter writes it, a PNG (path ending in ".png"
// in any case) as 8-bit RGB. Empty when the frame is too large for the PNG writer.
std::vector<std::uint8_t> FramePicture(const std::string& path, std::int32_t width,
                                       std::int32_t height, std::span<const std::uint8_t> indices,
                                       std::span<const std::uint8_t> palette);

// Rewrites the pictures of the replaced frames that show them as they were, so that the
// directory describes output: a later pack from it then finds them untouched instead of taking
// the old pixels for an edit. Returns the pictures rewritten; each one that could not be is
// named through warn, with picturesDir and output in what to do. Files are reached through files.
std::vector<std::string> RefreshPictures(const std::vector<ReplacedFrame>& frames,
                                         std::span<const ArtPalette> palettes,
                                         const std::string& picturesDir, const std::string& output,
                                         const std::function<void(const std::string&)>& warn,
                                         Files& files);

}  // namespace vostrel
