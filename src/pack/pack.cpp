// The packing of one .ART file: edited pictures mapped to their palettes and put back.
#include "pack/pack.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "art/art_file.hpp"
#include "art/art_save.hpp"
#include "art/picture_names.hpp"
#include "art/rle.hpp"
#include "art/rle_encode.hpp"
#include "io/checked.hpp"
#include "io/console.hpp"
#include "io/files.hpp"
#include "picture/colour_map.hpp"
#include "picture/picture.hpp"

namespace vostrel {

namespace {

namespace fs = std::filesystem;

// The names the converter gives a frame's pictures end in ".bmp"; an editor may save the same
// picture as PNG instead, under the same name.
constexpr std::array<std::string_view, 2> kPictureExtensions{".bmp", ".png"};
constexpr auto kMaxDataSize = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

// The size of a file holding everything that the header, palettes and frame headers announce.
std::uint64_t AnnouncedSize(const ArtFile& art) {
  std::uint64_t size = kArtHeaderSize;
  const auto add = [&size](std::uint64_t more) {
    size = CheckedAdd(size, more).value_or(std::numeric_limits<std::uint64_t>::max());
  };
  add(static_cast<std::uint64_t>(art.PaletteCount()) * kArtPaletteSize);  // at most four
  for (const auto& row : art.FrameHeaders()) {
    for (const ArtFrameHeader& frame : row) {
      add(kArtFrameHeaderSize);
      add(static_cast<std::uint64_t>(frame.dataSize));
    }
  }
  return size;
}

void LoadOriginal(Files& files, const std::string& path, ArtFile& art) {
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
}

std::string Hex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  std::array<char, 8> text{};
  std::snprintf(text.data(), text.size(), "#%02X%02X%02X", red, green, blue);
  return text.data();
}

std::string Size(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// A picture file present for one palette of a frame.
struct FoundPicture {
  std::string path;
  std::size_t palette = 0;
};

std::optional<std::string> PicturePath(Files& files, const fs::path& dir, const std::string& name) {
  const std::string path = (dir / name).string();
  const PathStatus status = files.StatusOf(path);
  switch (status.kind) {
    case PathKind::kMissing:
      return std::nullopt;
    case PathKind::kUnknown:
      throw PackError(path + ": cannot be looked at (" + status.reason +
                      "); check that you may read the pictures' directory");
    case PathKind::kRegularFile:
      return path;
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
    throw PackError(path + ": " + error.what() + "; save it again as BMP or PNG");
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
  Packer(const PackJob& job, const PackWarning& warn, Files& files)
      : job_(job),
        warn_(warn),
        files_(files),
        art_(silent_, files),
        picturesDir_(job.picturesDir),
        stem_(PictureStem(fs::path(job.original).filename().string())) {
    LoadOriginal(files_, job.original, art_);
    if (files_.StatusOf(job.picturesDir).kind != PathKind::kDirectory) {
      throw PackError(job.picturesDir +
                      ": is not a directory; give the directory that holds the pictures");
    }
  }

  PackOutcome Run() {
    PackOutcome outcome;
    for (std::size_t p = 0; p < art_.FrameHeaders().size(); ++p) {
      for (std::size_t f = 0; f < art_.FrameHeaders()[p].size(); ++f) {
        ++outcome.frames;
        if (PackFrame(p, f)) {
          ++outcome.replaced;
        }
      }
    }
    const std::vector<std::uint8_t> bytes = SerializeArt(art_);
    if (const auto failure = files_.Replace(job_.output, bytes)) {
      throw PackError(job_.output + ": cannot be written (" + *failure +
                      "); check that its directory exists and that you may write there");
    }
    return outcome;
  }

 private:
  std::vector<FoundPicture> FindPictures(std::size_t p, std::size_t f) const {
    std::vector<FoundPicture> found;
    for (std::int32_t k = 0; k < art_.PaletteCount(); ++k) {
      for (const std::string_view extension : kPictureExtensions) {
        std::string name = stem_;
        AppendPictureSuffix(name, static_cast<std::int32_t>(p), static_cast<std::int32_t>(f), k,
                            extension);
        if (auto path = PicturePath(files_, picturesDir_, name)) {
          found.push_back({std::move(*path), static_cast<std::size_t>(k)});
        }
      }
    }
    return found;
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
        warn_(picture.path + ": ignored: frame " + std::to_string(f) + " of picture " +
              std::to_string(p) + " in " + job_.original + " " + what + " (" +
              Size(frame.width, frame.height) + "), so it is copied unchanged");
      }
      return false;
    }
    const Block& block = art_.Blocks()[p][f];
    // Equality alone decides, as in the converter.
    const bool raw = *pixels == frame.dataSize;
    const Block original = OriginalIndices(frame, block, static_cast<std::size_t>(*pixels), raw);

    std::optional<EditedFrame> edited;
    for (const FoundPicture& file : found) {
      const RgbPicture picture = ReadPicture(files_, file.path);
      const bool sameSize = picture.width == frame.width && picture.height == frame.height;
      PaletteMapping mapping = MapToPalette(
          picture.Bytes(), static_cast<std::size_t>(picture.width),
          static_cast<std::size_t>(picture.channels), PaletteOf(file.palette),
          sameSize ? std::span<const std::uint8_t>(original) : std::span<const std::uint8_t>());
      if (mapping.missing.pixels > 0) {
        const MissingColours& missing = mapping.missing;
        throw PackError(file.path + ": has " + PixelsText(missing.pixels) +
                        " in colours that palette " + std::to_string(file.palette) + " of " +
                        job_.original + " does not hold, the first at " +
                        PositionText(missing.x, missing.y) + " (" +
                        Hex(missing.red, missing.green, missing.blue) +
                        "); paint only with the palette's colours");
      }
      if (sameSize && mapping.indices == original) {
        continue;  // untouched
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
    return true;
  }

  std::span<const std::uint8_t> PaletteOf(std::size_t k) const {
    return std::span(art_.Palettes()[k]).first(kArtPaletteSize);
  }

  const PackJob& job_;
  const PackWarning& warn_;
  Files& files_;
  // The loader's progress and failure texts are the converter's, not the packer's.
  SilentConsole silent_;
  // The original as loaded; the frames that take an edit are replaced in it, and it is what is
  // written.
  ArtFile art_;
  fs::path picturesDir_;
  std::string stem_;
};

}  // namespace

PackOutcome PackArt(const PackJob& job, const PackWarning& warn, Files& files) {
  return Packer(job, warn, files).Run();
}

}  // namespace vostrel
