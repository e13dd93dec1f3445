// The conversion of one .ART file into its BMPs: the loop over pictures, frames and palettes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "io/console.hpp"
#include "io/files.hpp"

namespace vostrel {

class ArtFile;
class BmpFile;
struct ArtFrameHeader;

// How a frame was placed: enough to write its console line again.
struct PlacedFrame {
  bool raw = true;
  std::uint64_t fillRuns = 0;  // of a run-length frame, which its progress marks count
};

// Puts the pixels of one frame into bmp's plane and fills its info header: a copy of a raw
// frame, the decoding of a run-length one, with the console line that says which. Returns
// nothing for a frame whose size cannot make a picture (negative, or over 2^31 - 1 pixels).
std::optional<PlacedFrame> PlaceFrame(const ArtFile& art, std::int32_t picture, std::int32_t frame,
                                      BmpFile& bmp, Console& console);

// Writes the console line of a frame placed before, exactly as placing it wrote it.
void AnnouncePlacedFrame(const PlacedFrame& placed, Console& console);

// Where the BMPs of a conversion go once the loop has placed a frame, set the palette and
// announced the file.
class BmpTarget {
 public:
  virtual ~BmpTarget() = default;
  // Whether a frame is to be converted at all. The converter takes every one; a target that
  // checks results may pass over frames too large to check quickly. Nothing is written for a
  // frame passed over.
  virtual bool Wants(const ArtFrameHeader& /*header*/) { return true; }
  // Stores bmp as the given picture, frame and palette (from 0); false when it could not.
  // encoded holds the file's bytes as BmpFile::EncodeWhole laid them out, with this palette's
  // colour table, or nothing for a file too large to be laid out whole, which bmp encodes.
  virtual bool Store(BmpFile& bmp, std::span<const std::uint8_t> encoded, std::int32_t picture,
                     std::int32_t frame, std::int32_t palette) = 0;
};

// The one loop over the pictures, frames and palettes of a loaded file, the palette changing
// fastest, with the console lines of each BMP. Stops with false at a frame whose size cannot
// make a picture, after naming it on standard error; otherwise false when any BMP could not be
// stored.
bool ConvertFrames(const ArtFile& art, BmpFile& bmp, BmpTarget& target, Console& console);

// Converts one .ART file into a BMP per picture, frame and palette in destDir (which ends with
// the separator). Every combination is tried; the result is false when the file could not be
// loaded, a frame could not be placed, or any BMP could not be written. The file is read and
// the BMPs are written through files.
bool ConvertArtFile(const std::string& artPath, const std::string& destDir, Console& console,
                    Files& files);

}  // namespace vostrel
