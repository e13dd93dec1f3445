// The image editor plug-in's decisions: an .ART sprite as layers, and layers as the sprite again.
#include "programs/gimp/art_layers.hpp"

#include <algorithm>
#include <limits>
#include <span>
#include <stdexcept>
#include <utility>

#include "io/checked.hpp"
#include "sprite/frame_rules.hpp"

namespace vostrel {

namespace {

// The first byte of the source parasite: how the rest is laid out.
constexpr std::uint8_t kSourceVersion = 1;
std::string Number(std::int64_t value) { return std::to_string(value); }

std::string LayerName(std::int32_t picture, std::int32_t frame, LayerKind kind,
                      const ArtFrameHeader& header) {
  std::string name = "Picture " + Number(picture + 1) + " Frame " + Number(frame + 1);
  const std::string size = Number(header.width) + " x " + Number(header.height);
  switch (kind) {
    case LayerKind::kPicture:
      break;
    case LayerKind::kNoPixels:
      name += " (no pixels, " + size + ": kept as it is)";
      break;
    case LayerKind::kInvalidSize:
      name += " (invalid size " + size + ": kept as it is)";
      break;
    case LayerKind::kTooLarge:
      name += " (too large, " + size + ": kept as it is)";
      break;
  }
  return name;
}

struct LoadedSprite {
  std::optional<Sprite> sprite;
  std::string error;
};

LoadedSprite Load(std::span<const std::uint8_t> bytes, const std::string& name) {
  SpriteLoad load = ParseSprite(bytes);
  if (!load.sprite) {
    return {std::nullopt, name + ": Could not load ART file (" + ArtLoadErrorText(load.error) +
                              "); it is damaged or not an .art file"};
  }
  return {std::move(load.sprite), {}};
}

// The indices a frame shows, as the converter shows them; only for a kPicture frame.
std::vector<std::uint8_t> IndicesOf(const SpriteFrame& frame) {
  std::vector<std::uint8_t> plane;
  DecodeFrame(frame.header, frame.data, plane);
  return plane;
}

std::string Position(std::size_t at, std::int32_t width) {
  const auto columns = static_cast<std::size_t>(width);
  return "x " + Number(static_cast<std::int64_t>(at % columns)) + ", y " +
         Number(static_cast<std::int64_t>(at / columns));
}

// A layer's indices, a fully transparent pixel as index 0; or why it cannot be a frame.
struct LayerIndices {
  std::vector<std::uint8_t> indices;
  std::string error;
};

LayerIndices IndicesOf(const LayerPixels& layer) {
  const auto count = static_cast<std::size_t>(layer.width) * static_cast<std::size_t>(layer.height);
  const std::size_t channels = layer.hasAlpha ? 2 : 1;
  if (layer.width <= 0 || layer.height <= 0 || layer.pixels.size() != count * channels) {
    return {{}, "layer \"" + layer.name + "\" could not be read; try the export again"};
  }
  if (!layer.hasAlpha) {
    return {layer.pixels, {}};
  }
  LayerIndices out;
  out.indices.resize(count);
  std::uint64_t partial = 0;
  std::size_t first = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t index = layer.pixels[2 * i];
    const std::uint8_t alpha = layer.pixels[2 * i + 1];
    if (alpha == 0) {
      out.indices[i] = 0;
    } else {
      out.indices[i] = index;
      if (alpha != std::numeric_limits<std::uint8_t>::max() && partial++ == 0) {
        first = i;
      }
    }
  }
  if (partial > 0) {
    out.error = "layer \"" + layer.name + "\" has " + Number(static_cast<std::int64_t>(partial)) +
                (partial == 1 ? " pixel" : " pixels") +
                " neither fully opaque nor fully transparent, the first at " +
                Position(first, layer.width) +
                "; a frame has no transparency: make them opaque (Layer > Transparency > "
                "Threshold Alpha), then export again";
  }
  return out;
}

SaveResult Refuse(std::string error) {
  SaveResult result;
  result.error = std::move(error);
  return result;
}

}  // namespace

