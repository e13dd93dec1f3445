// Finding a sprite's pictures in a directory: one listing, then the converter's names read
// back, so that an extension in capitals (saved by an editor on Windows) is found everywhere.
#include "pack/picture_names.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <tuple>

#include "io/path.hpp"

namespace vostrel {

namespace {

// The extensions a frame's picture may have, in the order its files are taken.
constexpr std::array<std::string_view, 2> kExtensions{".bmp", ".png"};

// Whether a picture's name begins with the original's stem: as the file system compares names,
// so that on Windows the pictures of DOOR.ART may be door_0_0_0.bmp, as opening them by name
// would find them.
bool SameStem(std::string_view name, std::string_view stem) {
#ifdef _WIN32
  return EqualIgnoringCase(name, stem);
#else
  return name == stem;
#endif
}

// A number as the converter writes it: decimal digits without a sign or a leading zero.
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

std::optional<PictureNames> PictureNames::List(Files& files, const std::string& dir,
                                               const std::string& stem) {
  const std::optional<std::vector<std::string>> names = files.ListDirectory(dir);
  if (!names) {
    return std::nullopt;
  }
  std::string prefix = dir;
  if (!prefix.empty() && prefix.back() != kPathSeparator && prefix.back() != '/') {
    prefix += kPathSeparator;
  }
  // (palette, extension, name) of each picture, so that a frame's list comes out in that order
  // whatever the order of the directory.
  std::map<Key, std::vector<std::tuple<std::size_t, std::size_t, std::string>>> sorted;
  for (const std::string& name : *names) {
    std::string_view rest = name;
    if (rest.size() <= stem.size() || !SameStem(rest.substr(0, stem.size()), stem) ||
        rest[stem.size()] != '_') {
      continue;
    }
    rest.remove_prefix(stem.size() + 1);
    const auto p = TakeIndex(rest, '_');
    const auto f = p ? TakeIndex(rest, '_') : std::nullopt;
    const std::size_t dot = rest.find('.');
    if (!f || dot == std::string_view::npos) {
      continue;
    }
    std::string_view palette = rest.substr(0, dot + 1);
    const auto k = TakeIndex(palette, '.');
    const std::string_view extension = rest.substr(dot);
    const auto kind = std::find_if(
        kExtensions.begin(), kExtensions.end(),
        [extension](std::string_view known) { return EqualIgnoringCase(extension, known); });
    if (!k || kind == kExtensions.end()) {
      continue;
    }
    sorted[{*p, *f}].emplace_back(*k, static_cast<std::size_t>(kind - kExtensions.begin()), name);
  }
  PictureNames pictures;
  for (auto& [frame, list] : sorted) {
    std::sort(list.begin(), list.end());
    std::vector<FoundPicture>& found = pictures.found_[frame];
    for (const auto& [k, kind, name] : list) {
      found.push_back({prefix + name, k});
    }
  }
  return pictures;
}

std::vector<FoundPicture> PictureNames::Of(std::size_t p, std::size_t f,
                                           std::size_t palettes) const {
  std::vector<FoundPicture> pictures;
  if (const auto at = found_.find({p, f}); at != found_.end()) {
    for (const FoundPicture& picture : at->second) {
      if (picture.palette < palettes) {
        pictures.push_back(picture);
      }
    }
  }
  return pictures;
}

}  // namespace vostrel
