// Maps a picture's pixels to the indices of a palette, for vostrel-pack: by colour, keeping a
// frame's own index where it still gives the colour, or an indexed picture's indices as they
// stand when its colour table agrees with the palette.
#include "packing/colour_map.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "sprite/palette.hpp"

namespace vostrel {

namespace {

// A colour as one number, to sort and compare by.
std::uint32_t ColourKey(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return (std::uint32_t{red} << 16) | (std::uint32_t{green} << 8) | blue;
}

std::uint32_t EntryColour(std::span<const std::uint8_t> palette, std::size_t index) {
  const Rgb colour = ColourAt(palette, index);
  return ColourKey(colour.red, colour.green, colour.blue);
}

// Each colour of the palette once, with the lowest index that holds it, sorted by colour.
class LowestIndexOf {
 public:
  explicit LowestIndexOf(std::span<const std::uint8_t> palette) {
    const std::size_t entries = palette.size() / kPaletteEntryBytes;
    for (std::size_t i = 0; i < entries; ++i) {
      colours_.emplace_back(EntryColour(palette, i), static_cast<std::uint8_t>(i));
    }
    // Stable, so that the first of equal colours is the lowest index.
    std::stable_sort(colours_.begin(), colours_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    colours_.erase(std::unique(colours_.begin(), colours_.end(),
                               [](const auto& a, const auto& b) { return a.first == b.first; }),
                   colours_.end());
  }

  // The index, or nothing when no entry holds the colour.
  const std::uint8_t* Find(std::uint32_t colour) const {
    const auto at =
        std::lower_bound(colours_.begin(), colours_.end(), colour,
                         [](const auto& entry, std::uint32_t c) { return entry.first < c; });
    return at != colours_.end() && at->first == colour ? &at->second : nullptr;
  }

 private:
  std::vector<std::pair<std::uint32_t, std::uint8_t>> colours_;
};

}  // namespace

PaletteMapping MapToPalette(std::span<const std::uint8_t> pixels, std::size_t width,
                            std::size_t channels, std::span<const std::uint8_t> palette,
                            std::span<const std::uint8_t> original) {
  if (channels < 3 || width == 0 || pixels.size() % (channels * width) != 0) {
    throw std::invalid_argument("pixels do not make rows of the given width");
  }
  const std::size_t count = pixels.size() / channels;
  if (!original.empty() && original.size() != count) {
    throw std::invalid_argument("original indices differ in number from the pixels");
  }
  const std::size_t entries = palette.size() / kPaletteEntryBytes;
  const LowestIndexOf lowest(palette);
  PaletteMapping mapping;
  mapping.indices.resize(count);
  // Sprites are mostly runs of one colour: the last answer is likely to be the next.
  std::uint32_t lastColour = 0;
  const std::uint8_t* lastIndex = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    const auto pixel = pixels.subspan(i * channels, 3);
    const std::uint32_t colour = ColourKey(pixel[0], pixel[1], pixel[2]);
    if (!original.empty() && original[i] < entries && EntryColour(palette, original[i]) == colour) {
      mapping.indices[i] = original[i];
      continue;
    }
    if (lastIndex == nullptr || colour != lastColour) {
      lastColour = colour;
      lastIndex = lowest.Find(colour);
    }
    if (lastIndex != nullptr) {
      mapping.indices[i] = *lastIndex;
    } else if (mapping.missing.pixels++ == 0) {
      mapping.missing.x = i % width;
      mapping.missing.y = i / width;
      mapping.missing.red = pixel[0];
      mapping.missing.green = pixel[1];
      mapping.missing.blue = pixel[2];
    }
  }
  return mapping;
}

bool TableAgrees(std::span<const bool, 256> used, std::span<const std::uint8_t> table,
                 std::span<const std::uint8_t> palette) {
  const std::size_t entries = palette.size() / kPaletteEntryBytes;
  for (std::size_t i = 0; i < used.size(); ++i) {
    if (used[i] && !(i < entries && (i + 1) * kPaletteEntryBytes <= table.size() &&
                     EntryColour(palette, i) == EntryColour(table, i))) {
      return false;
    }
  }
  return true;
}

PaletteMapping MapToPalette(const RgbPicture& picture, std::span<const std::uint8_t> palette,
                            std::span<const std::uint8_t> original) {
  if (!picture.indices.empty()) {
    std::array<bool, kPaletteEntries> used{};
    for (const std::uint8_t index : picture.indices) {
      used[index] = true;
    }
    if (TableAgrees(used, picture.colourTable, palette)) {
      return {picture.indices, {}};
    }
  }
  return MapToPalette(picture.Bytes(), static_cast<std::size_t>(picture.width),
                      static_cast<std::size_t>(picture.channels), palette, original);
}

}  // namespace vostrel