LayerKind LayerKindOf(const ArtFrameHeader& header) {
  switch (ShapeOf(header)) {
    case FrameShape::kInvalid:
      return LayerKind::kInvalidSize;
    case FrameShape::kNoPixels:
      return LayerKind::kNoPixels;
    case FrameShape::kPicture:
      break;
  }
  if (header.width > kEditorMaxSide || header.height > kEditorMaxSide ||
      std::int64_t{header.width} * header.height > kEditorMaxLayerPixels) {
    return LayerKind::kTooLarge;
  }
  return LayerKind::kPicture;
}

FramePosition FrameOfLayer(std::size_t index, std::int32_t framesPerPicture) {
  const auto frames = static_cast<std::size_t>(std::max(framesPerPicture, 1));
  const std::size_t within = index % frames;
  return {static_cast<std::int32_t>(index / frames),
          static_cast<std::int32_t>(frames - 1 - within)};
}

std::optional<std::int32_t> PaletteArgument(std::int32_t argument) {
  if (argument == 0) {
    return 1;
  }
  if (argument < 1 || argument > kArtMaxPalettes) {
    return std::nullopt;
  }
  return argument;
}

OpenResult PlanImage(std::span<const std::uint8_t> bytes, std::int32_t palette,
                     const std::string& name) {
  OpenResult result;
  LoadedSprite loaded = Load(bytes, name);
  if (!loaded.sprite) {
    result.error = std::move(loaded.error);
    return result;
  }
  const Sprite& sprite = *loaded.sprite;
  if (palette < 1 || palette > sprite.PaletteCount()) {
    const std::int32_t count = sprite.PaletteCount();
    result.error = name + " has " +
                   (count == 0   ? std::string("no palette")
                    : count == 1 ? std::string("one palette")
                                 : Number(count) + " palettes") +
                   ", so palette " + Number(palette) + " cannot be shown" +
                   (count == 0 ? std::string("; it cannot be opened as an indexed image")
                               : "; choose a palette from 1 to " + Number(count));
    return result;
  }
  ImagePlan plan;
  const ArtPalette& chosen = sprite.palettes[static_cast<std::size_t>(palette - 1)];
  plan.colourMap = RgbOf(chosen);
  std::int32_t width = 0;
  std::int32_t height = 0;
  plan.layers.reserve(sprite.FrameCount());
  for (std::size_t i = 0; i < sprite.FrameCount(); ++i) {
    const FramePosition at = FrameOfLayer(i, sprite.framesPerPicture);
    const SpriteFrame& frame = sprite.Frame(at.picture, at.frame);
    LayerPlan layer;
    layer.picture = at.picture;
    layer.frame = at.frame;
    layer.kind = LayerKindOf(frame.header);
    layer.name = LayerName(at.picture, at.frame, layer.kind, frame.header);
    if (layer.kind == LayerKind::kPicture) {
      layer.width = frame.header.width;
      layer.height = frame.header.height;
      layer.indices = IndicesOf(frame);
      width = std::max(width, layer.width);
      height = std::max(height, layer.height);
    }
    plan.layers.push_back(std::move(layer));
  }
  plan.width = std::max(width, 1);
  plan.height = std::max(height, 1);
  result.plan = std::move(plan);
  return result;
}

std::vector<std::uint8_t> EncodeSource(const ArtSource& source) {
  std::vector<std::uint8_t> data;
  data.reserve(source.bytes.size() + 2);
  data.push_back(kSourceVersion);
  data.push_back(static_cast<std::uint8_t>(source.palette));
  data.insert(data.end(), source.bytes.begin(), source.bytes.end());
  return data;
}

std::optional<ArtSource> DecodeSource(std::span<const std::uint8_t> data) {
  if (data.size() < 2 || data[0] != kSourceVersion || data[1] < 1 || data[1] > kArtMaxPalettes) {
    return std::nullopt;
  }
  return ArtSource{data[1], std::vector<std::uint8_t>(data.begin() + 2, data.end())};
}

