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
#include "art/rle.hpp"
#include "art/rle_encode.hpp"
#include "image/checked.hpp"
#include "image/file_io.hpp"
#include "image/path.hpp"
#include "image/replace_file.hpp"
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
  add(static_cast<std::uint64_t>(art.PaletteCount()) * kArtPaletteSize);
  for (const auto& row : art.FrameHeaders()) {
    for (const ArtFrameHeader& frame : row) {
      add(kArtFrameHeaderSize);
      add(static_cast<std::uint64_t>(frame.dataSize));
    }
  }
  return size;
}

void LoadOriginal(const std::string& path, ArtFile& art) {
  ReadResult file = ReadWholeFile(path);
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

std::string Pixels(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " pixel" : " pixels");
}

std::string At(std::uint64_t x, std::uint64_t y) {
  return "x " + std::to_string(x) + ", y " + std::to_string(y);
}

// A picture file present for one palette of a frame.
struct FoundPicture {
  std::string path;
  std::size_t palette = 0;
};

std::optional<std::string> PicturePath(const fs::path& dir, const std::string& name) {
  const fs::path path = dir / name;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) {
    return std::nullopt;
  }
  if (error) {
    throw PackError(path.string() + ": cannot be looked at (" + error.message() +
                    "); check that you may read the pictures' directory");
  }
  if (!fs::is_regular_file(status)) {
    throw PackError(path.string() + ": is not a file; move it out of the way");
  }
  return path.string();
}

RgbPicture ReadPicture(const std::string& path) {
  const ReadResult file = ReadWholeFile(path, static_cast<std::uint64_t>(INT_MAX));
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
    throw PackError(other.path + ": has " + Pixels(differing) + " unlike " + first.path +
                    ", also edited, the first at " + At(firstAt % width, firstAt / width) + " (" +
                    Hex(pixel[0], pixel[1], pixel[2]) + ")" + advice);
  }
}

class Packer {
 public:
  Packer(const PackJob& job, const PackWarning& warn)
      : job_(job), warn_(warn), picturesDir_(job.picturesDir) {
    LoadOriginal(job.original, art_);
    std::string stem = fs::path(job.original).filename().string();
    CutAtLastDot(stem);
    stem_ = stem;
    std::error_code error;
    if (!fs::is_directory(picturesDir_, error)) {
      throw PackError(job.picturesDir +
                      ": is not a directory; give the directory that holds the pictures");
    }
  }

  PackOutcome Run() {
    PackOutcome outcome;
    frameHeaders_ = art_.FrameHeaders();
    for (std::size_t p = 0; p < frameHeaders_.size(); ++p) {
      for (std::size_t f = 0; f < frameHeaders_[p].size(); ++f) {
        ++outcome.frames;
        if (PackFrame(p, f)) {
          ++outcome.replaced;
        }
      }
    }
    const auto palettes =
        std::span(art_.Palettes()).first(static_cast<std::size_t>(art_.PaletteCount()));
    const std::vector<std::uint8_t> bytes =
        SerializeArt(StoredHeader(art_), palettes, frameHeaders_, art_.Blocks());
    if (const auto failure = ReplaceFileWith(job_.output, bytes)) {
      throw PackError(job_.output + ": cannot be written (" + *failure +
                      "); check that its directory exists and that you may write there");
    }
    return outcome;
  }

 private:
  std::vector<FoundPicture> FindPictures(std::size_t p, std::size_t f) const {
    std::vector<FoundPicture> found;
    const std::string base = stem_ + "_" + std::to_string(p) + "_" + std::to_string(f) + "_";
    for (std::size_t k = 0; k < static_cast<std::size_t>(art_.PaletteCount()); ++k) {
      for (const std::string_view extension : kPictureExtensions) {
        if (auto path =
                PicturePath(picturesDir_, base + std::to_string(k) + std::string(extension))) {
          found.push_back({std::move(*path), k});
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
    ArtFrameHeader& frame = frameHeaders_[p][f];
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
    Block& block = art_.Blocks()[p][f];
    // Equality alone decides, as in the converter.
    const bool raw = *pixels == frame.dataSize;
    const Block original = OriginalIndices(frame, block, static_cast<std::size_t>(*pixels), raw);

    std::optional<EditedFrame> edited;
    for (const FoundPicture& file : found) {
      const RgbPicture picture = ReadPicture(file.path);
      const bool sameSize = picture.width == frame.width && picture.height == frame.height;
      PaletteMapping mapping = MapToPalette(
          picture, PaletteOf(file.palette),
          sameSize ? std::span<const std::uint8_t>(original) : std::span<const std::uint8_t>());
      if (mapping.missing.pixels > 0) {
        const MissingColours& missing = mapping.missing;
        throw PackError(file.path + ": has " + Pixels(missing.pixels) +
                        " in colours that palette " + std::to_string(file.palette) + " of " +
                        job_.original + " does not hold, the first at " + At(missing.x, missing.y) +
                        " (" + Hex(missing.red, missing.green, missing.blue) +
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
    frame.width = edited->width;
    frame.height = edited->height;
    frame.dataSize = static_cast<std::int32_t>(data.size());
    block = std::move(data);
    return true;
  }

  std::span<const std::uint8_t> PaletteOf(std::size_t k) const {
    return std::span(art_.Palettes()[k]).first(kArtPaletteSize);
  }

  const PackJob& job_;
  const PackWarning& warn_;
  // The loader's progress and failure texts are the converter's, not the packer's.
  ArtFile art_{SilentConsole()};
  fs::path picturesDir_;
  std::string stem_;
  std::vector<std::vector<ArtFrameHeader>> frameHeaders_;
};

}  // namespace

PackOutcome PackArt(const PackJob& job, const PackWarning& warn) { return Packer(job, warn).Run(); }

}  // namespace vostrel
