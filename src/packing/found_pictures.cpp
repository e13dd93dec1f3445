// Finding a sprite's pictures in a directory: one listing, then the converter's names read
// back with the sprite model's reader, so that an extension in capitals (saved by an editor on
// Windows) is found everywhere.
#include "packing/found_pictures.hpp"

#include <algorithm>
#include <array>
#include <string_view>
#include <tuple>

#include "io/path.hpp"
#include "sprite/picture_names.hpp"

namespace vostrel {

namespace {

// Whether a picture's name must begin with the original's stem exactly, or may differ in case:
// as the file system compares names, so that on Windows the pictures of DOOR.ART may be
// door_0_0_0.bmp, as opening them by name would find them.
#ifdef _WIN32
constexpr bool kStemIgnoringCase = true;
#else
constexpr bool kStemIgnoringCase = false;
#endif

}  // namespace

std::optional<PictureNames> PictureNames::List(Files& files, const std::string& dir,
                                               const std::string& stem) {
  const std::optional<std::vector<std::string>> names = files.ListDirectory(dir);
  if (!names) {
    return std::nullopt;
  }
  // (palette, extension, name) of each picture, so that a frame's list comes out in that order
  // whatever the order of the directory.
  std::map<Key, std::vector<std::tuple<std::size_t, std::size_t, std::string>>> sorted;
  for (const std::string& name : *names) {
    const std::optional<PictureName> read = ReadPictureName(name, stem, kStemIgnoringCase);
    if (!read) {
      continue;
    }
    const auto kind = std::find_if(
        kPictureExtensions.begin(), kPictureExtensions.end(),
        [&read](std::string_view known) { return EqualIgnoringCase(read->extension, known); });
    if (kind == kPictureExtensions.end()) {
      continue;
    }
    sorted[{read->picture, read->frame}].emplace_back(
        read->palette, static_cast<std::size_t>(kind - kPictureExtensions.begin()), name);
  }
  PictureNames pictures;
  for (auto& [frame, list] : sorted) {
    std::sort(list.begin(), list.end());
    std::vector<FoundPicture>& found = pictures.found_[frame];
    for (const auto& [k, kind, name] : list) {
      found.push_back({JoinPath(dir, name), k});
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
