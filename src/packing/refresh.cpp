// Bringing the pictures of replaced frames up to date with the file just written, so that the
// directory they were packed from describes it and no later pack takes an old picture for an
// edit.
#include "packing/refresh.hpp"

#include <optional>
#include <string_view>

#include "formats/bmp/bmp_encode.hpp"
#include "formats/png/png_encode.hpp"
#include "io/path.hpp"

namespace vostrel {

namespace {

bool IsPng(std::string_view path) { return EndsWithIgnoringCase(path, ".png"); }

std::vector<std::uint8_t> Bmp(std::int32_t width, std::int32_t height,
                              std::span<const std::uint8_t> indices,
                              std::span<const std::uint8_t> palette) {
  return EncodeBmp(BmpImage{width, height, indices, palette});
}

}  // namespace

std::vector<std::uint8_t> FramePicture(const std::string& path, std::int32_t width,
                                       std::int32_t height, std::span<const std::uint8_t> indices,
                                       std::span<const std::uint8_t> palette) {
  return IsPng(path)
             ? EncodeRgbPng({width, height, static_cast<std::size_t>(width), indices}, palette)
             : Bmp(width, height, indices, palette);
}

std::vector<std::string> RefreshPictures(const std::vector<ReplacedFrame>& frames,
                                         std::span<const ArtPalette> palettes,
                                         const std::string& picturesDir, const std::string& output,
                                         const std::function<void(const std::string&)>& warn,
                                         Files& files) {
  const auto outOfDate = [&](const std::string& path, const std::string& why) {
    warn(path + ": out of date: " + why + ", so it still shows the frame as it was before; " +
         "extract " + output + " again before packing from " + picturesDir);
  };
  std::vector<std::string> updated;
  for (const ReplacedFrame& frame : frames) {
    for (const FoundPicture& picture : frame.pictures) {
      const std::vector<std::uint8_t> bytes = FramePicture(
          picture.path, frame.width, frame.height, frame.indices, palettes[picture.palette]);
      if (bytes.empty()) {
        outOfDate(picture.path, "the frame is too large to be written as PNG");
        continue;
      }
      // A picture that already shows the new frame (an edit made alike in two palettes) is
      // left alone, its time stamps too.
      if (FileHolds(files, picture.path, bytes)) {
        continue;
      }
      if (const std::optional<std::string> failure = files.Replace(picture.path, bytes)) {
        outOfDate(picture.path, "it cannot be rewritten (" + *failure + ")");
      } else {
        updated.push_back(picture.path);
      }
    }
  }
  return updated;
}

}  // namespace vostrel
