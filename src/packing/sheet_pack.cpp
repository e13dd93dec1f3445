// Cutting the frames back out of sheets: each sheet checked against the manifest before a byte
// is sized from it, each rectangle mapped to its palette and compared with what was extracted.
#include "packing/sheet_pack.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <optional>
#include <utility>

#include "formats/picture/picture.hpp"
#include "formats/png/png_format.hpp"
#include "io/path.hpp"
#include "packing/colour_map.hpp"
#include "packing/pack.hpp"
#include "packing/sheet_cut.hpp"
#include "sprite/palette.hpp"

namespace vostrel {

namespace {

const char* const kExtractAgain = "; make the sheets again with vostrel-sheet";

std::string Size(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

std::string RectText(const SheetRect& rect) {
  return Size(rect.w, rect.h) + " at x " + std::to_string(rect.x) + ", y " + std::to_string(rect.y);
}

bool Overlap(const SheetRect& a, const SheetRect& b) {
  return a.w > 0 && a.h > 0 && b.w > 0 && b.h > 0 && a.x < b.x + b.w && b.x < a.x + a.w &&
         a.y < b.y + b.h && b.y < a.y + a.h;
}

class SheetReader {
 public:
  SheetReader(const std::string& manifestPath, const SheetSprite& sprite, Files& files)
      : sprite_(sprite), files_(files), manifestPath_(manifestPath) {
    reading_.manifestPath = manifestPath;
  }

  SheetReading Run() {
    ReadTheManifest();
    CheckFrames();
    std::vector<std::vector<std::uint8_t>> sheetBytes = CheckSheets();
    decoded_.resize(sprite_.frames.size());
    candidates_.resize(sprite_.frames.size());
    extractedOnly_.assign(sprite_.frames.size(), false);
    reading_.untouched.resize(manifest().sheets.size());
    for (std::size_t s = 0; s < sheetBytes.size(); ++s) {
      ReadSheet(s, std::exchange(sheetBytes[s], {}));
    }
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
      if (candidates_[i]) {
        reading_.edits.push_back(std::move(*candidates_[i]));
      }
    }
    return std::move(reading_);
  }

 private:
  const Manifest& manifest() const { return reading_.manifest; }

  [[noreturn]] void RefuseManifest(const std::string& what) const {
    throw PackError(reading_.manifestPath + ": " + what);
  }

  void ReadTheManifest() {
    const auto frames = static_cast<std::uint64_t>(sprite_.pictures) *
                        static_cast<std::uint64_t>(sprite_.framesPerPicture);
    const ReadResult file = ReadWholeFile(files_, reading_.manifestPath, MaxManifestBytes(frames));
    if (file.status == ReadStatus::kTooLarge) {
      RefuseManifest("is far larger than a manifest of " + std::to_string(frames) +
                     " frames can be; give the manifest made from " + sprite_.name);
    }
    if (file.status != ReadStatus::kOk) {
      RefuseManifest("cannot be read; check its name and that you may read it");
    }
    const ManifestExpectation expected{sprite_.name, sprite_.pictures, sprite_.framesPerPicture,
                                       static_cast<std::int64_t>(sprite_.palettes.size())};
    try {
      reading_.manifest = ReadManifest(file.bytes, expected);
    } catch (const ManifestError& error) {
      RefuseManifest(error.what());
    }
    if (manifest().sheets.empty()) {
      RefuseManifest("names no sheet" + std::string(kExtractAgain));
    }
    const std::uint64_t pixels = static_cast<std::uint64_t>(manifest().sheetWidth) *
                                 static_cast<std::uint64_t>(manifest().sheetHeight);
    if (pixels == 0 || pixels > kMaxPicturePixels) {
      RefuseManifest("gives the sheets a size of " +
                     Size(manifest().sheetWidth, manifest().sheetHeight) +
                     " (meta.size), which no sheet can have" + kExtractAgain);
    }
  }

  // Where each frame was put when the sheets were made: its rectangle's corner, at the size
  // that the file still gives it.
  SheetRect Original(std::size_t i) const {
    const SheetSprite::Frame& frame = sprite_.frames[i];
    const SheetRect& now = manifest().frames[i].rect;
    return frame.shown ? SheetRect{now.x, now.y, frame.width, frame.height}
                       : SheetRect{now.x, now.y, 0, 0};
  }

  void CheckFrames() {
    const std::vector<ManifestFrame>& frames = manifest().frames;
    std::vector<std::size_t> resized;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const SheetSprite::Frame& frame = sprite_.frames[i];
      const std::string name = FrameText(i, sprite_.framesPerPicture);
      if (frames[i].storedWidth != frame.width || frames[i].storedHeight != frame.height) {
        RefuseManifest(name + " was " + Size(frames[i].storedWidth, frames[i].storedHeight) +
                       " when the sheets were made, but is " + Size(frame.width, frame.height) +
                       " in " + sprite_.name +
                       "; give the manifest made from this file, or make the sheets again");
      }
      const SheetRect& rect = frames[i].rect;
      const SheetRect original = Original(i);
      for (const SheetRect* r : {&rect, &original}) {
        if (r->x + r->w > manifest().sheetWidth || r->y + r->h > manifest().sheetHeight) {
          RefuseManifest(name + " lies outside the sheets (" + RectText(*r) + ", the sheets " +
                         Size(manifest().sheetWidth, manifest().sheetHeight) +
                         "); give it a rectangle inside them");
        }
      }
      if (rect.w != original.w || rect.h != original.h) {
        if (!frame.shown || frame.width == 0 || frame.height == 0) {
          RefuseManifest(name + " has no pixels in " + sprite_.name + " (" +
                         Size(frame.width, frame.height) +
                         "), so it cannot change size; give it back w " +
                         std::to_string(original.w) + " and h " + std::to_string(original.h));
        }
        if (rect.w == 0 || rect.h == 0) {
          RefuseManifest(name + " is made " + Size(rect.w, rect.h) +
                         ", which holds no pixel; give it a width and height of at least 1");
        }
        resized.push_back(i);
        reading_.shrunk = reading_.shrunk || rect.w < original.w || rect.h < original.h;
      }
    }
    // A grown rectangle may take empty space, but no other frame's pixels, as they are now or
    // as they were extracted.
    for (const std::size_t i : resized) {
      for (std::size_t j = 0; j < frames.size(); ++j) {
        if (j != i &&
            (Overlap(frames[i].rect, frames[j].rect) || Overlap(frames[i].rect, Original(j)))) {
          RefuseManifest(FrameText(i, sprite_.framesPerPicture) + " (" + RectText(frames[i].rect) +
                         ") overlaps " + FrameText(j, sprite_.framesPerPicture) + " (" +
                         RectText(frames[j].rect) +
                         "); grow a frame only into space that no other frame takes");
        }
      }
    }
    reading_.resized = !resized.empty();
  }

