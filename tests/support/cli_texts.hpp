// The converter's fixed texts (banner, usage, list file name, a small conversion) as the tests
// expect them.
#pragma once

#include <string>

namespace vostrel::test {

// What every run of the converter prints first, and its usage text.
inline const std::string kBanner =
    "\nMorvane vostrel v0.1 BETA - Converts Morvane .ART files to 8bits BMPs\n"
    "Written by the vostrel developers\n\n  https://vostrel.example.org/\n\n";
inline const std::string kUsage =
    "\nUsage: vostrel artfile [destdir]\n\n"
    "  type vostrel * [destdir] to convert all the \n"
    "  files in the current directory and their subdirs\n\n";
inline const std::string kListName = "art0101.lst";

// What a conversion of a one-picture, one-raw-frame file of height below 15 prints.
inline std::string ConversionOut(const std::string& artPath, int palettes) {
  std::string out = artPath + "\nOpening.....Done\n";
  for (int k = 1; k <= palettes; ++k) {
    out += "Standard RAW data detected, decoding\nSaving BMP: Picture 1 Frame 1 Palette " +
           std::to_string(k) + "\n\n";
  }
  return out;
}

}  // namespace vostrel::test
