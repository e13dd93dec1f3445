// How the files made of an .ART file are named, each rule written once, here: its pictures (its
// stem, then the picture, frame and palette indices from 0: "door.art" gives "door_3_1_0.bmp"),
// which vostrel writes and vostrel-pack looks for; and its sheets, palette files and animations
// ("door_0.png", "door_0.gpl", "door_3_0.gif"), which vostrel-sheet writes and vostrel-pack
// brings up to date.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vostrel {

// The extension of .ART files: a name the converter is given without any dot gets it, and a
// name that ends with it, in any case, is an .ART file's.
inline constexpr std::string_view kArtExtension = ".art";
// The extensions of the pictures vostrel-pack takes for a frame, in the order it takes them.
inline constexpr std::array<std::string_view, 2> kPictureExtensions{".bmp", ".png"};
// The extension of the manifest vostrel-sheet writes beside its sheets; vostrel-pack takes a
// name with it, in any case, for a manifest rather than a directory of pictures.
inline constexpr std::string_view kManifestExtension = ".json";

// The stem of the pictures of an .ART file of that file name (without its directory): the name
// up to its last dot, or all of it when it has none.
std::string PictureStem(std::string_view artFileName);

// Appends "_p_f_k" and the extension (such as ".bmp") to name, which holds the stem.
void AppendPictureSuffix(std::string& name, std::int32_t picture, std::int32_t frame,
                         std::int32_t palette, std::string_view extension);

// "door_0": the name of palette k's sheet and palette files, less their extensions.
std::string SheetBaseName(std::string_view stem, std::int32_t palette);
// "door_0.png": the sheet of palette k.
std::string SheetName(std::string_view stem, std::int32_t palette);
// "door_3_0": the animation of picture p in palette k, less its extension.
std::string AnimationBaseName(std::string_view stem, std::int32_t picture, std::int32_t palette);

// A picture's name read back: the indices and the extension as found (".bmp", ".PNG", ...).
struct PictureName {
  std::size_t picture = 0;
  std::size_t frame = 0;
  std::size_t palette = 0;
  std::string extension;
};

// Reads name as stem, then "_p_f_k" with each index in decimal as the converter writes it (no
// sign, no leading zero), then a dot and an extension without a further separator. The stem is
// compared exactly, or without regard to ASCII case when stemIgnoringCase. Nothing when name
// is not such a name.
std::optional<PictureName> ReadPictureName(std::string_view name, std::string_view stem,
                                           bool stemIgnoringCase);

}  // namespace vostrel