  std::string SheetPath(std::size_t s) const {
    return JoinPath(SplitPath(manifestPath_).directory, manifest().sheets[s].image);
  }

  // Every sheet's bytes, each checked to be a PNG of meta.size before any is decoded.
  std::vector<std::vector<std::uint8_t>> CheckSheets() {
    std::vector<std::vector<std::uint8_t>> sheets;
    for (std::size_t s = 0; s < manifest().sheets.size(); ++s) {
      const std::string path = SheetPath(s);
      ReadResult file = ReadWholeFile(files_, path, static_cast<std::uint64_t>(INT_MAX));
      if (file.status == ReadStatus::kCannotOpen) {
        throw PackError(path + ": is missing or not a file; it is a sheet that " +
                        reading_.manifestPath + " names: put it back, or make the sheets again");
      }
      if (file.status == ReadStatus::kTooLarge) {
        throw PackError(path + ": is too large a file for a sheet (more than 2 GiB)");
      }
      if (file.status != ReadStatus::kOk) {
        throw PackError(path + ": cannot be read; check that you may read it");
      }
      const std::optional<PngHeader> header = ReadPngHeader(file.bytes);
      if (!header) {
        throw PackError(path + ": is not a PNG; save the sheet as PNG, under its name");
      }
      const std::uint32_t width = header->width;
      const std::uint32_t height = header->height;
      if (width != manifest().sheetWidth || height != manifest().sheetHeight) {
        throw PackError(path + ": is " + Size(width, height) + " pixels, but " +
                        reading_.manifestPath + " gives the sheets " +
                        Size(manifest().sheetWidth, manifest().sheetHeight) +
                        " (meta.size); keep the sheet's size when editing it");
      }
      sheets.push_back(std::move(file.bytes));
    }
    return sheets;
  }

  const std::vector<std::uint8_t>& Decoded(std::size_t i) {
    if (!decoded_[i]) {
      decoded_[i] = sprite_.frames[i].shown ? sprite_.indicesOf(i) : std::vector<std::uint8_t>();
    }
    return *decoded_[i];
  }

