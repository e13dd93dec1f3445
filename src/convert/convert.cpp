#include "convert/convert.hpp"

#include <iostream>
#include <limits>

#include "art/art_file.hpp"
#include "art/rle.hpp"
#include "bmp/bmp_file.hpp"
#include "image/checked.hpp"
#include "image/console.hpp"
#include "image/path.hpp"

namespace vostrel {

namespace {

constexpr std::int32_t kBitDepth = 8;

}  // namespace

std::string OutputName(const std::string& artFileName, std::int32_t picture, std::int32_t frame,
                       std::int32_t palette) {
  std::string name = artFileName;
  CutAtLastDot(name);
  name += '_';
  name += std::to_string(picture);
  name += '_';
  name += std::to_string(frame);
  name += '_';
  name += std::to_string(palette);
  name += ".bmp";
  return name;
}

bool PlaceFrame(const ArtFile& art, std::int32_t picture, std::int32_t frame, BmpFile& bmp) {
  const auto p = static_cast<std::size_t>(picture);
  const auto f = static_cast<std::size_t>(frame);
  const ArtFrameHeader& header = art.FrameHeaders()[p][f];
  const Block& block = art.Blocks()[p][f];
  if (header.width < 0 || header.height < 0) {
    return false;
  }
  const auto pixels = CheckedMul<std::int32_t>(header.width, header.height);
  if (!pixels) {
    return false;
  }
  // Equality alone decides: a run-length stream exactly width x height bytes long is raw.
  if (*pixels == header.dataSize) {
    std::cout << "Standard RAW data detected, decoding";
    EndLine(std::cout);
    bmp.SetPlane(block);
  } else {
    std::cout << "Standard RLE data detected, decoding";
    bmp.AllocateBlocks(1, 1, static_cast<std::size_t>(*pixels));
    DecodeRle(block, header.dataSize, bmp.Blocks()[0][0]);
  }
  bmp.FillInfoHeader(header.width, header.height, kBitDepth);
  return true;
}

bool ConvertArtFile(const std::string& artPath, const std::string& destDir) {
  try {
    std::cout << artPath;
    EndLine(std::cout);
    std::cout << "Opening";
    ArtFile art;
    const bool loaded = art.Load(artPath);
    BmpFile bmp;
    bool allWritten = true;
    for (std::int32_t i = 0; i < art.PictureCount(); ++i) {
      for (std::int32_t j = 0; j < art.FramesPerPicture(); ++j) {
        for (std::int32_t k = 0; k < art.PaletteCount(); ++k) {
          if (!PlaceFrame(art, i, j, bmp)) {
            return false;
          }
          const std::string bmpPath = destDir + OutputName(art.FileName(), i, j, k);
          std::cout << "Saving BMP: Picture " << i + 1 << " Frame " << j + 1 << " Palette "
                    << k + 1;
          bmp.SetPalette(0, art.Palettes()[static_cast<std::size_t>(k)], kPaletteEntries);
          if (!bmp.SaveAs(bmpPath)) {
            allWritten = false;
          }
          bmp.ReleaseBlocks();
          bmp.ReleasePalettes();
        }
      }
    }
    return loaded && allWritten;
  } catch (...) {
    return false;
  }
}

}  // namespace vostrel
