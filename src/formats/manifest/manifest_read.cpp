// The manifest's reader: JSON parsed by nlohmann-json, then every value vostrel-pack uses taken
// by its exact key (the schema's, in manifest_schema.hpp) and checked for type and range.
#include "formats/manifest/manifest_read.hpp"

#include <limits>
#include <set>
#include <string_view>

#include <nlohmann/json.hpp>

#include "formats/manifest/manifest_schema.hpp"

namespace vostrel {

namespace {

using Json = nlohmann::json;
using namespace manifest;

// Room for the manifest's fixed part, and for each frame's two entries (in "frames" and in
// "meta.vostrel.frames"), which vostrel-sheet writes in about 250 bytes.
constexpr std::uint64_t kFixedBytes = std::uint64_t{1} << 20;
constexpr std::uint64_t kBytesPerFrame = 4096;
// The largest sheet side a PNG can have: its width and height are 31-bit.
constexpr std::int64_t kMaxCoordinate = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMaxPaletteIndex = 255;

const char* const kMakeAgain = "; make the sheets and the manifest again with vostrel-sheet";

[[noreturn]] void Refuse(const std::string& what) { throw ManifestError(what); }

const Json& Member(const Json& object, const char* key, const std::string& where) {
  if (!object.is_object()) {
    Refuse(where + " is not an object" + kMakeAgain);
  }
  const auto found = object.find(key);
  if (found == object.end()) {
    Refuse("has no " + where + "." + key + kMakeAgain);
  }
  return *found;
}

std::int64_t Integer(const Json& value, const std::string& where, std::int64_t low,
                     std::int64_t high) {
  bool inRange = false;
  std::int64_t number = 0;
  if (value.is_number_unsigned()) {
    const auto unsignedNumber = value.get<std::uint64_t>();
    inRange = unsignedNumber <= static_cast<std::uint64_t>(high);
    number = inRange ? static_cast<std::int64_t>(unsignedNumber) : 0;
  } else if (value.is_number_integer()) {
    number = value.get<std::int64_t>();
    inRange = true;
  } else {
    Refuse(where + " is not a whole number" + kMakeAgain);
  }
  if (!inRange || number < low || number > high) {
    Refuse(where + " is out of its range (" + std::to_string(low) + " to " + std::to_string(high) +
           ")" + kMakeAgain);
  }
  return number;
}

std::int64_t IntegerAt(const Json& object, const char* key, const std::string& where,
                       std::int64_t low, std::int64_t high) {
  return Integer(Member(object, key, where), where + "." + key, low, high);
}

std::string Text(const Json& value, const std::string& where) {
  if (!value.is_string()) {
    Refuse(where + " is not a string" + kMakeAgain);
  }
  return value.get<std::string>();
}

const Json& ArrayOf(const Json& value, const std::string& where, std::uint64_t size) {
  if (!value.is_array()) {
    Refuse(where + " is not an array" + kMakeAgain);
  }
  if (value.size() != size) {
    Refuse(where + " lists " + std::to_string(value.size()) + " entries, not " +
           std::to_string(size) + kMakeAgain);
  }
  return value;
}

// A sheet's name as the manifest gives it: a file beside the manifest, never a path that could
// reach elsewhere.
bool PlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\:") == std::string_view::npos;
}

// A name of the manifest (where), refused when it holds a control character: such a name is
// no file an editor saved, and a NUL would end it early for the system.
std::string Name(const Json& value, const std::string& where) {
  std::string name = Text(value, where);
  if (HoldsControlCharacter(name)) {
    Refuse(where + " holds a control character (" + name + ")" + kMakeAgain);
  }
  return name;
}

}  // namespace

std::uint64_t MaxManifestBytes(std::uint64_t frames) {
  // The frame counts of an .ART file are 32-bit words, so this cannot overflow.
  return kFixedBytes + frames * kBytesPerFrame;
}

