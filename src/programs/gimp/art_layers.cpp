// The image editor plug-in's decisions: an .ART sprite as layers, and layers as the sprite again.
#include "programs/gimp/art_layers.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>
#include <span>
#include <stdexcept>
#include <utility>

#include "io/checked.hpp"
#include "sprite/frame_rules.hpp"
#include "sprite/make_sprite.hpp"

namespace vostrel {

namespace {

// The first byte of the source parasite: how the rest is laid out.
constexpr std::uint8_t kSourceVersion = 1;
// A layer's name: kPictureWord, the picture, kFrameWord, the frame (each from 1), then, for a
// layer standing in for a frame without a picture, a mark in brackets after a space.
constexpr std::string_view kPictureWord = "Picture ";
constexpr std::string_view kFrameWord = " Frame ";
constexpr std::string_view kMarkStart = " (";
constexpr char kMarkEnd = ')';
// The largest picture or frame number a name is read with: more than any table holds.
constexpr std::size_t kMaxNumberDigits = 9;

std::string Number(std::int64_t value) { return std::to_string(value); }

std::string FrameName(std::int64_t picture, std::int64_t frame) {
  return std::string(kPictureWord) + Number(picture + 1) + std::string(kFrameWord) +
         Number(frame + 1);
}

// A number from 1 as names give it: decimal digits without a sign or leading zero. Takes it off
// the front of text.
std::optional<std::int64_t> TakeCount(std::string_view& text) {
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    ++digits;
  }
  std::int64_t value = 0;
  if (digits == 0 || digits > kMaxNumberDigits || text.front() == '0' ||
      std::from_chars(text.data(), text.data() + digits, value).ec != std::errc()) {
    return std::nullopt;
  }
  text.remove_prefix(digits);
  return value;
}

std::string LayerName(std::int32_t picture, std::int32_t frame, LayerKind kind,
                      const ArtFrameHeader& header) {
  std::string name = FrameName(picture, frame);
  const std::string size = Number(header.width) + " x " + Number(header.height);
  switch (kind) {
    case LayerKind::kPicture:
      break;
    case LayerKind::kNoPixels:
      name += std::string(kMarkStart) + "no pixels, " + size + ": kept as it is" + kMarkEnd;
      break;
    case LayerKind::kInvalidSize:
      name += std::string(kMarkStart) + "invalid size " + size + ": kept as it is" + kMarkEnd;
      break;
    case LayerKind::kTooLarge:
      name += std::string(kMarkStart) + "too large, " + size + ": kept as it is" + kMarkEnd;
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

std::optional<NamedFrame> ReadLayerName(std::string_view name) {
  if (!name.starts_with(kPictureWord)) {
    return std::nullopt;
  }
  name.remove_prefix(kPictureWord.size());
  const std::optional<std::int64_t> picture = TakeCount(name);
  if (!picture || !name.starts_with(kFrameWord)) {
    return std::nullopt;
  }
  name.remove_prefix(kFrameWord.size());
  const std::optional<std::int64_t> frame = TakeCount(name);
  if (!frame) {
    return std::nullopt;
  }
  NamedFrame read{{static_cast<std::int32_t>(*picture - 1), static_cast<std::int32_t>(*frame - 1)},
                  false};
  if (name.empty()) {
    return read;
  }
  if (name.starts_with(kMarkStart) && name.back() == kMarkEnd) {
    read.standsIn = true;
    return read;
  }
  return std::nullopt;
}

LayerTableResult TableOfLayers(const std::vector<LayerPixels>& layers) {
  LayerTableResult result;
  const std::string what = ", one layer a frame, numbered from 1 in each picture: ";
  const std::string advice = "add, remove or rename layers so, then export";
  std::map<std::pair<std::int64_t, std::int64_t>, std::size_t> named;
  LayerTable table;
  for (std::size_t i = 0; i < layers.size(); ++i) {
    const std::optional<NamedFrame> read = ReadLayerName(layers[i].name);
    if (!read) {
      result.error =
          "layer \"" + layers[i].name + "\" is not named \"Picture P Frame F\"" + what + advice;
      return result;
    }
    if (!named.emplace(std::pair{read->at.picture, read->at.frame}, i).second) {
      result.error = "two layers are named \"" + FrameName(read->at.picture, read->at.frame) +
                     "\"" + what + advice;
      return result;
    }
    table.standsIn.push_back(read->standsIn);
  }
  // Sorted by picture, then frame: each must follow the one before without a gap.
  std::vector<std::int64_t> lengths;
  for (const auto& [at, layer] : named) {
    const auto pictures = static_cast<std::int64_t>(lengths.size());
    if (at.first == pictures && at.second == 0) {
      lengths.push_back(1);
    } else if (at.first + 1 == pictures && at.second == lengths.back()) {
      ++lengths.back();
    } else {
      const bool inPicture = at.first + 1 == pictures;
      result.error = "no layer is named \"" +
                     FrameName(inPicture ? at.first : pictures, inPicture ? lengths.back() : 0) +
                     "\"" + what + advice;
      return result;
    }
  }
  const std::optional<ArtLayout> layout = LayoutOfPictures(lengths);
  if (!layout) {
    result.error = "the layers' names make " + PicturesText(lengths) +
                   ", a table that an .art file cannot hold: it holds " + kFormatTables + "; " +
                   advice;
    return result;
  }
  table.layout = *layout;
  table.frameOf.resize(layers.size());
  for (const auto& [at, layer] : named) {
    table.frameOf[layer] =
        static_cast<std::size_t>(at.first) * static_cast<std::size_t>(layout->framesPerPicture) +
        static_cast<std::size_t>(at.second);
  }
  result.table = std::move(table);
  return result;
}

namespace {

// The file made anew from the layers, by the rules of vostrel-pack --new: like (the image's own
// file, when it has one) gives the words, the palettes and the storage of the frames at its
// places; the colour map is the palette opened (palette 0 without like).
SaveResult MakeFile(const LayerTable& table, const ImagePixels& image, const Sprite* like,
                    std::int32_t opened) {
  NewSprite parts;
  parts.table = table.layout;
  parts.like = like;
  if (like != nullptr) {
    parts.palettes = like->palettes;
  } else {
    parts.palettes.emplace_back();
  }
  ArtPalette& palette = parts.palettes[static_cast<std::size_t>(opened - 1)];
  palette = PaletteOfColours(image.colourMap, FourthBytesOf(palette));
  parts.frames.resize(image.layers.size());
  for (std::size_t i = 0; i < image.layers.size(); ++i) {
    const std::size_t at = table.frameOf[i];
    const auto perPicture = static_cast<std::size_t>(table.layout.framesPerPicture);
    const auto picture = static_cast<std::int32_t>(at / perPicture);
    const auto frame = static_cast<std::int32_t>(at % perPicture);
    const SpriteFrame* was =
        like != nullptr && picture < like->pictures && frame < like->framesPerPicture
            ? &like->Frame(picture, frame)
            : nullptr;
    NewFrame& made = parts.frames[at];
    if (was != nullptr && table.standsIn[i] && LayerKindOf(was->header) != LayerKind::kPicture) {
      made.whole = *was;  // a layer that only stands in for its frame
      continue;
    }
    LayerIndices painted = IndicesOf(image.layers[i]);
    if (!painted.error.empty()) {
      return Refuse(std::move(painted.error));
    }
    made.width = image.layers[i].width;
    made.height = image.layers[i].height;
    made.indices = std::move(painted.indices);
    if (was != nullptr && MakesPicture(was->header)) {
      made.storage = StorageOf(was->header);
    }
  }
  SaveResult result;
  try {
    result.bytes = SerializeSprite(MakeSprite(std::move(parts)));
  } catch (const FrameTooLarge& large) {
    for (std::size_t i = 0; i < table.frameOf.size(); ++i) {
      if (table.frameOf[i] == large.frame) {
        return Refuse("layer \"" + image.layers[i].name +
                      "\" is too large for a frame of an .art file: scale it down, then export");
      }
    }
    throw;
  }
  result.made = true;
  result.framesReplaced = image.layers.size();
  return result;
}

}  // namespace

SaveResult BuildSavedFile(const std::optional<ArtSource>& source, const ImagePixels& image) {
  if (!image.indexed) {
    return Refuse(
        "the image is no longer indexed, and a frame holds indices into its palette: undo the "
        "change of mode (Edit > Undo History) so that the image is indexed again, then export");
  }
  const LayerTableResult table = TableOfLayers(image.layers);
  if (!table.table) {
    return Refuse(table.error);
  }
  if (!source) {
    if (image.colourMap.size() > kPaletteEntries * kRgbBytes) {
      return Refuse("the colour map has more than 256 entries, which no palette has");
    }
    return MakeFile(*table.table, image, nullptr, 1);
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
  if (image.colourMap.size() != kPaletteEntries * kRgbBytes) {
    return Refuse("the colour map has " +
                  Number(static_cast<std::int64_t>(image.colourMap.size() / kRgbBytes)) +
                  " entries where the palette has 256: undo the change to the colour map "
                  "(Edit > Undo History), or change colours in the colour map editor only, then "
                  "export");
  }
  const ArtLayout& layout = table.table->layout;
  if (layout.pictures != sprite.pictures || layout.framesPerPicture != sprite.framesPerPicture) {
    return MakeFile(*table.table, image, &sprite, source->palette);
  }
  SaveResult result;
  for (std::size_t i = 0; i < image.layers.size(); ++i) {
    SpriteFrame& frame = sprite.frames[table.table->frameOf[i]];
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
