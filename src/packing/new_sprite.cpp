// A new .ART file from a manifest and its sheets: the manifest read, the table and the frames'
// order taken from it, every sheet cut and read against its palette, and the sprite made by the
// sprite model's rules.
#include "packing/new_sprite.hpp"

#include <algorithm>
#include <climits>
#include <limits>
#include <map>
#include <memory>
#include <utility>

#include "formats/manifest/manifest_read.hpp"
#include "formats/picture/picture.hpp"
#include "io/checked.hpp"
#include "io/path.hpp"
#include "packing/sheet_cut.hpp"
#include "sprite/frame_rules.hpp"
#include "sprite/make_sprite.hpp"
#include "sprite/palette.hpp"

namespace vostrel {

namespace {

// Pixels the frames may hold beyond those of a sheet: frames shown twice (editors list a frame
// repeated once, at one rectangle) and the margins of trimmed frames. Past that, a manifest of a
// few bytes could make frames of gigabytes.
constexpr std::uint64_t kSpareFramePixels = std::uint64_t{1} << 26;
// Bytes of an entry of a PNG's colour table as a picture keeps it: blue, green, red, unused.
constexpr std::size_t kTableEntryBytes = 4;

std::string Size(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// The colours of a picture's colour table, red, green and blue each.
std::vector<std::uint8_t> ColoursOfTable(std::span<const std::uint8_t> table) {
  std::vector<std::uint8_t> rgb;
  for (std::size_t at = 0; at + kTableEntryBytes <= table.size(); at += kTableEntryBytes) {
    rgb.insert(rgb.end(), {table[at + kPaletteRedAt], table[at + kPaletteGreenAt],
                           table[at + kPaletteBlueAt]});
  }
  return rgb;
}

class NewArtMaker {
 public:
  NewArtMaker(const NewSpriteJob& job, Files& files) : job_(job), files_(files) {}

  NewSpriteOutcome Run() {
    if (files_.StatusOf(job_.output).kind == PathKind::kDirectory) {
      throw PackError(job_.output + ": is a directory; give the name of the .ART file to write");
    }
    ReadTheManifest();
    TakeTheTable();
    LoadLike();
    for (const PaletteFile& file : job_.paletteFiles) {
      if (file.palette >= static_cast<std::size_t>(kArtMaxPalettes)) {
        throw PackError(file.path + ": is given as palette " + std::to_string(file.palette) +
                        ", but an .ART file has at most " + std::to_string(kArtMaxPalettes) +
                        " palettes (0 to " + std::to_string(kArtMaxPalettes - 1) + ")");
      }
      paletteFiles_[file.palette] = ReadPaletteColours(files_, file.path);
    }
    if (manifest_.sheets.empty()) {
      RefuseManifest("names no sheet (meta.vostrel.sheets); name the sheet of each palette");
    }
    indices_.resize(manifest_.frames.size());
    for (const NewManifestSheet& sheet : manifest_.sheets) {
      ReadSheet(sheet);
    }
    NewSprite parts;
    parts.table = table_;
    if (manifest_.header) {
      parts.header = HeaderOfWords(*manifest_.header);
    }
    parts.like = like_ ? &*like_ : nullptr;
    parts.palettes = Palettes();
    for (std::size_t i = 0; i < order_.size(); ++i) {
      parts.frames.push_back(Frame(i));
    }
    Sprite sprite;
    try {
      sprite = MakeSprite(std::move(parts));
    } catch (const FrameTooLarge& large) {
      throw PackError(job_.manifest + ": " + Name(large.frame) +
                      " is too large to store run-length (its data would pass 2 GiB); give it "
                      "the storage \"raw\"");
    }
    Write(SerializeSprite(sprite));
    return {sprite.pictures, sprite.framesPerPicture, sprite.PaletteCount()};
  }

 private:
  [[noreturn]] void RefuseManifest(const std::string& what) const {
    throw PackError(job_.manifest + ": " + what);
  }

  void ReadTheManifest() {
    const ReadResult file = ReadWholeFile(files_, job_.manifest, kMaxNewManifestBytes);
    if (file.status == ReadStatus::kTooLarge) {
      RefuseManifest("is larger than a manifest of a sprite can be (" +
                     std::to_string(kMaxNewManifestBytes) +
                     " bytes); give the manifest of the sheets");
    }
    if (file.status != ReadStatus::kOk) {
      RefuseManifest("cannot be read; check its name and that you may read it");
    }
    try {
      manifest_ = ReadNewManifest(file.bytes);
    } catch (const ManifestError& error) {
      RefuseManifest(error.what());
    }
  }

  // The table, and which frame of the manifest each frame of the sprite is.
  void TakeTheTable() {
    const std::size_t count = manifest_.frames.size();
    std::optional<ArtLayout> layout;
    if (manifest_.ours) {
      layout = FormatLayout(manifest_.pictures, manifest_.framesPerPicture);
      if (!layout) {
        RefuseManifest("meta.vostrel gives " + std::to_string(manifest_.pictures) +
                       " pictures of " + std::to_string(manifest_.framesPerPicture) +
                       " frames, a table that an .ART file cannot hold: it holds " + kFormatTables +
                       "; make it 8 pictures, or 1 frame a picture");
      }
    } else if (manifest_.tags.empty()) {
      layout = FormatLayout(static_cast<std::int64_t>(count), 1);
    } else {
      std::vector<std::int64_t> lengths;
      for (const FrameTag& tag : manifest_.tags) {
        lengths.push_back(tag.to - tag.from + 1);
      }
      layout = LayoutOfPictures(lengths);
      if (!layout) {
        RefuseManifest("meta.frameTags make " + PicturesText(lengths) +
                       ", a table that an .ART file cannot hold: it holds " + kFormatTables +
                       "; tag the frames so, or give no tags");
      }
    }
    if (!layout) {
      RefuseManifest("lists " + std::to_string(count) + " frames, more than an .ART file holds");
    }
    table_ = *layout;
    if (manifest_.tags.empty()) {
      for (std::size_t j = 0; j < count; ++j) {
        order_.push_back(j);
      }
    } else {
      for (const FrameTag& tag : manifest_.tags) {
        for (std::int64_t j = tag.from; j <= tag.to; ++j) {
          order_.push_back(static_cast<std::size_t>(j));
        }
      }
    }
    placeOf_.resize(count);
    for (std::size_t i = 0; i < order_.size(); ++i) {
      placeOf_[order_[i]] = i;
    }
  }

  // A frame of the manifest in messages: its index in the manifest, then its picture and frame
  // in the sprite, from 0 as in the pictures' names.
  std::string Name(std::size_t i) const {
    const auto perPicture = static_cast<std::size_t>(std::max(table_.framesPerPicture, 1));
    return "frame " + std::to_string(order_[i]) + " (picture " + std::to_string(i / perPicture) +
           ", frame " + std::to_string(i % perPicture) + ")";
  }
  std::string NameOfListed(std::size_t j) const { return Name(placeOf_[j]); }

  void LoadLike() {
    if (!job_.like) {
      return;
    }
    const ReadResult file = ReadWholeFile(files_, *job_.like);
    if (file.status != ReadStatus::kOk) {
      throw PackError(*job_.like + ": cannot be read; check its name and that you may read it");
    }
    SpriteLoad load = ParseSprite(file.bytes);
    if (!load.sprite) {
      throw PackError(*job_.like + ": is not an .ART file that can be read (" +
                      ArtLoadErrorText(load.error) +
                      "); give an .ART file whose words the new one is to take");
    }
    like_ = std::move(load.sprite);
  }

  // The pixels the frames will hold: their rectangles, or the cells of trimmed ones.
  std::uint64_t FramePixelTotal() const {
    std::uint64_t total = 0;
    for (const NewManifestFrame& frame : manifest_.frames) {
      const auto [w, h] = frame.trimmed ? std::pair(frame.trimmed->width, frame.trimmed->height)
                                        : std::pair(frame.rect.w, frame.rect.h);
      // Each side is below 2^31, so the product fits; the sum may not.
      total = CheckedAdd(total, static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h))
                  .value_or(std::numeric_limits<std::uint64_t>::max());
    }
    return total;
  }

  RgbPicture DecodeSheet(const std::string& path) {
    const ReadResult file = ReadWholeFile(files_, path, static_cast<std::uint64_t>(INT_MAX));
    if (file.status == ReadStatus::kCannotOpen) {
      throw PackError(path + ": is missing or not a file; it is a sheet that " + job_.manifest +
                      " names: put it beside the manifest");
    }
    if (file.status == ReadStatus::kTooLarge) {
      throw PackError(path + ": is too large a file for a sheet (more than 2 GiB)");
    }
    if (file.status != ReadStatus::kOk) {
      throw PackError(path + ": cannot be read; check that you may read it");
    }
    try {
      return DecodePicture(file.bytes, kMaxPicturePixels, PictureOptions{.keepTransparency = true});
    } catch (const PictureError& error) {
      throw PackError(path + ": " + error.what());
    }
  }

  // Cuts every frame out of a sheet and reads it against the sheet's palette: its own colour
  // table where it has one, else the palette file given for it.
  void ReadSheet(const NewManifestSheet& entry) {
    const std::string path = JoinPath(SplitPath(job_.manifest).directory, entry.image);
    const RgbPicture sheet = DecodeSheet(path);
    const std::size_t k = entry.palette;
    ArtPalette reading{};
    if (!sheet.colourTable.empty()) {
      sheetColours_[k] = ColoursOfTable(sheet.colourTable);
      reading = PaletteOfColours(sheetColours_[k]);
    } else if (const auto file = paletteFiles_.find(k); file != paletteFiles_.end()) {
      reading = PaletteOfColours(file->second);
    } else {
      throw PackError(path + ": is not an indexed PNG, so it gives palette " + std::to_string(k) +
                      " no colours; give them with --palette " + std::to_string(k) +
                      "=FILE, or save the sheet as an indexed PNG");
    }
    const std::uint64_t sheetPixels = sheet.PixelCount();
    if (const std::uint64_t total = FramePixelTotal(); total > sheetPixels + kSpareFramePixels) {
      RefuseManifest("gives frames of " + std::to_string(total) + " pixels in all, far more than " +
                     path + " holds (" + std::to_string(sheetPixels) +
                     "): frames repeated or trimmed this much make no sprite; give each frame "
                     "its own rectangle");
    }
    const std::uint8_t transparent = Transparent();
    for (std::size_t j = 0; j < manifest_.frames.size(); ++j) {
      const SheetRect& rect = manifest_.frames[j].rect;
      if (rect.w == 0 || rect.h == 0) {
        continue;  // no pixels on the sheet
      }
      if (rect.x + rect.w > sheet.width || rect.y + rect.h > sheet.height) {
        RefuseManifest(NameOfListed(j) + " lies outside " + path + " (" + Size(rect.w, rect.h) +
                       " at x " + std::to_string(rect.x) + ", y " + std::to_string(rect.y) +
                       ", the sheet " + Size(sheet.width, sheet.height) +
                       "); give it a rectangle inside the sheet");
      }
      std::optional<std::vector<std::uint8_t>>& taken = indices_[j];
      const std::span<const std::uint8_t> hint =
          taken ? std::span<const std::uint8_t>(*taken) : std::span<const std::uint8_t>();
      Mapped mapped = MapCut(CutRect(sheet, rect), reading, transparent, hint);
      if (mapped.missing.pixels > 0) {
        const MissingColours& missing = mapped.missing;
        throw PackError(path + ": has " + PixelsText(missing.pixels) + " in colours that palette " +
                        std::to_string(k) + " does not hold in the rectangle of " +
                        NameOfListed(j) + ", the first at " +
                        PositionText(missing.x + static_cast<std::uint64_t>(rect.x),
                                     missing.y + static_cast<std::uint64_t>(rect.y)) +
                        " (" + ColourText(missing.red, missing.green, missing.blue) +
                        "); paint only with the palette's colours");
      }
      if (!taken) {
        taken = std::move(mapped.indices);
        takenFrom_[j] = path;
        continue;
      }
      const auto differs =
          std::mismatch(mapped.indices.begin(), mapped.indices.end(), taken->begin());
      if (differs.first != mapped.indices.end()) {
        const auto at = static_cast<std::uint64_t>(differs.first - mapped.indices.begin());
        const auto w = static_cast<std::uint64_t>(rect.w);
        throw PackError(path + ": differs from " + takenFrom_[j] + " in the rectangle of " +
                        NameOfListed(j) + ", the first at " +
                        PositionText(at % w + static_cast<std::uint64_t>(rect.x),
                                     at / w + static_cast<std::uint64_t>(rect.y)) +
                        "; a frame's sheets must show it alike, each in its palette");
      }
    }
  }

  std::uint8_t Transparent() const {
    return manifest_.transparent.value_or(job_.transparent.value_or(0));
  }

  // Palette k from its palette file, else from its sheet's colour table; its fourth bytes from
  // the manifest, else 0.
  std::vector<ArtPalette> Palettes() const {
    std::size_t count = static_cast<std::size_t>(manifest_.palettes);
    for (const NewManifestSheet& sheet : manifest_.sheets) {
      count = std::max(count, sheet.palette + 1);
    }
    for (const auto& [k, colours] : paletteFiles_) {
      count = std::max(count, k + 1);
    }
    if (count == 0) {
      RefuseManifest("gives no palette; name the sheet of each palette, or give --palette 0=FILE");
    }
    std::vector<ArtPalette> palettes;
    for (std::size_t k = 0; k < count; ++k) {
      std::vector<std::uint8_t> fourth;
      for (const NewManifestSheet& sheet : manifest_.sheets) {
        if (sheet.palette == k && sheet.fourthBytes) {
          fourth = *sheet.fourthBytes;
        }
      }
      if (const auto file = paletteFiles_.find(k); file != paletteFiles_.end()) {
        palettes.push_back(PaletteOfColours(file->second, fourth));
      } else if (const auto sheet = sheetColours_.find(k); sheet != sheetColours_.end()) {
        palettes.push_back(PaletteOfColours(sheet->second, fourth));
      } else {
        RefuseManifest("gives palette " + std::to_string(k) +
                       " no colours: no indexed sheet of it is named in meta.vostrel.sheets; "
                       "give it with --palette " +
                       std::to_string(k) + "=FILE");
      }
    }
    return palettes;
  }

  // Frame i of the sprite, from its frame of the manifest.
  NewFrame Frame(std::size_t i) {
    const std::size_t j = order_[i];
    const NewManifestFrame& listed = manifest_.frames[j];
    NewFrame frame;
    frame.words = listed.words;
    frame.storage = listed.storage;
    const SheetRect& rect = listed.rect;
    if (listed.trimmed) {
      // A frame that an editor trimmed: its cell, the rest of it transparent.
      const TrimmedFrame& cell = *listed.trimmed;
      frame.width = static_cast<std::int32_t>(cell.width);
      frame.height = static_cast<std::int32_t>(cell.height);
      if (cell.width == 0 || cell.height == 0) {
        return frame;
      }
      CheckPixels(i, cell.width, cell.height);
      std::vector<std::uint8_t> plane(
          static_cast<std::size_t>(cell.width) * static_cast<std::size_t>(cell.height),
          Transparent());
      if (indices_[j]) {
        const auto w = static_cast<std::size_t>(rect.w);
        for (std::size_t y = 0; y < static_cast<std::size_t>(rect.h); ++y) {
          std::copy_n(
              indices_[j]->begin() + static_cast<std::ptrdiff_t>(y * w), w,
              plane.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(cell.y) + y) *
                                                              static_cast<std::size_t>(cell.width) +
                                                          static_cast<std::size_t>(cell.x)));
        }
        indices_[j].reset();
      }
      frame.indices = std::move(plane);
      return frame;
    }
    if (rect.w == 0 || rect.h == 0) {
      // No pixels: the size stored, which may be one that makes no picture, else the rectangle's.
      frame.width = listed.storedWidth.value_or(static_cast<std::int32_t>(rect.w));
      frame.height = listed.storedHeight.value_or(static_cast<std::int32_t>(rect.h));
      ArtFrameHeader stored;
      stored.width = frame.width;
      stored.height = frame.height;
      if (MakesPicture(stored)) {
        RefuseManifest(Name(i) + " has no pixels on the sheets (" + Size(rect.w, rect.h) +
                       "), but a stored size of " + Size(frame.width, frame.height) +
                       " that has them; give it its rectangle, or a stored width or height of 0");
      }
      return frame;
    }
    frame.width = static_cast<std::int32_t>(rect.w);
    frame.height = static_cast<std::int32_t>(rect.h);
    CheckPixels(i, rect.w, rect.h);
    frame.indices = std::exchange(indices_[j], std::nullopt);
    return frame;
  }

