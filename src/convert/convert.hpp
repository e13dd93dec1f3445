#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vostrel {

class ArtFile;
class BmpFile;

// How a frame was placed: enough to write its console line again.
struct PlacedFrame {
  bool raw = true;
  std::uint64_t fillRuns = 0;  // of a run-length frame, which its progress marks count
};

// Puts the pixels of one frame into bmp's plane and fills its info header: a copy of a raw
// frame, the decoding of a run-length one, with the console line that says which. Returns
// nothing for a frame whose size cannot make a picture (negative, or over 2^31 - 1 pixels).
std::optional<PlacedFrame> PlaceFrame(const ArtFile& art, std::int32_t picture, std::int32_t frame,
                                      BmpFile& bmp);

// Writes the console line of a frame placed before, exactly as placing it wrote it.
void AnnouncePlacedFrame(const PlacedFrame& placed);

// Converts one .ART file into a BMP per picture, frame and palette in destDir (which ends with
// the separator). Every combination is tried; the result is false when the file could not be
// loaded, a frame could not be placed, or any BMP could not be written.
bool ConvertArtFile(const std::string& artPath, const std::string& destDir);

}  // namespace vostrel