Manifest ReadManifest(std::span<const std::uint8_t> bytes, const ManifestExpectation& expected) {
  const auto frameCount =
      static_cast<std::uint64_t>(expected.pictures) *
      static_cast<std::uint64_t>(expected.framesPerPicture);  // two counts below 2^31
  if (bytes.size() > MaxManifestBytes(frameCount)) {
    Refuse("is far larger (" + std::to_string(bytes.size()) + " bytes) than a manifest of " +
           std::to_string(frameCount) + " frames can be; give the manifest made from " +
           expected.source);
  }
  Json root;
  try {
    root = Json::parse(bytes.begin(), bytes.end());
  } catch (const Json::parse_error& error) {
    Refuse("is not valid JSON (at byte " + std::to_string(error.byte) + "); save it as JSON or " +
           "make the sheets and the manifest again with vostrel-sheet");
  } catch (const Json::exception&) {
    // A number past what a double holds (1e400) is refused while parsing, but not as a syntax
    // error.
    Refuse(
        "holds a number too large to read; make the sheets and the manifest again with "
        "vostrel-sheet");
  }
  const Json& meta = Member(root, kMeta, "the manifest");
  const Json& ours = Member(meta, kVostrel, kMeta);
  const std::string where = std::string(kMeta) + "." + kVostrel;

  Manifest manifest;
  manifest.source = Name(Member(ours, kSource, where), where + "." + kSource);
  if (manifest.source != expected.source) {
    Refuse("was made from " + manifest.source + ", not " + expected.source +
           "; give the manifest made from " + expected.source);
  }
  manifest.pictures = IntegerAt(ours, kPictures, where, 0, kMaxCoordinate);
  manifest.framesPerPicture = IntegerAt(ours, kFramesPerPicture, where, 0, kMaxCoordinate);
  manifest.palettes = IntegerAt(ours, kPalettes, where, 0, kMaxPaletteIndex);
  if (manifest.pictures != expected.pictures ||
      manifest.framesPerPicture != expected.framesPerPicture ||
      manifest.palettes != expected.palettes) {
    const auto counts = [](std::int64_t pictures, std::int64_t frames, std::int64_t palettes) {
      return std::to_string(pictures) + " pictures of " + std::to_string(frames) + " frames and " +
             std::to_string(palettes) + " palettes";
    };
    Refuse("describes " + counts(manifest.pictures, manifest.framesPerPicture, manifest.palettes) +
           ", but " + expected.source + " has " +
           counts(expected.pictures, expected.framesPerPicture, expected.palettes) +
           "; give the manifest made from this file");
  }
  const Json& transparent = Member(ours, kTransparent, where);
  if (!transparent.is_null()) {
    manifest.transparent = static_cast<std::uint8_t>(
        Integer(transparent, where + "." + kTransparent, 0, kMaxPaletteIndex));
  }
  manifest.padding = IntegerAt(ours, kPadding, where, 0, kMaxCoordinate);
  manifest.fps = IntegerAt(ours, kFps, where, kMinFps, kMaxFps);
  manifest.version = Text(Member(meta, kVersion, kMeta), std::string(kMeta) + "." + kVersion);
  manifest.columns = IntegerAt(ours, kColumns, where, 0, kMaxCoordinate);

  const Json& size = Member(meta, kSize, kMeta);
  const std::string sizeAt = std::string(kMeta) + "." + kSize;
  manifest.sheetWidth = IntegerAt(size, kW, sizeAt, 0, kMaxCoordinate);
  manifest.sheetHeight = IntegerAt(size, kH, sizeAt, 0, kMaxCoordinate);

  const Json& sheets = Member(ours, kSheets, where);
  if (!sheets.is_array() || sheets.size() > static_cast<std::size_t>(expected.palettes)) {
    Refuse(where + "." + kSheets + " is not an array of at most one sheet a palette" + kMakeAgain);
  }
  std::set<std::size_t> palettesSeen;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const std::string at = where + "." + kSheets + "[" + std::to_string(i) + "]";
    ManifestSheet sheet;
    sheet.image = Name(Member(sheets[i], kImage, at), at + "." + kImage);
    if (!PlainName(sheet.image)) {
      Refuse(at + "." + kImage + " is not the name of a file beside the manifest (" + sheet.image +
             ")" + "; keep the sheets beside the manifest, under their names as made");
    }
    sheet.palette =
        static_cast<std::size_t>(IntegerAt(sheets[i], kPalette, at, 0, expected.palettes - 1));
    if (!palettesSeen.insert(sheet.palette).second) {
      Refuse(at + " names palette " + std::to_string(sheet.palette) + " a second time" +
             kMakeAgain);
    }
    manifest.sheets.push_back(std::move(sheet));
  }

  // Sized only from counts the file itself confirmed above.
  const Json& frames = ArrayOf(Member(root, kFrames, "the manifest"), kFrames, frameCount);
  const Json& stored = ArrayOf(Member(ours, kFrames, where), where + "." + kFrames, frameCount);
  manifest.frames.resize(frameCount);
  for (std::size_t i = 0; i < frameCount; ++i) {
    const std::string at = std::string(kFrames) + "[" + std::to_string(i) + "]";
    const Json& rect = Member(frames[i], kFrame, at);
    const std::string rectAt = at + "." + kFrame;
    ManifestFrame& frame = manifest.frames[i];
    frame.rect.x = IntegerAt(rect, kX, rectAt, 0, kMaxCoordinate);
    frame.rect.y = IntegerAt(rect, kY, rectAt, 0, kMaxCoordinate);
    frame.rect.w = IntegerAt(rect, kW, rectAt, 0, kMaxCoordinate);
    frame.rect.h = IntegerAt(rect, kH, rectAt, 0, kMaxCoordinate);
    const std::string storedAt = where + "." + kFrames + "[" + std::to_string(i) + "]";
    frame.storedWidth = IntegerAt(stored[i], kWidth, storedAt,
                                  std::numeric_limits<std::int32_t>::min(), kMaxCoordinate);
    frame.storedHeight = IntegerAt(stored[i], kHeight, storedAt,
                                   std::numeric_limits<std::int32_t>::min(), kMaxCoordinate);
  }
  return manifest;
}

}  // namespace vostrel
