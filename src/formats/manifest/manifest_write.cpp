// The manifest's writer: its JSON written by hand, field by field from the schema's names, as
// its shape is fixed and small.
#include "formats/manifest/manifest_write.hpp"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "formats/manifest/manifest_schema.hpp"
#include "io/json_text.hpp"
#include "sprite/frame_rules.hpp"
#include "sprite/picture_names.hpp"

namespace vostrel {

namespace {

using namespace manifest;

// [a, b, c]: whole numbers.
template <typename Range>
void AppendList(std::string& out, const Range& values) {
  out += '[';
  bool first = true;
  for (const auto value : values) {
    out += first ? "" : ", ";
    out += std::to_string(static_cast<std::int64_t>(value));
    first = false;
  }
  out += ']';
}

// The members of a JSON object on one line, {"x": 1, "y": 2}, in the order they are given.
class Members {
 public:
  explicit Members(std::string& out) : out_(out) { out_ += '{'; }
  Members& Number(const char* name, std::int64_t value) {
    Name(name);
    out_ += std::to_string(value);
    return *this;
  }
  Members& Text(const char* name, std::string_view value) {
    Name(name);
    AppendJsonString(out_, value);
    return *this;
  }
  // [a, b, c]
  template <typename Range>
  Members& List(const char* name, const Range& values) {
    Name(name);
    AppendList(out_, values);
    return *this;
  }
  Members& Bool(const char* name, bool value) {
    Name(name);
    out_ += value ? "true" : "false";
    return *this;
  }
  // A value the caller writes after this call.
  Members& Name(const char* name) {
    out_ += first_ ? "\"" : ", \"";
    out_ += name;
    out_ += "\": ";
    first_ = false;
    return *this;
  }
  void End() { out_ += '}'; }

 private:
  std::string& out_;
  bool first_ = true;
};

// A rectangle {"x", "y", "w", "h"}, or a size {"w", "h"} when it has no corner.
void AppendRect(std::string& out, std::optional<std::pair<std::int64_t, std::int64_t>> corner,
                std::int64_t w, std::int64_t h) {
  Members rect(out);
  if (corner) {
    rect.Number(kX, corner->first).Number(kY, corner->second);
  }
  rect.Number(kW, w).Number(kH, h).End();
}

// "name": starting a line of an object written one member a line, indent spaces in.
void Line(std::string& out, int indent, const char* name) {
  out.append(static_cast<std::size_t>(indent), ' ');
  out += '"';
  out += name;
  out += "\": ";
}

// The model's storage of the frame (StorageOf), whatever its size.
const char* StorageName(const ArtFrameHeader& header) {
  return StorageOf(header) == FrameStorage::kRaw ? "raw" : "run-length";
}
// The storage names above are the schema's.
static_assert(std::string_view(kRaw) == "raw" && std::string_view(kRunLength) == "run-length");

}  // namespace

std::int32_t FrameDuration(std::int32_t fps) {
  return static_cast<std::int32_t>(std::lround(1000.0 / static_cast<double>(fps)));
}

std::string SheetManifest(const Sprite& sprite, const SheetLayout& layout,
                          const ManifestFacts& facts) {
  std::string out = "{\n";
  Line(out, 2, kFrames);
  out += "[\n";
  const std::int32_t duration = FrameDuration(facts.fps);
  for (std::size_t i = 0; i < layout.frames.size(); ++i) {
    const FramePlace& place = layout.frames[i];
    const bool trimmed =
        !place.placed() || place.width < layout.cellWidth || place.height < layout.cellHeight;
    out += "    ";
    Members frame(out);
    frame.Text(kFilename, std::to_string(i)).Name(kFrame);
    AppendRect(out, std::pair{place.x, place.y}, place.width, place.height);
    frame.Bool(kRotated, false).Bool(kTrimmed, trimmed).Name(kSpriteSourceSize);
    AppendRect(out, std::pair{0, 0}, place.width, place.height);
    frame.Name(kSourceSize);
    AppendRect(out, std::nullopt, layout.cellWidth, layout.cellHeight);
    frame.Number(kDuration, duration).End();
    out += i + 1 < layout.frames.size() ? ",\n" : "\n";
  }
  out += "  ],\n";
  Line(out, 2, kMeta);
  out += "{\n";
  Line(out, 4, kApp);
  AppendJsonString(out, kApplication);
  out += ",\n";
  Line(out, 4, kVersion);
  AppendJsonString(out, facts.version);
  out += ",\n";
  Line(out, 4, kImage);
  AppendJsonString(out, SheetName(facts.stem, 0));
  out += ",\n";
  Line(out, 4, kFormat);
  AppendJsonString(out, kIndexedFormat);
  out += ",\n";
  Line(out, 4, kSize);
  AppendRect(out, std::nullopt, layout.width, layout.height);
  out += ",\n";
  Line(out, 4, kScale);
  AppendJsonString(out, kUnscaled);
  out += ",\n";
  Line(out, 4, kFrameTags);
  out += "[\n";
  for (std::int32_t p = 0; p < layout.pictures; ++p) {
    const std::int64_t from = std::int64_t{p} * layout.framesPerPicture;
    out += "      ";
    Members tag(out);
    tag.Text(kName, kPictureTag + std::to_string(p + 1))
        .Number(kFrom, from)
        .Number(kTo, from + layout.framesPerPicture - 1)
        .Text(kDirection, kForward)
        .End();
    out += p + 1 < layout.pictures ? ",\n" : "\n";
  }
  out += "    ],\n";
  Line(out, 4, kVostrel);
  out += "{\n";
  Line(out, 6, kSource);
  AppendJsonString(out, facts.source);
  const std::pair<const char*, std::int64_t> counts[] = {
      {kPictures, layout.pictures},
      {kFramesPerPicture, layout.framesPerPicture},
      {kPalettes, sprite.PaletteCount()}};
  for (const auto& [name, value] : counts) {
    out += ",\n";
    Line(out, 6, name);
    out += std::to_string(value);
  }
  out += ",\n";
  Line(out, 6, kTransparent);
  out += facts.transparent ? std::to_string(*facts.transparent) : std::string("null");
  const std::pair<const char*, std::int64_t> settings[] = {
      {kPadding, layout.padding}, {kColumns, layout.columns}, {kFps, facts.fps}};
  for (const auto& [name, value] : settings) {
    out += ",\n";
    Line(out, 6, name);
    out += std::to_string(value);
  }
  out += ",\n";
  Line(out, 6, kHeader);
  AppendList(out, WordsOfHeader(sprite.header));
  out += ",\n";
  Line(out, 6, kSheets);
  out += "[";
  for (std::int32_t k = 0; k < sprite.PaletteCount(); ++k) {
    out += k == 0 ? "\n        " : ",\n        ";
    Members(out)
        .Text(kImage, SheetName(facts.stem, k))
        .Number(kPalette, k)
        .List(kFourthBytes, FourthBytesOf(sprite.palettes[static_cast<std::size_t>(k)]))
        .End();
  }
  out += "\n      ],\n";
  Line(out, 6, kFrames);
  out += "[";
  for (std::size_t i = 0; i < sprite.frames.size(); ++i) {
    const ArtFrameHeader& header = sprite.frames[i].header;
    out += i == 0 ? "\n        " : ",\n        ";
    Members(out)
        .Number(kWidth, header.width)
        .Number(kHeight, header.height)
        .Text(kStorage, StorageName(header))
        .List(kWords, header.unknown)
        .End();
  }
  out += sprite.frames.empty() ? "]\n" : "\n      ]\n";
  out += "    }\n  }\n}\n";
  return out;
}

}  // namespace vostrel