  // What vostrel-sheet wrote in frame i's rectangle: the frame at its top left, the transparent
  // index (or 0) around it.
  std::vector<std::uint8_t> Extracted(std::size_t i) {
    const SheetRect& rect = manifest().frames[i].rect;
    const SheetRect original = Original(i);
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(rect.w * rect.h),
                                    manifest().transparent.value_or(0));
    const std::vector<std::uint8_t>& frame = Decoded(i);
    const std::int64_t w = std::min(rect.w, original.w);
    const std::int64_t h = std::min(rect.h, original.h);
    for (std::int64_t y = 0; y < h; ++y) {
      std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(y * original.w), w,
                  plane.begin() + static_cast<std::ptrdiff_t>(y * rect.w));
    }
    return plane;
  }

  void ReadSheet(std::size_t s, std::vector<std::uint8_t> bytes) {
    const std::string path = SheetPath(s);
    const std::size_t k = manifest().sheets[s].palette;
    const std::span<const std::uint8_t> palette = sprite_.palettes[k];
    RgbPicture sheet;
    try {
      sheet = DecodePicture(bytes, kMaxPicturePixels, PictureOptions{.keepTransparency = true});
    } catch (const PictureError& error) {
      throw PackError(path + ": " + error.what());
    }
    bytes = {};
    const std::vector<ManifestFrame>& frames = manifest().frames;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const SheetRect& rect = frames[i].rect;
      if (rect.w == 0 || rect.h == 0) {
        continue;  // a frame without pixels, shown as nothing
      }
      const std::vector<std::uint8_t> extracted = Extracted(i);
      Mapped mapped = MapCut(CutRect(sheet, rect), palette, manifest().transparent, extracted);
      if (mapped.missing.pixels > 0) {
        const MissingColours& missing = mapped.missing;
        throw PackError(path + ": has " + PixelsText(missing.pixels) + " in colours that palette " +
                        std::to_string(k) + " of " + sprite_.name +
                        " does not hold in the rectangle of " +
                        FrameText(i, sprite_.framesPerPicture) + ", the first at " +
                        PositionText(missing.x + static_cast<std::uint64_t>(rect.x),
                                     missing.y + static_cast<std::uint64_t>(rect.y)) +
                        " (" + ColourText(missing.red, missing.green, missing.blue) +
                        "); paint only with the palette's colours");
      }
      const bool resized = rect.w != Original(i).w || rect.h != Original(i).h;
      if (mapped.indices == extracted) {
        reading_.untouched[s].push_back(i);
        if (resized && !candidates_[i]) {
          // The rectangle as extracted is the frame's new pixels unless a sheet was edited.
          extractedOnly_[i] = true;
          candidates_[i] =
              SheetEdit{i, static_cast<std::int32_t>(rect.w), static_cast<std::int32_t>(rect.h),
                        std::move(mapped.indices), path};
        }
        continue;
      }
      Take(i,
           SheetEdit{i, static_cast<std::int32_t>(rect.w), static_cast<std::int32_t>(rect.h),
                     std::move(mapped.indices), path},
           sheet, rect);
    }
  }

  // An edit of frame i in one sheet: the first one taken, later ones checked against it.
  void Take(std::size_t i, SheetEdit edit, const RgbPicture& sheet, const SheetRect& rect) {
    std::optional<SheetEdit>& taken = candidates_[i];
    if (!taken || extractedOnly_[i]) {
      extractedOnly_[i] = false;
      taken = std::move(edit);
      return;
    }
    const auto differs =
        std::mismatch(edit.indices.begin(), edit.indices.end(), taken->indices.begin());
    if (differs.first == edit.indices.end()) {
      return;
    }
    const auto at = static_cast<std::size_t>(differs.first - edit.indices.begin());
    const std::uint64_t x =
        at % static_cast<std::size_t>(rect.w) + static_cast<std::uint64_t>(rect.x);
    const std::uint64_t y =
        at / static_cast<std::size_t>(rect.w) + static_cast<std::uint64_t>(rect.y);
    const auto channels = static_cast<std::size_t>(sheet.channels);
    const auto pixel =
        std::span(sheet.pixels)
            .subspan(static_cast<std::size_t>((y * static_cast<std::uint64_t>(sheet.width) + x) *
                                              channels),
                     3);
    throw PackError(edit.from + ": differs from " + taken->from + ", also edited, in the " +
                    "rectangle of " + FrameText(i, sprite_.framesPerPicture) + ", the first at " +
                    PositionText(x, y) + " (" + ColourText(pixel[0], pixel[1], pixel[2]) +
                    "); edit a frame in one palette's sheet and leave the others as extracted, "
                    "or make the edited ones agree");
  }

  const SheetSprite& sprite_;
  Files& files_;
  std::string manifestPath_;
  SheetReading reading_;
  std::vector<std::optional<std::vector<std::uint8_t>>> decoded_;
  std::vector<std::optional<SheetEdit>> candidates_;
  // Frames whose candidate is only their grown rectangle as extracted, which an edit replaces.
  std::vector<bool> extractedOnly_;
};

}  // namespace

SheetReading ReadSheetEdits(const std::string& manifestPath, const SheetSprite& sprite,
                            Files& files) {
  return SheetReader(manifestPath, sprite, files).Run();
}

}  // namespace vostrel
