// How the pictures of an .ART file are named.
#include "art/picture_names.hpp"

#include "io/path.hpp"

namespace vostrel {

std::string PictureStem(std::string_view artFileName) {
  std::string stem(artFileName);
  CutAtLastDot(stem);
  return stem;
}

void AppendPictureSuffix(std::string& name, std::int32_t picture, std::int32_t frame,
                         std::int32_t palette, std::string_view extension) {
  name += '_';
  AppendDecimal(name, picture);
  name += '_';
  AppendDecimal(name, frame);
  name += '_';
  AppendDecimal(name, palette);
  name += extension;
}

}  // namespace vostrel