SaveResult BuildSavedFile(const std::optional<ArtSource>& source, const ImagePixels& image,
                          const std::string& name) {
  if (!source) {
    return Refuse(
        "this image was not opened from an .art file, so there is no sprite to save it into: "
        "open the .art file (File > Open), paint its layers, and export that image");
  }
  LoadedSprite loaded = Load(source->bytes, "the .art file this image was opened from");
  if (!loaded.sprite || source->palette > loaded.sprite->PaletteCount()) {
    return Refuse(
        "what this image kept of its .art file is damaged: open the .art file again (File > "
        "Open) and repeat the changes there");
  }
  Sprite& sprite = *loaded.sprite;
  if (sprite.missingBytes > 0) {
    return Refuse("the .art file this image was opened from ended early (" +
                  Number(static_cast<std::int64_t>(sprite.missingBytes)) +
                  " bytes of frame data missing, shown as index 0), and saving would pass them "
                  "off as the sprite's own: open a complete copy of the file and export that");
  }
  if (!image.indexed) {
    return Refuse(
        "the image is no longer indexed, and a frame holds indices into its palette: undo the "
        "change of mode (Edit > Undo History) so that the image is indexed again, then export");
  }
  if (image.colourMap.size() != kPaletteEntries * kRgbBytes) {
    return Refuse("the colour map has " +
                  Number(static_cast<std::int64_t>(image.colourMap.size() / kRgbBytes)) +
                  " entries where the palette has 256: undo the change to the colour map "
                  "(Edit > Undo History), or change colours in the colour map editor only, then "
                  "export");
  }
  if (image.layers.size() != sprite.FrameCount()) {
    return Refuse("the image has " + Number(static_cast<std::int64_t>(image.layers.size())) +
                  " layers, but " + name + " has " +
                  Number(static_cast<std::int64_t>(sprite.FrameCount())) + " frames (" +
                  Number(sprite.pictures) + " pictures of " + Number(sprite.framesPerPicture) +
                  "), one layer each: undo adding, removing or merging layers (Edit > Undo "
                  "History), then export");
  }
  SaveResult result;
  for (std::size_t i = 0; i < image.layers.size(); ++i) {
    const FramePosition at = FrameOfLayer(i, sprite.framesPerPicture);
    SpriteFrame& frame = sprite.Frame(at.picture, at.frame);
    if (LayerKindOf(frame.header) != LayerKind::kPicture) {
      continue;  // it only stands in for a frame that makes no picture: kept as it is
    }
    const LayerPixels& layer = image.layers[i];
    LayerIndices painted = IndicesOf(layer);
    if (!painted.error.empty()) {
      return Refuse(std::move(painted.error));
    }
    if (layer.width == frame.header.width && layer.height == frame.header.height &&
        painted.indices == IndicesOf(frame)) {
      continue;
    }
    if (!ReplaceFramePixels(frame, layer.width, layer.height, painted.indices)) {
      return Refuse("layer \"" + layer.name +
                    "\" is too large for a frame of an .art file: scale it down, then export");
    }
    ++result.framesReplaced;
  }
  ArtPalette& palette = sprite.palettes[static_cast<std::size_t>(source->palette - 1)];
  // The colour map's size was checked above; the fourth bytes of the entries stay as they are.
  const std::span<const std::uint8_t, kPaletteEntries * kRgbBytes> colours(image.colourMap.data(),
                                                                           image.colourMap.size());
  if (!std::equal(colours.begin(), colours.end(), RgbOf(palette).begin())) {
    SetRgb(palette, colours);
    result.paletteChanged = true;
  }
  if (result.framesReplaced == 0 && !result.paletteChanged) {
    result.bytes = source->bytes;
  } else {
    result.bytes = SerializeSprite(sprite);
  }
  return result;
}

}  // namespace vostrel
