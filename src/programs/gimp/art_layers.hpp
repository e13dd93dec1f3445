// What the image editor's file plug-in decides, kept apart from the editor's library so that it
// can be tested on its own: how an .ART sprite becomes an indexed image of one layer per frame,
// what the image keeps of its file, and how its layers become the file again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sprite/palette.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

// The largest width or height the editor gives an image or layer (its GIMP_MAX_IMAGE_SIZE).
inline constexpr std::int32_t kEditorMaxSide = 524288;
// The most pixels a frame's layer may have: beyond that a hostile file of a few bytes could make
// the editor reserve gigabytes, so such a frame is shown as a marked empty layer and kept.
inline constexpr std::int64_t kEditorMaxLayerPixels = std::int64_t{1} << 28;

// Why a frame has a layer of its own pixels, or only an empty one that stands in for it.
enum class LayerKind {
  kPicture,      // its indices, at its own size
  kNoPixels,     // 0 wide or 0 high
  kInvalidSize,  // a negative size, or more pixels than 32 bits count
  kTooLarge,     // larger than the editor takes (see the limits above)
};

LayerKind LayerKindOf(const ArtFrameHeader& header);

// One layer to make, top of the stack first.
struct LayerPlan {
  std::int32_t picture = 0;  // from 0
  std::int32_t frame = 0;    // from 0
  LayerKind kind = LayerKind::kPicture;
  std::string name;  // "Picture P Frame F" counting from 1, marked when it stands in
  // kPicture: the frame's size and indices (top row first). Otherwise a transparent 1 x 1.
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::vector<std::uint8_t> indices;
};

struct ImagePlan {
  std::int32_t width = 1;   // the largest width of the frames that make a picture
  std::int32_t height = 1;  // the largest height of them
  PaletteRgb colourMap{};   // the editor's colour map: red, green, blue for each entry
  std::vector<LayerPlan> layers;
};

// The frame that the layer at position `index` of the stack (0 at the top) stands for: the
// pictures top down in order, and within a picture its last frame at the top, so that the
// editor's animation playback, which plays from the bottom up, plays each picture's frames in
// order.
struct FramePosition {
  std::int32_t picture = 0;
  std::int32_t frame = 0;
};
FramePosition FrameOfLayer(std::size_t index, std::int32_t framesPerPicture);

// A palette number as the load procedure takes it: 0 (what the editor's generic load passes)
// means 1. Nothing for one outside 0 to 4.
std::optional<std::int32_t> PaletteArgument(std::int32_t argument);

struct OpenResult {
  std::optional<ImagePlan> plan;
  std::string error;  // when there is no plan: why, naming the file and saying what to do
};

// The image for the file's bytes (name is how messages call it), in the given palette (1 to 4).
OpenResult PlanImage(std::span<const std::uint8_t> bytes, std::int32_t palette,
                     const std::string& name);

// ---- what the image keeps of its file ---------------------------------------------------------

// The name of the parasite that holds it.
inline constexpr const char* kSourceParasiteName = "vostrel-art-source";

// The palette the image was opened in and the whole file as it was read: every palette, every
// frame header and storage, the words nobody interprets. A save compares the layers with it and
// copies from it what did not change.
struct ArtSource {
  std::int32_t palette = 1;
  std::vector<std::uint8_t> bytes;
};

// Its parasite's data: a version byte, the palette, then the file's bytes.
std::vector<std::uint8_t> EncodeSource(const ArtSource& source);
std::optional<ArtSource> DecodeSource(std::span<const std::uint8_t> data);

// ---- saving ------------------------------------------------------------------------------------

// A layer as the editor holds it.
struct LayerPixels {
  std::string name;
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool hasAlpha = false;
  // width x height pixels, rows top first: an index, followed by its alpha when hasAlpha.
  std::vector<std::uint8_t> pixels;
};

struct ImagePixels {
  bool indexed = true;
  std::vector<std::uint8_t> colourMap;  // red, green, blue for each entry
  std::vector<LayerPixels> layers;      // every layer that is not a group, top of the stack first
};

// A layer's name read back: "Picture P Frame F" (each from 1), maybe followed by the mark in
// brackets that a layer standing in for a frame without a picture carries.
struct NamedFrame {
  FramePosition at;  // from 0
  bool standsIn = false;
};
std::optional<NamedFrame> ReadLayerName(std::string_view name);

// The table the layers' names give: each layer's frame, picture-major.
struct LayerTable {
  ArtLayout layout;
  std::vector<std::size_t> frameOf;  // for each layer, top of the stack first
  std::vector<bool> standsIn;
};
struct LayerTableResult {
  std::optional<LayerTable> table;
  std::string error;  // when there is none: why, and what to do
};
// Every layer named once for a frame, the frames of each picture from 1 on without a gap, in a
// table the format has (sprite/make_sprite.hpp).
LayerTableResult TableOfLayers(const std::vector<LayerPixels>& layers);

struct SaveResult {
  std::optional<std::vector<std::uint8_t>> bytes;  // the file to write
  std::string error;                               // when there are none: why, and what to do
  std::uint64_t framesReplaced = 0;
  bool paletteChanged = false;
  bool made = false;  // a new file, of another table than the source's or of none
};

// The file the image's layers make, each layer the frame its name gives. When the names give the
// source's table, frames whose layers show them as they are are copied byte for byte, changed
// layers replace their frames (a raw frame stays raw, a run-length one is encoded again), the
// colour map replaces the palette the image was opened in when its colours changed, and
// everything else is kept; with nothing changed, the file is the source's bytes. When they give
// another table, or the image has no source, the file is made anew by the rules of vostrel-pack
// --new: the source's words and palettes where it has them (the colour map as the palette
// opened), each layer's frame stored as the source's frame at its place or in the smaller
// storage, a stand-in layer's frame kept as it was. `source` is what the image kept, nothing
// when it was not opened from an .ART file.
SaveResult BuildSavedFile(const std::optional<ArtSource>& source, const ImagePixels& image);

}  // namespace vostrel
