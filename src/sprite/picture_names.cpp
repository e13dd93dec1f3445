// How the files made of an .ART file are named, and its pictures' names read back.
#include "sprite/picture_names.hpp"

#include <charconv>

#include "io/path.hpp"

namespace vostrel {

namespace {

// A number as the converter writes it, up to end: decimal digits without a sign or a leading
// zero. Takes it and end off the front of text.
std::optional<std::size_t> TakeIndex(std::string_view& text, char end) {
  const std::size_t stop = text.find(end);
  const std::string_view digits = text.substr(0, stop);
  if (stop == std::string_view::npos || digits.empty() || (digits.size() > 1 && digits[0] == '0')) {
    return std::nullopt;
  }
  std::size_t value = 0;
  const auto [at, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || at != digits.data() + digits.size()) {
    return std::nullopt;
  }
  text.remove_prefix(stop + 1);
  return value;
}

}  // namespace

std::string PictureStem(std::string_view artFileName) { return std::string(StemOf(artFileName)); }

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

std::string SheetBaseName(std::string_view stem, std::int32_t palette) {
  std::string name(stem);
  name += '_';
  AppendDecimal(name, palette);
  return name;
}

std::string SheetName(std::string_view stem, std::int32_t palette) {
  return SheetBaseName(stem, palette) + ".png";
}

std::string AnimationBaseName(std::string_view stem, std::int32_t picture, std::int32_t palette) {
  std::string name(stem);
  name += '_';
  AppendDecimal(name, picture);
  name += '_';
  AppendDecimal(name, palette);
  return name;
}

std::optional<PictureName> ReadPictureName(std::string_view name, std::string_view stem,
                                           bool stemIgnoringCase) {
  if (name.size() <= stem.size() || name[stem.size()] != '_') {
    return std::nullopt;
  }
  const std::string_view head = name.substr(0, stem.size());
  if (stemIgnoringCase ? !EqualIgnoringCase(head, stem) : head != stem) {
    return std::nullopt;
  }
  std::string_view rest = name.substr(stem.size() + 1);
  PictureName read;
  const auto picture = TakeIndex(rest, '_');
  const auto frame = picture ? TakeIndex(rest, '_') : std::nullopt;
  const std::size_t dot = rest.find('.');
  if (!frame || dot == std::string_view::npos) {
    return std::nullopt;
  }
  std::string_view palette = rest.substr(0, dot + 1);
  const auto k = TakeIndex(palette, '.');
  const std::string_view extension = rest.substr(dot);
  if (!k || extension.find_first_of(kPathSeparators) != std::string_view::npos) {
    return std::nullopt;
  }
  read.picture = *picture;
  read.frame = *frame;
  read.palette = *k;
  read.extension = std::string(extension);
  return read;
}

}  // namespace vostrel
