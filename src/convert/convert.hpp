#pragma once

#include <cstdint>
#include <string>

namespace vostrel {

class ArtFile;
class BmpFile;

// Name of the BMP of one picture, frame and palette: the .ART file's name without its last
// extension, then "_picture_frame_palette.bmp" with 0-based indices.
std::string OutputName(const std::string& artFileName, std::int32_t picture, std::int32_t frame,
                       std::int32_t palette);

// Puts the pixels of one frame into bmp's plane and fills its info header: a copy of a raw
// frame, the decoding of a run-length one, with the console line that says which. Returns false
// for a frame whose size cannot make a picture (negative, or over 2^31 - 1 pixels).
bool PlaceFrame(const ArtFile& art, std::int32_t picture, std::int32_t frame, BmpFile& bmp);

// Converts one .ART file into a BMP per picture, frame and palette in destDir (which ends with
// the separator). Every combination is tried; the result is false when the file could not be
// loaded, a frame could not be placed, or any BMP could not be written.
bool ConvertArtFile(const std::string& artPath, const std::string& destDir);

}  // namespace vostrel
