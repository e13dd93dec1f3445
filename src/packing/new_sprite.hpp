// Making a new .ART file from a manifest and the sheets beside it, with no original: what
// vostrel-pack --new does, reaching files only through the file interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/files.hpp"
#include "packing/pack.hpp"

namespace vostrel {

struct NewSpriteJob {
  std::string manifest;  // ours (meta.vostrel), or a sprite editor's
  std::string output;    // the .ART file to write
  std::optional<std::string>
      like;  // an .ART file whose words the new one takes where none are given
  std::vector<PaletteFile> paletteFiles;
  std::optional<std::uint8_t>
      transparent;  // the index of transparent pixels when the manifest gives none
};

struct NewSpriteOutcome {
  std::int32_t pictures = 0;
  std::int32_t framesPerPicture = 0;
  std::int32_t palettes = 0;
};

// Writes job.output: the table from meta.vostrel (pictures and framesPerPicture) or from a
// sprite editor's frame tags; each frame's pixels cut out of every sheet and read against that
// sheet's palette (transparent pixels as the transparent index), a trimmed frame put back in its
// cell; the palettes from job.paletteFiles, else from the sheets' PLTE; the words nobody
// interprets from the manifest, else from job.like, else as the sprite model gives them; each
// frame stored as the manifest says, else in the smaller storage. Staged beside job.output and
// put in place once complete. Throws PackError, naming the file and what to do, before anything
// is written.
NewSpriteOutcome MakeNewArt(const NewSpriteJob& job, Files& files);

}  // namespace vostrel
