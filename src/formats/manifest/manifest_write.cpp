// The manifest's JSON (see manifest.hpp), written by hand: its shape is fixed and small.
#include "formats/manifest/manifest_write.hpp"

#include <cmath>
#include <cstdio>

#include "io/json_text.hpp"
#include "sprite/picture_names.hpp"

namespace vostrel {

namespace {

// {"x": 1, "y": 2, ...} from name and value pairs.
std::string Object(std::initializer_list<std::pair<std::string_view, std::int64_t>> fields) {
  std::string out = "{";
  bool first = true;
  for (const auto& [name, value] : fields) {
    out += first ? "\"" : ", \"";
    out += name;
    out += "\": " + std::to_string(value);
    first = false;
  }
  return out + "}";
}

// The model's storage of the frame (StorageOf), whatever its size.
const char* StorageName(const ArtFrameHeader& header) {
  return StorageOf(header) == FrameStorage::kRaw ? "raw" : "run-length";
}

}  // namespace

std::int32_t FrameDuration(std::int32_t fps) {
  return static_cast<std::int32_t>(std::lround(1000.0 / static_cast<double>(fps)));
}

std::string SheetManifest(const Sprite& sprite, const SheetLayout& layout,
                          const ManifestFacts& facts) {
  std::string out = "{\n  \"frames\": [\n";
  const std::int32_t duration = FrameDuration(facts.fps);
  for (std::size_t i = 0; i < layout.frames.size(); ++i) {
    const FramePlace& place = layout.frames[i];
    const bool trimmed =
        !place.placed() || place.width < layout.cellWidth || place.height < layout.cellHeight;
    out += "    {\"filename\": \"" + std::to_string(i) + "\", \"frame\": " +
           Object({{"x", place.x}, {"y", place.y}, {"w", place.width}, {"h", place.height}}) +
           ", \"rotated\": false, \"trimmed\": " + (trimmed ? "true" : "false") +
           ", \"spriteSourceSize\": " +
           Object({{"x", 0}, {"y", 0}, {"w", place.width}, {"h", place.height}}) +
           ", \"sourceSize\": " + Object({{"w", layout.cellWidth}, {"h", layout.cellHeight}}) +
           ", \"duration\": " + std::to_string(duration) + "}";
    out += i + 1 < layout.frames.size() ? ",\n" : "\n";
  }
  out += "  ],\n  \"meta\": {\n    \"app\": ";
  AppendJsonString(out, "vostrel-sheet");
  out += ",\n    \"version\": ";
  AppendJsonString(out, facts.version);
  out += ",\n    \"image\": ";
  AppendJsonString(out, SheetName(facts.stem, 0));
  out += ",\n    \"format\": \"I8\",\n    \"size\": " +
         Object({{"w", layout.width}, {"h", layout.height}}) +
         ",\n    \"scale\": \"1\",\n    \"frameTags\": [\n";
  for (std::int32_t p = 0; p < layout.pictures; ++p) {
    const std::int64_t from = std::int64_t{p} * layout.framesPerPicture;
    out += "      {\"name\": \"Picture " + std::to_string(p + 1) +
           "\", \"from\": " + std::to_string(from) +
           ", \"to\": " + std::to_string(from + layout.framesPerPicture - 1) +
           ", \"direction\": \"forward\"}";
    out += p + 1 < layout.pictures ? ",\n" : "\n";
  }
  out += "    ],\n    \"vostrel\": {\n      \"source\": ";
  AppendJsonString(out, facts.source);
  out += ",\n      \"pictures\": " + std::to_string(layout.pictures) +
         ",\n      \"framesPerPicture\": " + std::to_string(layout.framesPerPicture) +
         ",\n      \"palettes\": " + std::to_string(sprite.PaletteCount()) +
         ",\n      \"transparent\": " +
         (facts.transparent ? std::to_string(*facts.transparent) : std::string("null")) +
         ",\n      \"padding\": " + std::to_string(layout.padding) +
         ",\n      \"columns\": " + std::to_string(layout.columns) +
         ",\n      \"fps\": " + std::to_string(facts.fps) + ",\n      \"sheets\": [";
  for (std::int32_t k = 0; k < sprite.PaletteCount(); ++k) {
    out += k == 0 ? "\n        {\"image\": " : ",\n        {\"image\": ";
    AppendJsonString(out, SheetName(facts.stem, k));
    out += ", \"palette\": " + std::to_string(k) + "}";
  }
  out += "\n      ],\n      \"frames\": [";
  for (std::size_t i = 0; i < sprite.frames.size(); ++i) {
    const ArtFrameHeader& header = sprite.frames[i].header;
    out += i == 0 ? "\n        " : ",\n        ";
    out += "{\"width\": " + std::to_string(header.width) +
           ", \"height\": " + std::to_string(header.height) + ", \"storage\": \"" +
           StorageName(header) + "\"}";
  }
  out += sprite.frames.empty() ? "]\n" : "\n      ]\n";
  out += "    }\n  }\n}\n";
  return out;
}

}  // namespace vostrel
