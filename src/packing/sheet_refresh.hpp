// Bringing the sheets, the manifest and the palette files up to date with the file a pack
// wrote, so that they describe it as vostrel-sheet would and no later pack takes an old frame
// for an edit.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "io/files.hpp"
#include "packing/sheet_pack.hpp"

namespace vostrel {

struct SheetRefresh {
  std::span<const std::uint8_t> output;       // the bytes of the file written
  std::vector<std::size_t> replacedFrames;    // picture-major indices of the frames replaced
  std::vector<std::size_t> palettesReplaced;  // palettes given new colours
  std::string outputPath;                     // for the advice when a file cannot be rewritten
};

// Rewrites, beside reading.manifestPath, every sheet that still shows a replaced frame as it was
// or whose palette was replaced, the manifest when a frame changed size, and the palette files
// (STEM_K.gpl, .pal, .act) of a replaced palette that are there. Frames keep the rectangles'
// corners the manifest gives them. Returns the files rewritten; one that cannot be is named
// through warn.
std::vector<std::string> RefreshSheets(const SheetReading& reading, const SheetRefresh& refresh,
                                       const std::function<void(const std::string&)>& warn,
                                       Files& files);

// Rewrites the palette files of the given palettes of sprite output found in dir under
// STEM_K.gpl, STEM_K.pal and STEM_K.act. Returns the files rewritten.
std::vector<std::string> RefreshPaletteFiles(const std::string& dir, const std::string& stem,
                                             std::span<const std::uint8_t> output,
                                             const std::vector<std::size_t>& palettes,
                                             const std::function<void(const std::string&)>& warn,
                                             Files& files);

}  // namespace vostrel