  void CheckPixels(std::size_t i, std::int64_t width, std::int64_t height) const {
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) >
        kMaxPicturePixels) {
      RefuseManifest(Name(i) + " is " + Size(width, height) + ", more pixels than a frame holds (" +
                     std::to_string(kMaxPicturePixels) + "); make it smaller");
    }
  }

  void Write(const std::vector<std::uint8_t>& bytes) {
    if (FileHolds(files_, job_.output, bytes)) {
      return;
    }
    std::string failure;
    const std::unique_ptr<StagedWrite> staged = files_.Stage(job_.output, bytes, failure);
    if (!staged) {
      throw PackError(job_.output + ": cannot be written (" + failure +
                      "); check that its directory exists and that you may write there");
    }
    if (const auto reason = staged->Commit()) {
      throw PackError(job_.output + ": cannot be written (" + *reason +
                      "); check that you may write there, then make it again");
    }
  }

  const NewSpriteJob& job_;
  Files& files_;
  NewManifest manifest_;
  ArtLayout table_;
  std::vector<std::size_t> order_;    // the manifest's frame of each frame of the sprite
  std::vector<std::size_t> placeOf_;  // the sprite's frame of each frame of the manifest
  std::optional<Sprite> like_;
  std::map<std::size_t, PaletteColours> paletteFiles_;
  std::map<std::size_t, std::vector<std::uint8_t>> sheetColours_;  // of indexed sheets
  // Each frame of the manifest as the first sheet gave it, and that sheet.
  std::vector<std::optional<std::vector<std::uint8_t>>> indices_;
  std::map<std::size_t, std::string> takenFrom_;
};

}  // namespace

NewSpriteOutcome MakeNewArt(const NewSpriteJob& job, Files& files) {
  return NewArtMaker(job, files).Run();
}

}  // namespace vostrel
