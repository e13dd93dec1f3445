// The packing of one .ART file: edited pictures mapped to their palettes and put back, and the
// pictures of the frames replaced brought up to date.
#include "packing/pack.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "formats/palette_files/palette_files_read.hpp"
#include "formats/picture/picture.hpp"
#include "io/checked.hpp"
#include "io/files.hpp"
#include "io/path.hpp"
#include "packing/colour_map.hpp"
#include "packing/found_pictures.hpp"
#include "packing/refresh.hpp"
#include "packing/sheet_pack.hpp"
#include "packing/sheet_refresh.hpp"
#include "sprite/frame_rules.hpp"
#include "sprite/palette.hpp"
#include "sprite/picture_names.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

namespace {

// The original, read and parsed; its bytes are kept to be written back as they are when no
// frame is replaced.
struct Original {
  Sprite sprite;
  std::vector<std::uint8_t> bytes;
};

// Exhausted memory is thrown on (std::bad_alloc), never taken for a damaged file.
Original LoadOriginal(Files& files, const std::string& path) {
  ReadResult file = ReadWholeFile(files, path);
  if (file.status != ReadStatus::kOk) {
    throw PackError(path + ": cannot be read; check its name and that you may read it");
  }
  SpriteLoad load = ParseSprite(file.bytes);
  if (!load.sprite) {
    throw PackError(path +
                    ": is not an .ART file that can be read (damaged or cut short in its "
                    "header or tables); give the file the pictures were extracted from");
  }
  // The parser reads the missing bytes of a file that ends inside its frame data as zeros;
  // written back, they would pass for the sprite's own.
  const std::uint64_t announced = AnnouncedSize(*load.sprite);
  if (file.bytes.size() < announced) {
    throw PackError(path + ": ends early: its frame data lacks " +
                    std::to_string(announced - file.bytes.size()) +
                    " bytes; give a complete copy of the file");
  }
  return {std::move(*load.sprite), std::move(file.bytes)};
}

std::size_t Count(std::int32_t count) { return static_cast<std::size_t>(count); }

std::string Hex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  std::array<char, 8> text{};
  std::snprintf(text.data(), text.size(), "#%02X%02X%02X", red, green, blue);
  return text.data();
}

