// The conversion of one .ART file into its BMPs, with the console lines of each.
#include "programs/vostrel/convert/convert.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "io/path.hpp"
#include "programs/vostrel/art/art_file.hpp"
#include "programs/vostrel/bmp/bmp_file.hpp"
#include "sprite/picture_names.hpp"
#include "sprite/rle.hpp"
#include "sprite/sprite.hpp"

namespace vostrel {

namespace {

constexpr std::int32_t kBitDepth = 8;
constexpr std::string_view kRawLine = "Standard RAW data detected, decoding";
constexpr std::string_view kRleLine = "Standard RLE data detected, decoding";

// The output paths of one .ART file: destDir, then the pictures' names. One string is reused
// for every path.
class OutputPaths {
 public:
  OutputPaths(const std::string& destDir, const std::string& artFileName)
      : prefix_(destDir + PictureStem(artFileName)) {}

  const std::string& For(std::int32_t picture, std::int32_t frame, std::int32_t palette) {
    path_.assign(prefix_);
    AppendPictureSuffix(path_, picture, frame, palette, ".bmp");
    return path_;
  }

 private:
  std::string prefix_;
  std::string path_;
};

// "Saving BMP: Picture 1 Frame 1 Palette 1", with 1-based numbers, put together in line and
// written at once.
void AnnounceSaving(Console& console, std::string& line, std::int32_t picture, std::int32_t frame,
                    std::int32_t palette) {
  line.assign("Saving BMP: Picture ");
  AppendDecimal(line, picture + 1);
  line += " Frame ";
  AppendDecimal(line, frame + 1);
  line += " Palette ";
  AppendDecimal(line, palette + 1);
  console.Out(line);
}

// A frame whose size cannot make a picture ends the conversion; say which one and why, with the
// numbers as the "Saving BMP" lines show them and the size as stored.
void ReportUndecodableFrame(Console& console, const ArtFrameHeader& header, std::int32_t picture,
                            std::int32_t frame) {
  std::string line = "Could not decode Picture ";
  AppendDecimal(line, picture + 1);
  line += " Frame ";
  AppendDecimal(line, frame + 1);
  line += ": invalid size ";
  AppendDecimal(line, header.width);
  line += " x ";
  AppendDecimal(line, header.height);
  console.EndLine(Stream::kErr);
  console.Err(line);
  console.EndLine(Stream::kErr);
}

// Saves every BMP into the destination directory under its output name.
class DirectoryTarget : public BmpTarget {
 public:
  DirectoryTarget(const std::string& destDir, const std::string& artFileName)
      : paths_(destDir, artFileName) {}

  bool Store(BmpFile& bmp, std::span<const std::uint8_t> encoded, std::int32_t picture,
             std::int32_t frame, std::int32_t palette) override {
    return bmp.SaveAs(paths_.For(picture, frame, palette), encoded);
  }

 private:
  OutputPaths paths_;
};

}  // namespace

std::optional<PlacedFrame> PlaceFrame(const ArtFile& art, std::int32_t picture, std::int32_t frame,
                                      BmpFile& bmp, Console& console) {
  const ArtFrameHeader& header = art.FrameHeader(picture, frame);
  const std::optional<std::int32_t> pixels = FramePixels(header);
  if (!pixels) {
    return std::nullopt;
  }
  PlacedFrame placed;
  placed.raw = StorageOf(header) == FrameStorage::kRaw;
  // A raw frame's line is whole before its pixels are copied; a run-length frame's line ends
  // with the decoder's marks.
  console.Out(placed.raw ? kRawLine : kRleLine);
  if (placed.raw) {
    console.EndLine(Stream::kOut);
  }
  Block& plane = bmp.ResizePlane(static_cast<std::size_t>(*pixels));
  placed.fillRuns = DecodeFrame(header, art.FrameBlock(picture, frame), plane)->fillRuns;
  if (!placed.raw) {
    WriteRleProgress(console, placed.fillRuns);
  }
  bmp.FillInfoHeader(header.width, header.height, kBitDepth);
  return placed;
}

void AnnouncePlacedFrame(const PlacedFrame& placed, Console& console) {
  if (placed.raw) {
    console.Out(kRawLine);
    console.EndLine(Stream::kOut);
  } else {
    console.Out(kRleLine);
    WriteRleProgress(console, placed.fillRuns);
  }
}

bool ConvertFrames(const ArtFile& art, BmpFile& bmp, BmpTarget& target, Console& console) {
  std::string line;
  // The file of the frame in hand, laid out once for its first palette; each further palette
  // only writes its colour table over it. Owned here, so nothing outside the loop can hold it.
  std::vector<std::uint8_t> buffer;
  bool allStored = true;
  for (std::int32_t i = 0; i < art.PictureCount(); ++i) {
    for (std::int32_t j = 0; j < art.FramesPerPicture(); ++j) {
      const ArtFrameHeader& header = art.FrameHeader(i, j);
      if (!target.Wants(header)) {
        continue;
      }
      // A frame's pixels are the same for each of its palettes, so they are placed (and a
      // run-length frame decoded) once; its line is written again for every palette.
      std::optional<PlacedFrame> placed;
      std::span<std::uint8_t> file;
      for (std::int32_t k = 0; k < art.PaletteCount(); ++k) {
        if (placed) {
          AnnouncePlacedFrame(*placed, console);
        } else {
          placed = PlaceFrame(art, i, j, bmp, console);
          if (!placed) {
            ReportUndecodableFrame(console, header, i, j);
            bmp.ReleaseBlocks();
            bmp.ReleasePalettes();
            return false;
          }
        }
        AnnounceSaving(console, line, i, j, k);
        bmp.SetPalette(0, art.Palettes()[static_cast<std::size_t>(k)], kPaletteEntries);
        if (k == 0) {
          file = bmp.EncodeWhole(buffer);
        } else if (!file.empty()) {
          bmp.RewriteColourTable(file);
        }
        if (!target.Store(bmp, file, i, j, k)) {
          allStored = false;
        }
      }
    }
  }
  // Kept from frame to frame, as the plane is: the palette table is reused for every BMP.
  bmp.ReleaseBlocks();
  bmp.ReleasePalettes();
  return allStored;
}

bool ConvertArtFile(const std::string& artPath, const std::string& destDir, Console& console,
                    Files& files) {
  try {
    console.Out(artPath);
    console.EndLine(Stream::kOut);
    console.Out("Opening");
    ArtFile art(console, files);
    const bool loaded = art.Load(artPath);
    BmpFile bmp(console, files);
    DirectoryTarget target(destDir, art.FileName());
    const bool converted = ConvertFrames(art, bmp, target, console);
    return loaded && converted;
  } catch (...) {
    return false;
  }
}

}  // namespace vostrel
