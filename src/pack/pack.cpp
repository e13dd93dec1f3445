// The packing of one .ART file: edited pictures mapped to their palettes and put back, and the
// pictures of the frames replaced brought up to date.
#include "pack/pack.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "art/art_file.hpp"
#include "art/art_save.hpp"
#include "art/picture_names.hpp"
#include "art/rle.hpp"
#include "art/rle_encode.hpp"
#include "art/sprite.hpp"
#include "io/checked.hpp"
#include "io/console.hpp"
#include "io/files.hpp"
#include "pack/palette_files_read.hpp"
#include "pack/picture_names.hpp"
#include "pack/refresh.hpp"
#include "pack/sheet_pack.hpp"
#include "pack/sheet_refresh.hpp"
#include "picture/colour_map.hpp"
#include "picture/picture.hpp"

namespace vostrel {

namespace {

namespace fs = std::filesystem;

constexpr auto kMaxDataSize = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

// The size of a file holding everything that the header, palettes and frame headers announce.
std::uint64_t AnnouncedSize(const ArtFile& art) {
  std::uint64_t size = kArtHeaderSize;
  const auto add = [&size](std::uint64_t more) {
    size = CheckedAdd(size, more).value_or(std::numeric_limits<std::uint64_t>::max());
  };
  add(static_cast<std::uint64_t>(art.PaletteCount()) * kArtPaletteSize);
  for (const auto& row : art.FrameHeaders()) {
    for (const ArtFrameHeader& frame : row) {
      add(kArtFrameHeaderSize);
      add(static_cast<std::uint64_t>(frame.dataSize));
    }
  }
  return size;
}

// Loads the file into art and returns its bytes.
std::vector<std::uint8_t> LoadOriginal(Files& files, const std::string& path, ArtFile& art) {
  ReadResult file = ReadWholeFile(files, path);
  if (file.status != ReadStatus::kOk) {
    throw PackError(path + ": cannot be read; check its name and that you may read it");
  }
  if (!art.LoadBytes(file.bytes)) {
    throw PackError(path +
                    ": is not an .ART file that can be read (damaged or cut short in its "
                    "header or tables); give the file the pictures were extracted from");
  }
  // The loader reads the missing bytes of a file that ends inside its frame data as zeros;
  // written back, they would pass for the sprite's own.
  const std::uint64_t announced = AnnouncedSize(art);
  if (file.bytes.size() < announced) {
    throw PackError(path + ": ends early: its frame data lacks " +
                    std::to_string(announced - file.bytes.size()) +
                    " bytes; give a complete copy of the file");
  }
  return std::move(file.bytes);
}

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

// A frame that a picture can show: a width and height above zero whose product, which the
// converter takes as the number of pixels, fits its 32-bit signed arithmetic.
std::optional<std::int32_t> PixelCount(const ArtFrameHeader& frame) {
  if (frame.width <= 0 || frame.height <= 0) {
    return std::nullopt;
  }
  return CheckedMul<std::int32_t>(frame.width, frame.height);
}

// The frame's indices as the converter shows them: a raw block as it is, a run-length block
// decoded into a plane that starts as zeros.
Block OriginalIndices(const ArtFrameHeader& frame, const Block& block, std::size_t pixels,
                      bool raw) {
  if (raw) {
    return block;
  }
  Block plane(pixels, 0);
  DecodeRleSilently(block, frame.dataSize, plane);
  return plane;
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
        art_(silent_, files),
        picturesDir_(job.picturesDir),
        stem_(PictureStem(fs::path(job.original).filename().string())) {
    originalBytes_ = LoadOriginal(files_, job.original, art_);
    // A file where the pictures' directory would be is the manifest of the sheets.
    sheets_ = files_.StatusOf(job.picturesDir).kind == PathKind::kRegularFile;
    if (!sheets_ && files_.StatusOf(job.picturesDir).kind != PathKind::kDirectory) {
      throw PackError(job.picturesDir +
                      ": is neither a directory nor a file; give the directory that holds the "
                      "pictures, or the manifest (.json) beside the sheets");
    }
    if (files_.StatusOf(job.output).kind == PathKind::kDirectory) {
      throw PackError(job.output +
                      ": is a directory; give the name of the .ART file to write, such as " +
                      (fs::path(job.output) / fs::path(job.original).filename()).string());
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
      for (std::size_t p = 0; p < art_.FrameHeaders().size(); ++p) {
        for (std::size_t f = 0; f < art_.FrameHeaders()[p].size(); ++f) {
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
    const std::span<const Block> palettes = newPalettes_;
    // With nothing replaced, OUTPUT is a copy: packing in place then leaves the file alone.
    const std::vector<std::uint8_t> bytes =
        outcome.replaced == 0 && outcome.palettesReplaced.empty()
            ? std::move(originalBytes_)
            : WithPalettes(SerializeArt(art_), outcome.palettesReplaced);
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
      const auto framesPerPicture = static_cast<std::size_t>(art_.FramesPerPicture());
      for (const FramePosition& frame : outcome.replacedFrames) {
        refresh.replacedFrames.push_back(frame.picture * framesPerPicture + frame.frame);
      }
      outcome.updatedPictures = RefreshSheets(*sheetReading_, refresh, warn_, files_);
    } else {
      outcome.updatedPictures =
          RefreshPictures(replaced_, palettes, job_.picturesDir, job_.output, warn_, files_);
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
    std::vector<FoundPicture> found =
        names_.Of(p, f, static_cast<std::size_t>(art_.PaletteCount()));
    std::erase_if(
        found, [this](const FoundPicture& picture) { return !StillThere(files_, picture.path); });
    return found;
  }

  // A directory without a single picture of the original's names is the wrong one (or the
  // original was renamed since): packing from it would only copy the file.
  void RefuseWithoutPictures() const {
    const auto pictures = static_cast<std::size_t>(art_.PictureCount());
    const auto frames = static_cast<std::size_t>(art_.FramesPerPicture());
    const auto palettes = static_cast<std::size_t>(art_.PaletteCount());
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
    const ArtFrameHeader& frame = art_.FrameHeaders()[p][f];
    const std::optional<std::int32_t> pixels = PixelCount(frame);
    if (!pixels) {
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
    const Block& block = art_.Blocks()[p][f];
    // Equality alone decides, as in the converter.
    const bool raw = *pixels == frame.dataSize;
    // Decoded only once a picture of the frame's size needs it: a small file may announce a
    // frame of gigabytes that no picture has.
    std::optional<Block> original;

    std::optional<EditedFrame> edited;
    std::vector<FoundPicture> untouched;
    for (const FoundPicture& file : found) {
      const RgbPicture picture = ReadPicture(files_, file.path);
      const bool sameSize = picture.width == frame.width && picture.height == frame.height;
      if (sameSize && !original) {
        original = OriginalIndices(frame, block, static_cast<std::size_t>(*pixels), raw);
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
    Block data = EncodeFrameData(edited->indices, raw);
    if (data.size() > kMaxDataSize) {
      throw PackError(edited->path + ": is too large for a frame of an .ART file");
    }
    art_.ReplaceFrame(p, f, edited->width, edited->height, std::move(data));
    replaced_.push_back(
        {edited->width, edited->height, std::move(edited->indices), std::move(untouched)});
    return true;
  }

  // The frame's indices as they now stand in art_.
  std::vector<std::uint8_t> CurrentIndices(std::size_t p, std::size_t f) const {
    const ArtFrameHeader& frame = art_.FrameHeaders()[p][f];
    const std::optional<std::int32_t> pixels = PixelCount(frame);
    if (!pixels) {
      return {};
    }
    return OriginalIndices(frame, art_.Blocks()[p][f], static_cast<std::size_t>(*pixels),
                           *pixels == frame.dataSize);
  }

  // Gives frame f of picture p new indices, stored as it was stored (raw or run-length).
  void Replace(std::size_t p, std::size_t f, std::int32_t width, std::int32_t height,
               const std::vector<std::uint8_t>& indices, const std::string& from) {
    const ArtFrameHeader& frame = art_.FrameHeaders()[p][f];
    const std::optional<std::int32_t> pixels = PixelCount(frame);
    const bool raw = pixels && *pixels == frame.dataSize;
    Block data = EncodeFrameData(indices, raw);
    if (data.size() > kMaxDataSize) {
      throw PackError(from + ": is too large for a frame of an .ART file");
    }
    art_.ReplaceFrame(p, f, width, height, std::move(data));
  }

  // Takes the frames edited in the sheets that the manifest job_.picturesDir describes.
  void PackSheets(PackOutcome& outcome) {
    const auto framesPerPicture = static_cast<std::size_t>(art_.FramesPerPicture());
    SheetSprite sprite;
    sprite.name = fs::path(job_.original).filename().string();
    sprite.pictures = art_.PictureCount();
    sprite.framesPerPicture = art_.FramesPerPicture();
    for (std::size_t k = 0; k < static_cast<std::size_t>(art_.PaletteCount()); ++k) {
      sprite.palettes.push_back(PaletteOf(k));
    }
    for (const auto& row : art_.FrameHeaders()) {
      for (const ArtFrameHeader& frame : row) {
        sprite.frames.push_back({frame.width, frame.height, PixelCount(frame).has_value()});
      }
    }
    sprite.indicesOf = [this, framesPerPicture](std::size_t i) {
      return CurrentIndices(i / framesPerPicture, i % framesPerPicture);
    };
    SheetReading reading = ReadSheetEdits(job_.picturesDir, sprite, files_);
    outcome.frames = sprite.frames.size();
    for (const SheetEdit& edit : reading.edits) {
      Replace(edit.frame / framesPerPicture, edit.frame % framesPerPicture, edit.width, edit.height,
              edit.indices, edit.from);
      ++outcome.replaced;
      outcome.replacedFrames.push_back(
          {edit.frame / framesPerPicture, edit.frame % framesPerPicture});
    }
    sheetReading_ = std::move(reading);
  }

  // Gives the palettes of job_.paletteFiles their files' colours, each entry keeping its fourth
  // byte. Returns the palettes that changed.
  std::vector<std::size_t> PutPalettes() {
    std::vector<std::size_t> changed;
    const auto count = static_cast<std::size_t>(art_.PaletteCount());
    for (std::size_t k = 0; k < count; ++k) {
      newPalettes_.emplace_back(PaletteOf(k).begin(), PaletteOf(k).end());
    }
    for (const PaletteFile& file : job_.paletteFiles) {
      if (file.palette >= count) {
        throw PackError(
            file.path + ": is given as palette " + std::to_string(file.palette) + ", but " +
            job_.original + " has " +
            (count == 0 ? std::string("no palette")
                        : std::to_string(count) + " (0 to " + std::to_string(count - 1) + ")") +
            "; give one of its palettes");
      }
      const ReadResult read = ReadWholeFile(files_, file.path, kMaxPaletteFileBytes + 1);
      if (read.status == ReadStatus::kTooLarge) {
        throw PackError(file.path +
                        ": is too large for a palette file (more than 1 MiB); give a "
                        ".gpl, .pal or .act palette of 256 colours");
      }
      if (read.status != ReadStatus::kOk) {
        throw PackError(file.path + ": cannot be read; check its name and that you may read it");
      }
      PaletteColours colours{};
      try {
        colours = ReadPaletteFile(read.bytes);
      } catch (const PaletteFileError& error) {
        throw PackError(file.path + ": " + error.what());
      }
      Block& palette = newPalettes_[file.palette];
      for (std::size_t i = 0; i < kPaletteFileColours; ++i) {
        // Entries are blue, green, red, then the fourth byte, which stays.
        palette[i * 4] = colours[i * 3 + 2];
        palette[i * 4 + 1] = colours[i * 3 + 1];
        palette[i * 4 + 2] = colours[i * 3];
      }
    }
    for (std::size_t k = 0; k < count; ++k) {
      if (!std::ranges::equal(newPalettes_[k], PaletteOf(k))) {
        changed.push_back(k);
      }
    }
    return changed;
  }

  // The file's bytes with the changed palettes of newPalettes_ put in, through the sprite model.
  std::vector<std::uint8_t> WithPalettes(std::vector<std::uint8_t> bytes,
                                         const std::vector<std::size_t>& changed) const {
    if (changed.empty()) {
      return bytes;
    }
    SpriteLoad load = ParseSprite(bytes);
    if (!load.sprite) {
      throw PackError(job_.output + ": could not be made (" + ArtLoadErrorText(load.error) +
                      "); report this as a bug");
    }
    for (const std::size_t k : changed) {
      std::copy_n(newPalettes_[k].begin(), kArtPaletteSize, load.sprite->palettes[k].begin());
    }
    return SerializeSprite(*load.sprite);
  }

  // Every picture of a replaced palette shows the old colours: each is to be rewritten.
  void RefreshPalettePictures(const std::vector<std::size_t>& changed) {
    if (changed.empty()) {
      return;
    }
    for (std::size_t p = 0; p < art_.FrameHeaders().size(); ++p) {
      for (std::size_t f = 0; f < art_.FrameHeaders()[p].size(); ++f) {
        std::vector<FoundPicture> pictures = FindPictures(p, f);
        std::erase_if(pictures, [&](const FoundPicture& picture) {
          return std::find(changed.begin(), changed.end(), picture.palette) == changed.end();
        });
        const ArtFrameHeader& frame = art_.FrameHeaders()[p][f];
        const std::optional<std::int32_t> pixels = PixelCount(frame);
        if (pictures.empty() || !pixels || *pixels == 0) {
          continue;
        }
        replaced_.push_back({frame.width, frame.height, CurrentIndices(p, f), std::move(pictures)});
      }
    }
  }

  std::span<const std::uint8_t> PaletteOf(std::size_t k) const {
    return std::span(art_.Palettes()[k]).first(kArtPaletteSize);
  }

  const PackJob& job_;
  const PackReport& report_;
  const PackWarning& warn_;
  Files& files_;
  // The loader's progress and failure texts are the converter's, not the packer's.
  SilentConsole silent_;
  // The original as loaded; the frames that take an edit are replaced in it, and it is what is
  // written.
  ArtFile art_;
  fs::path picturesDir_;
  std::string stem_;
  std::vector<std::uint8_t> originalBytes_;
  PictureNames names_;
  std::vector<ReplacedFrame> replaced_;
  bool sheets_ = false;  // whether the edits come from sheets rather than pictures
  // The palettes of the output: the original's, with those of job_.paletteFiles replaced.
  std::vector<Block> newPalettes_;
  std::optional<SheetReading> sheetReading_;
};

}  // namespace

PackOutcome PackArt(const PackJob& job, const PackReport& report, Files& files) {
  return Packer(job, report, files).Run();
}

}  // namespace vostrel
