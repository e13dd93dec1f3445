// The pictures of one sprite that a directory holds, found by the names the converter gives
// them: the packer lists the directory once and looks each frame's pictures up here.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/files.hpp"

namespace vostrel {

// A picture file of one palette of a frame.
struct FoundPicture {
  std::string path;  // the directory as given, then the name as found
  std::size_t palette = 0;
};

// The pictures of a directory under the names the converter gives a sprite's frames:
// STEM_p_f_k.bmp, or .png when an editor saved it as PNG, the extension in any case.
class PictureNames {
 public:
  // Lists dir once through files; nothing when it cannot be read.
  static std::optional<PictureNames> List(Files& files, const std::string& dir,
                                          const std::string& stem);

  // The pictures of frame f of picture p, palette by palette, ".bmp" before ".png".
  std::vector<FoundPicture> Of(std::size_t p, std::size_t f, std::size_t palettes) const;

 private:
  using Key = std::pair<std::size_t, std::size_t>;
  std::map<Key, std::vector<FoundPicture>> found_;
};

}  // namespace vostrel
