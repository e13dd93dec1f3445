// Making a sprite that no file held before (see make_sprite.hpp).
#include "sprite/make_sprite.hpp"

#include <algorithm>
#include <limits>
#include <utility>

#include "sprite/frame_rules.hpp"

namespace vostrel {

namespace {

// The flags a new header takes for each kind of table, where its own give another.
constexpr std::int32_t kEightPictureFlags = 0;
constexpr std::int32_t kOneFrameFlags = 1;
constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// Whether flags give the eight-picture layout, by the format's one layout rule: with a frame
// count of 0 the other layout has no picture.
bool GiveEightPictures(std::int32_t flags) {
  ArtHeader probe;
  probe.flags = flags;
  return LayoutOf(probe)->pictures == kEightPictureCount;
}

ArtHeader Agreeing(ArtHeader header, const ArtLayout& table, std::int32_t palettes) {
  bool eight = GiveEightPictures(header.flags);
  if (eight ? table.pictures != kEightPictureCount : table.framesPerPicture != 1) {
    eight = table.pictures == kEightPictureCount;
    header.flags = eight ? kEightPictureFlags : kOneFrameFlags;
  }
  header.frameCount = eight ? table.framesPerPicture : table.pictures;
  if (CountPalettes(header) != palettes) {
    for (std::size_t k = 0; k < header.palettePresent.size(); ++k) {
      header.palettePresent[k] = static_cast<std::int32_t>(k) < palettes ? 1 : 0;
    }
  }
  return header;
}

}  // namespace

std::optional<ArtLayout> FormatLayout(std::int64_t pictures, std::int64_t framesPerPicture) {
  if (pictures < 0 || framesPerPicture < 0 || pictures > kMaxCount ||
      framesPerPicture > kMaxCount || (pictures != kEightPictureCount && framesPerPicture != 1)) {
    return std::nullopt;
  }
  return ArtLayout{static_cast<std::int32_t>(pictures),
                   static_cast<std::int32_t>(framesPerPicture)};
}

std::optional<ArtLayout> LayoutOfPictures(std::span<const std::int64_t> lengths) {
  if (lengths.empty()) {
    return std::nullopt;
  }
  const auto allOf = [&](std::int64_t length) {
    return std::all_of(lengths.begin(), lengths.end(),
                       [length](std::int64_t l) { return l == length; });
  };
  if (allOf(1)) {
    return FormatLayout(static_cast<std::int64_t>(lengths.size()), 1);
  }
  if (lengths.size() == static_cast<std::size_t>(kEightPictureCount) && allOf(lengths.front())) {
    return FormatLayout(kEightPictureCount, lengths.front());
  }
  return std::nullopt;
}

std::string PicturesText(std::span<const std::int64_t> lengths) {
  constexpr std::size_t kShown = 8;
  std::string text =
      std::to_string(lengths.size()) + (lengths.size() == 1 ? " picture" : " pictures");
  for (std::size_t i = 0; i < std::min(lengths.size(), kShown); ++i) {
    text += i == 0 ? ", of " : i + 1 == lengths.size() ? " and " : ", ";
    text += std::to_string(lengths[i]);
  }
  text += lengths.size() > kShown ? ", ... frames" : lengths.empty() ? "" : " frames";
  return text;
}

Sprite MakeSprite(NewSprite parts) {
  const ArtLayout& table = parts.table;
  if (!FormatLayout(table.pictures, table.framesPerPicture) ||
      parts.frames.size() != static_cast<std::size_t>(table.pictures) *
                                 static_cast<std::size_t>(table.framesPerPicture) ||
      parts.palettes.size() > static_cast<std::size_t>(kArtMaxPalettes)) {
    throw std::invalid_argument("frames or palettes that do not fit the table and the format");
  }
  Sprite sprite;
  sprite.pictures = table.pictures;
  sprite.framesPerPicture = table.framesPerPicture;
  sprite.palettes = std::move(parts.palettes);
  const ArtHeader given = parts.header ? *parts.header
                          : parts.like ? parts.like->header
                                       : ArtHeader{};
  sprite.header = Agreeing(given, table, sprite.PaletteCount());
  sprite.frames.resize(parts.frames.size());
  const Sprite* like = parts.like;
  for (std::int32_t p = 0; p < table.pictures; ++p) {
    for (std::int32_t f = 0; f < table.framesPerPicture; ++f) {
      const std::size_t i =
          static_cast<std::size_t>(p) * static_cast<std::size_t>(table.framesPerPicture) +
          static_cast<std::size_t>(f);
      NewFrame frame = std::exchange(parts.frames[i], {});
      if (frame.whole) {
        sprite.frames[i] = std::move(*frame.whole);
        continue;
      }
      ArtFrameWords words{};
      if (frame.words) {
        words = *frame.words;
      } else if (like != nullptr && p < like->pictures && f < like->framesPerPicture) {
        words = like->Frame(p, f).header.unknown;
      } else if (f > 0) {
        words = sprite.frames[i - 1].header.unknown;
      }
      SpriteFrame& made = sprite.frames[i];
      if (!frame.indices) {
        made.header.width = frame.width;
        made.header.height = frame.height;
        made.header.unknown = words;
        continue;
      }
      ArtFrameHeader size;
      size.width = frame.width;
      size.height = frame.height;
      if (!MakesPicture(size) ||
          frame.indices->size() != static_cast<std::size_t>(*FramePixels(size))) {
        throw std::invalid_argument("a frame's pixels differ from its size");
      }
      std::optional<SpriteFrame> stored =
          FrameOfPixels(frame.width, frame.height, *frame.indices, frame.storage, words);
      if (!stored) {
        throw FrameTooLarge(i);
      }
      made = std::move(*stored);
    }
  }
  return sprite;
}

}  // namespace vostrel