std::string Size(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// Whether the picture listed at path is still there; throws when it is not a file.
bool StillThere(Files& files, const std::string& path) {
  const PathStatus status = files.StatusOf(path);
  switch (status.kind) {
    case PathKind::kMissing:
      return false;
    case PathKind::kUnknown:
      throw PackError(path + ": cannot be looked at (" + status.reason +
                      "); check that you may read the pictures' directory");
    case PathKind::kRegularFile:
      return true;
    case PathKind::kDirectory:
    case PathKind::kOther:
      break;
  }
  throw PackError(path + ": is not a file; move it out of the way");
}

RgbPicture ReadPicture(Files& files, const std::string& path) {
  const ReadResult file = ReadWholeFile(files, path, static_cast<std::uint64_t>(INT_MAX));
  if (file.status == ReadStatus::kTooLarge) {
    throw PackError(path + ": is too large a file for a picture (more than 2 GiB)");
  }
  if (file.status != ReadStatus::kOk) {
    throw PackError(path + ": cannot be read; check that you may read it");
  }
  try {
    return DecodePicture(file.bytes);
  } catch (const PictureError& error) {
    throw PackError(path + ": " + error.what());
  }
}

struct EditedFrame {
  std::string path;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> indices;
};

// Throws unless the second edit of a frame gives what the first gave.
void CheckAgreement(const EditedFrame& first, const EditedFrame& other,
                    const RgbPicture& otherPicture) {
  const std::string advice =
      "; edit one palette's picture of a frame and leave the others as extracted, or make the "
      "edited ones agree";
  if (first.width != other.width || first.height != other.height) {
    throw PackError(other.path + ": is " + Size(other.width, other.height) + " pixels, but " +
                    first.path + ", also edited, is " + Size(first.width, first.height) + advice);
  }
  std::uint64_t differing = 0;
  std::size_t firstAt = 0;
  for (std::size_t i = 0; i < other.indices.size(); ++i) {
    if (other.indices[i] != first.indices[i] && differing++ == 0) {
      firstAt = i;
    }
  }
  if (differing > 0) {
    const auto width = static_cast<std::size_t>(other.width);
    const auto pixel =
        otherPicture.Bytes().subspan(firstAt * static_cast<std::size_t>(otherPicture.channels), 3);
    throw PackError(other.path + ": has " + PixelsText(differing) + " unlike " + first.path +
                    ", also edited, the first at " +
                    PositionText(firstAt % width, firstAt / width) + " (" +
                    Hex(pixel[0], pixel[1], pixel[2]) + ")" + advice);
  }
}

class Packer {
 public:
  Packer(const PackJob& job, const PackReport& report, Files& files)
      : job_(job),
        report_(report),
        warn_(report.warn),
        files_(files),
        original_(LoadOriginal(files, job.original)),
        sprite_(original_.sprite),
        stem_(SplitPath(job.original).stem) {
    // A manifest (.json) where the pictures' directory would be stands for the sheets beside it;
    // anything else must be the pictures' directory, as it always was.
    sheets_ = EndsWithIgnoringCase(job.picturesDir, kManifestExtension);
    const PathKind kind = files_.StatusOf(job.picturesDir).kind;
    if (sheets_ && kind != PathKind::kRegularFile) {
      throw PackError(job.picturesDir +
                      ": is not a file; give the manifest that vostrel-sheet wrote beside the "
                      "sheets");
    }
    if (!sheets_ && kind != PathKind::kDirectory) {
      throw PackError(job.picturesDir +
                      ": is not a directory; give the directory that holds the pictures");
    }
    if (files_.StatusOf(job.output).kind == PathKind::kDirectory) {
      throw PackError(job.output +
                      ": is a directory; give the name of the .ART file to write, such as " +
                      JoinPath(job.output, SplitPath(job.original).name));
    }
    if (sheets_) {
      return;
    }
    std::optional<PictureNames> names = PictureNames::List(files_, job.picturesDir, stem_);
    if (!names) {
      throw PackError(job.picturesDir +
                      ": cannot be listed; check that you may read the pictures' directory");
    }
    names_ = std::move(*names);
  }

  PackOutcome Run() {
    PackOutcome outcome;
    if (sheets_) {
      PackSheets(outcome);
    } else {
      RefuseWithoutPictures();
      for (std::size_t p = 0; p < Count(sprite_.pictures); ++p) {
        for (std::size_t f = 0; f < Count(sprite_.framesPerPicture); ++f) {
          ++outcome.frames;
          if (PackFrame(p, f)) {
            ++outcome.replaced;
            outcome.replacedFrames.push_back({p, f});
          }
        }
      }
    }
    // After the frames: pictures are read against the original's palettes.
    outcome.palettesReplaced = PutPalettes();
    if (!sheets_) {
      RefreshPalettePictures(outcome.palettesReplaced);
    }
    // With nothing replaced, OUTPUT is a copy: packing in place then leaves the file alone.
    const std::vector<std::uint8_t> bytes =
        outcome.replaced == 0 && outcome.palettesReplaced.empty() ? std::move(original_.bytes)
                                                                  : SerializeSprite(sprite_);
    // OUTPUT is made complete beside itself first, then the pictures are brought up to date,
    // and only then is it put in place: however the run ends, the pictures never show a
    // frame older than the file, which a later pack would take for an edit. (Pictures ahead of
    // the file merely carry the edit again.)
    const bool alreadyThere = FileHolds(files_, job_.output, bytes);
    std::string failure;
    const std::unique_ptr<StagedWrite> staged =
        alreadyThere ? nullptr : files_.Stage(job_.output, bytes, failure);
    if (!alreadyThere && !staged) {
      throw PackError(job_.output + ": cannot be written (" + failure +
                      "); check that its directory exists and that you may write there");
    }
    if (sheets_) {
      SheetRefresh refresh{bytes, {}, outcome.palettesReplaced, job_.output};
      for (const FramePosition& frame : outcome.replacedFrames) {
        refresh.replacedFrames.push_back(frame.picture * Count(sprite_.framesPerPicture) +
                                         frame.frame);
      }
      outcome.updatedPictures = RefreshSheets(*sheetReading_, refresh, warn_, files_);
    } else {
      outcome.updatedPictures = RefreshPictures(replaced_, sprite_.palettes, job_.picturesDir,
                                                job_.output, warn_, files_);
      const std::vector<std::string> paletteFiles = RefreshPaletteFiles(
          job_.picturesDir, stem_, bytes, outcome.palettesReplaced, warn_, files_);
      outcome.updatedPictures.insert(outcome.updatedPictures.end(), paletteFiles.begin(),
                                     paletteFiles.end());
    }
    if (staged) {
      if (const auto reason = staged->Commit()) {
        throw PackError(job_.output + ": cannot be written (" + *reason +
                        "); check that you may write there, then pack again");
      }
    }
    if (report_.written) {
      report_.written(outcome);
    }
    for (const std::string& path : outcome.updatedPictures) {
      if (report_.updated) {
        report_.updated(path);
      }
    }
    return outcome;
  }

 private:
  std::vector<FoundPicture> FindPictures(std::size_t p, std::size_t f) const {
    std::vector<FoundPicture> found = names_.Of(p, f, sprite_.palettes.size());
    std::erase_if(
        found, [this](const FoundPicture& picture) { return !StillThere(files_, picture.path); });
    return found;
  }

  // A directory without a single picture of the original's names is the wrong one (or the
  // original was renamed since): packing from it would only copy the file.
  void RefuseWithoutPictures() const {
    const std::size_t pictures = Count(sprite_.pictures);
    const std::size_t frames = Count(sprite_.framesPerPicture);
    const std::size_t palettes = sprite_.palettes.size();
    for (std::size_t p = 0; p < pictures; ++p) {
      for (std::size_t f = 0; f < frames; ++f) {
        if (!names_.Of(p, f, palettes).empty()) {
          return;
        }
      }
    }
    const auto upTo = [](const char* letter, std::size_t count) {
      return std::string(letter) +
             (count == 0 ? " none" : " from 0 to " + std::to_string(count - 1));
    };
    throw PackError(job_.picturesDir + ": holds no picture of " + job_.original + ": looked for " +
                    stem_ + "_P_F_K.bmp or .png (" + upTo("P", pictures) + ", " +
                    upTo("F", frames) + ", " + upTo("K", palettes) +
                    "; the extension in any case); give the directory its pictures were "
                    "extracted into");
  }

  // Replaces frame f of picture p by its edited pictures, if it has any; true if it did.
  bool PackFrame(std::size_t p, std::size_t f) {
    const std::vector<FoundPicture> found = FindPictures(p, f);
    if (found.empty()) {
      return false;
    }
    SpriteFrame& stored = sprite_.frames[p * Count(sprite_.framesPerPicture) + f];
    const ArtFrameHeader& frame = stored.header;
    if (!MakesPicture(frame)) {
      const std::string what = frame.width == 0 || frame.height == 0
                                   ? "has no pixels"
                                   : "has a size that makes no picture";
      for (const FoundPicture& picture : found) {
        // The picture's name says which frame; numbers of its own here could be read against
        // the converter's, which count from 1.
        warn_(picture.path + ": ignored: its frame in " + job_.original + " " + what + " (" +
              Size(frame.width, frame.height) + "), so the frame is copied unchanged");
      }
      return false;
    }
    // Decoded only once a picture of the frame's size needs it: a small file may announce a
    // frame of gigabytes that no picture has.
    std::optional<std::vector<std::uint8_t>> original;

    std::optional<EditedFrame> edited;
    std::vector<FoundPicture> untouched;
    for (const FoundPicture& file : found) {
      const RgbPicture picture = ReadPicture(files_, file.path);
      const bool sameSize = picture.width == frame.width && picture.height == frame.height;
      if (sameSize && !original) {
        original.emplace();
        DecodeFrame(frame, stored.data, *original);
      }
      PaletteMapping mapping = MapToPalette(
          picture, PaletteOf(file.palette),
          sameSize ? std::span<const std::uint8_t>(*original) : std::span<const std::uint8_t>());
      if (mapping.missing.pixels > 0) {
        const MissingColours& missing = mapping.missing;
        throw PackError(file.path + ": has " + PixelsText(missing.pixels) +
                        " in colours that palette " + std::to_string(file.palette) + " of " +
                        job_.original + " does not hold, the first at " +
                        PositionText(missing.x, missing.y) + " (" +
                        Hex(missing.red, missing.green, missing.blue) +
                        "); paint only with the palette's colours");
      }
      if (sameSize && mapping.indices == *original) {
        untouched.push_back(file);  // it shows the frame as it was: out of date once replaced
        continue;
      }
      EditedFrame candidate{file.path, picture.width, picture.height, std::move(mapping.indices)};
      if (edited) {
        CheckAgreement(*edited, candidate, picture);
      } else {
        edited = std::move(candidate);
      }
    }
    if (!edited) {
      return false;
    }
    if (!ReplaceFramePixels(stored, edited->width, edited->height, edited->indices)) {
      throw PackError(edited->path + ": is too large for a frame of an .ART file");
    }
    replaced_.push_back(
        {edited->width, edited->height, std::move(edited->indices), std::move(untouched)});
    return true;
  }

  std::span<const std::uint8_t> PaletteOf(std::size_t k) const { return sprite_.palettes[k]; }

  // The frame's indices as they now stand in sprite_; empty for a frame that shows no picture.
  std::vector<std::uint8_t> CurrentIndices(std::size_t i) const {
    const SpriteFrame& frame = sprite_.frames[i];
    std::vector<std::uint8_t> plane;
    if (MakesPicture(frame.header)) {
      DecodeFrame(frame.header, frame.data, plane);
    }
    return plane;
  }

  // Takes the frames edited in the sheets that the manifest job_.picturesDir describes.
  void PackSheets(PackOutcome& outcome) {
    const std::size_t framesPerPicture = Count(sprite_.framesPerPicture);
    SheetSprite sheets;
    sheets.name = SplitPath(job_.original).name;
    sheets.pictures = sprite_.pictures;
    sheets.framesPerPicture = sprite_.framesPerPicture;
    for (const ArtPalette& palette : sprite_.palettes) {
      sheets.palettes.push_back(palette);
    }
    for (const SpriteFrame& frame : sprite_.frames) {
      sheets.frames.push_back(
          {frame.header.width, frame.header.height, MakesPicture(frame.header)});
    }
    sheets.indicesOf = [this](std::size_t i) { return CurrentIndices(i); };
    SheetReading reading = ReadSheetEdits(job_.picturesDir, sheets, files_);
    outcome.frames = sprite_.frames.size();
    for (const SheetEdit& edit : reading.edits) {
      SpriteFrame& stored = sprite_.frames[edit.frame];
      if (!ReplaceFramePixels(stored, edit.width, edit.height, edit.indices)) {
        throw PackError(edit.from + ": is too large for a frame of an .ART file");
      }
      ++outcome.replaced;
      outcome.replacedFrames.push_back(
          {edit.frame / framesPerPicture, edit.frame % framesPerPicture});
    }
    sheetReading_ = std::move(reading);
  }

  // Gives the palettes of job_.paletteFiles their files' colours, each entry keeping its fourth
  // byte. Returns the palettes that changed.
  std::vector<std::size_t> PutPalettes() {
    const std::vector<ArtPalette> before = sprite_.palettes;
    const std::size_t count = sprite_.palettes.size();
    for (const PaletteFile& file : job_.paletteFiles) {
      if (file.palette >= count) {
        throw PackError(
            file.path + ": is given as palette " + std::to_string(file.palette) + ", but " +
            job_.original + " has " +
            (count == 0 ? std::string("no palette")
                        : std::to_string(count) + " (0 to " + std::to_string(count - 1) + ")") +
            "; give one of its palettes");
      }
      SetRgb(sprite_.palettes[file.palette], ReadPaletteColours(files_, file.path));
    }
    std::vector<std::size_t> changed;
    for (std::size_t k = 0; k < count; ++k) {
      if (sprite_.palettes[k] != before[k]) {
        changed.push_back(k);
      }
    }
    return changed;
  }

  // Every picture of a replaced palette shows the old colours: each is to be rewritten.
  void RefreshPalettePictures(const std::vector<std::size_t>& changed) {
    if (changed.empty()) {
      return;
    }
    for (std::size_t p = 0; p < Count(sprite_.pictures); ++p) {
      for (std::size_t f = 0; f < Count(sprite_.framesPerPicture); ++f) {
        std::vector<FoundPicture> pictures = FindPictures(p, f);
        std::erase_if(pictures, [&](const FoundPicture& picture) {
          return std::find(changed.begin(), changed.end(), picture.palette) == changed.end();
        });
        const std::size_t i = p * Count(sprite_.framesPerPicture) + f;
        const ArtFrameHeader& frame = sprite_.frames[i].header;
        if (pictures.empty() || !MakesPicture(frame)) {
          continue;
        }
        replaced_.push_back({frame.width, frame.height, CurrentIndices(i), std::move(pictures)});
      }
    }
  }

  const PackJob& job_;
  const PackReport& report_;
  const PackWarning& warn_;
  Files& files_;
  Original original_;
  // The original's sprite; the frames that take an edit are replaced in it, and it is what is
  // written.
  Sprite& sprite_;
  std::string stem_;
  PictureNames names_;
  std::vector<ReplacedFrame> replaced_;
  bool sheets_ = false;  // whether the edits come from sheets rather than pictures
  std::optional<SheetReading> sheetReading_;
};

}  // namespace

PaletteColours ReadPaletteColours(Files& files, const std::string& path) {
  const ReadResult read = ReadWholeFile(files, path, kMaxPaletteFileBytes + 1);
  if (read.status == ReadStatus::kTooLarge) {
    throw PackError(path +
                    ": is too large for a palette file (more than 1 MiB); give a "
                    ".gpl, .pal or .act palette of 256 colours");
  }
  if (read.status != ReadStatus::kOk) {
    throw PackError(path + ": cannot be read; check its name and that you may read it");
  }
  try {
    return ReadPaletteFile(read.bytes);
  } catch (const PaletteFileError& error) {
    throw PackError(path + ": " + error.what());
  }
}

PackOutcome PackArt(const PackJob& job, const PackReport& report, Files& files) {
  return Packer(job, report, files).Run();
}

}  // namespace vostrel
