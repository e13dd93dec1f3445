// The manifest's reader: JSON parsed by nlohmann-json, then every value vostrel-pack uses taken
// by its exact key (the schema's, in manifest_schema.hpp) and checked for type and range.
#include "formats/manifest/manifest_read.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <set>
#include <string_view>
#include <tuple>

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

// Every refusal ends with advice: what to do about the manifest.
const Json& Member(const Json& object, const char* key, const std::string& where,
                   const char* advice = kMakeAgain) {
  if (!object.is_object()) {
    Refuse(where + " is not an object" + advice);
  }
  const auto found = object.find(key);
  if (found == object.end()) {
    Refuse("has no " + where + "." + key + advice);
  }
  return *found;
}

std::int64_t Integer(const Json& value, const std::string& where, std::int64_t low,
                     std::int64_t high, const char* advice = kMakeAgain) {
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
    Refuse(where + " is not a whole number" + advice);
  }
  if (!inRange || number < low || number > high) {
    Refuse(where + " is out of its range (" + std::to_string(low) + " to " + std::to_string(high) +
           ")" + advice);
  }
  return number;
}

std::int64_t IntegerAt(const Json& object, const char* key, const std::string& where,
                       std::int64_t low, std::int64_t high, const char* advice = kMakeAgain) {
  return Integer(Member(object, key, where, advice), where + "." + key, low, high, advice);
}

std::string Text(const Json& value, const std::string& where, const char* advice = kMakeAgain) {
  if (!value.is_string()) {
    Refuse(where + " is not a string" + advice);
  }
  return value.get<std::string>();
}

const Json& ArrayOf(const Json& value, const std::string& where, std::uint64_t size,
                    const char* advice = kMakeAgain) {
  if (!value.is_array()) {
    Refuse(where + " is not an array" + advice);
  }
  if (value.size() != size) {
    Refuse(where + " lists " + std::to_string(value.size()) + " entries, not " +
           std::to_string(size) + advice);
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
std::string Name(const Json& value, const std::string& where, const char* advice = kMakeAgain) {
  std::string name = Text(value, where, advice);
  if (HoldsControlCharacter(name)) {
    Refuse(where + " holds a control character (" + name + ")" + advice);
  }
  return name;
}

// A sheet's name: a file beside the manifest, named without a control character.
std::string SheetImage(const Json& value, const std::string& where, const char* keep,
                       const char* advice = kMakeAgain) {
  std::string image = Name(value, where, advice);
  if (!PlainName(image)) {
    Refuse(where + " is not the name of a file beside the manifest (" + image + ")" + keep);
  }
  return image;
}

// The JSON of a manifest.
Json Parse(std::span<const std::uint8_t> bytes, const std::string& again) {
  try {
    return Json::parse(bytes.begin(), bytes.end());
  } catch (const Json::parse_error& error) {
    Refuse("is not valid JSON (at byte " + std::to_string(error.byte) + "); save it as JSON or " +
           again);
  } catch (const Json::exception&) {
    // A number past what a double holds (1e400) is refused while parsing, but not as a syntax
    // error.
    Refuse("holds a number too large to read; " + again);
  }
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
  const Json root = Parse(bytes, "make the sheets and the manifest again with vostrel-sheet");
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
    sheet.image = SheetImage(Member(sheets[i], kImage, at), at + "." + kImage,
                             "; keep the sheets beside the manifest, under their names as made");
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
  // The array holds frameCount entries (ArrayOf checked it), so its size is that count in the
  // platform's own size type.
  manifest.frames.resize(frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
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

namespace {

const char* const kMend = "; mend the manifest, or export the sheet and its manifest again";
constexpr std::int64_t kMinWord = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kMaxWord = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kMaxByte = 255;

// A first pass over a manifest's text, building nothing: it counts the values, stopping past
// kMaxNewManifestValues, so that no text of a few megabytes of empty objects makes a parsed
// document of hundreds; and it notes the names of the root's "frames" object in the order the
// text gives them, which the parsed object does not keep (nlohmann-json's parser callback would,
// but takes time quadratic in the length of an array).
class FirstPass : public nlohmann::json_sax<Json> {
 public:
  std::vector<std::string> names;
  std::uint64_t values = 0;
  bool malformed = false;

  bool key(string_t& name) override {
    if (depth_ == kRootMembers) {
      inFrames_ = name == kFrames;
      if (inFrames_) {
        names.clear();  // a later "frames" replaces an earlier one
      }
    } else if (depth_ == kFrameNames && inFrames_ && objectAt_[kFrameNames - 1]) {
      names.push_back(name);
    }
    return true;
  }
  bool start_object(std::size_t) override { return Enter(true); }
  bool end_object() override { return Leave(); }
  bool start_array(std::size_t) override { return Enter(false); }
  bool end_array() override { return Leave(); }
  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    malformed = true;
    return false;
  }

 private:
  static constexpr std::size_t kRootMembers = 1;
  static constexpr std::size_t kFrameNames = 2;
  bool Value() { return ++values <= kMaxNewManifestValues; }
  // Whether the value entered at each depth is an object; only the first two are looked at.
  bool Enter(bool object) {
    if (depth_ < objectAt_.size()) {
      objectAt_[depth_] = object;
    }
    ++depth_;
    return Value();
  }
  bool Leave() {
    --depth_;
    return true;
  }
  std::size_t depth_ = 0;
  std::array<bool, kFrameNames> objectAt_{};
  bool inFrames_ = false;
};

// A member that may be missing; nullptr then. object is known to be an object.
const Json* Optional(const Json& object, const char* key) {
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

const Json& ObjectAt(const Json& value, const std::string& where) {
  if (!value.is_object()) {
    Refuse(where + " is not an object" + kMend);
  }
  return value;
}

// A list of exactly size whole numbers from low to high.
template <typename Number, std::size_t N>
std::array<Number, N> NumbersOf(const Json& value, const std::string& where, std::int64_t low,
                                std::int64_t high) {
  const Json& list = ArrayOf(value, where, N, kMend);
  std::array<Number, N> numbers{};
  for (std::size_t i = 0; i < N; ++i) {
    numbers[i] = static_cast<Number>(
        Integer(list[i], where + "[" + std::to_string(i) + "]", low, high, kMend));
  }
  return numbers;
}

// {x, y, w, h} on a sheet.
SheetRect RectOf(const Json& value, const std::string& where) {
  ObjectAt(value, where);
  return {IntegerAt(value, kX, where, 0, kMaxCoordinate, kMend),
          IntegerAt(value, kY, where, 0, kMaxCoordinate, kMend),
          IntegerAt(value, kW, where, 0, kMaxCoordinate, kMend),
          IntegerAt(value, kH, where, 0, kMaxCoordinate, kMend)};
}

bool Flag(const Json& frame, const char* key, const std::string& where) {
  const Json* value = Optional(frame, key);
  if (value == nullptr || value->is_null()) {
    return false;
  }
  if (!value->is_boolean()) {
    Refuse(where + "." + key + " is not true or false" + kMend);
  }
  return value->get<bool>();
}

// A frame of "frames": its rectangle and, in a sprite editor's manifest, where trimming left it.
NewManifestFrame FrameOf(const Json& entry, const std::string& at, bool ours) {
  ObjectAt(entry, at);
  NewManifestFrame frame;
  frame.rect = RectOf(Member(entry, kFrame, at, kMend), at + "." + kFrame);
  if (Flag(entry, kRotated, at)) {
    Refuse(at + " is turned on the sheet (" + kRotated +
           " is true), which no frame of a sprite can be; export the sheet without rotating "
           "frames");
  }
  if (ours || !Flag(entry, kTrimmed, at)) {
    return frame;
  }
  const std::string sourceAt = at + "." + kSourceSize;
  const Json& source = ObjectAt(Member(entry, kSourceSize, at, kMend), sourceAt);
  const std::string placeAt = at + "." + kSpriteSourceSize;
  const SheetRect place = RectOf(Member(entry, kSpriteSourceSize, at, kMend), placeAt);
  TrimmedFrame trimmed{place.x, place.y, IntegerAt(source, kW, sourceAt, 0, kMaxCoordinate, kMend),
                       IntegerAt(source, kH, sourceAt, 0, kMaxCoordinate, kMend)};
  if (place.w != frame.rect.w || place.h != frame.rect.h) {
    Refuse(at + "." + kSpriteSourceSize + " is " + std::to_string(place.w) + " x " +
           std::to_string(place.h) + " where its frame is " + std::to_string(frame.rect.w) + " x " +
           std::to_string(frame.rect.h) +
           ", as a frame scaled on the sheet would be; export the sheet at scale 1");
  }
  if (place.x + place.w > trimmed.width || place.y + place.h > trimmed.height) {
    Refuse(at + "." + kSpriteSourceSize + " lies outside its " + kSourceSize + kMend);
  }
  frame.trimmed = trimmed;
  return frame;
}

// What meta.vostrel.frames says of a frame, each part when given.
void TakeStored(const Json& entry, const std::string& at, NewManifestFrame& frame) {
  ObjectAt(entry, at);
  if (const Json* width = Optional(entry, kWidth)) {
    frame.storedWidth =
        static_cast<std::int32_t>(Integer(*width, at + "." + kWidth, kMinWord, kMaxWord, kMend));
  }
  if (const Json* height = Optional(entry, kHeight)) {
    frame.storedHeight =
        static_cast<std::int32_t>(Integer(*height, at + "." + kHeight, kMinWord, kMaxWord, kMend));
  }
  if (const Json* words = Optional(entry, kWords)) {
    frame.words = NumbersOf<std::int32_t, std::tuple_size_v<ArtFrameWords>>(
        *words, at + "." + kWords, kMinWord, kMaxWord);
  }
  if (const Json* storage = Optional(entry, kStorage)) {
    const std::string name = Text(*storage, at + "." + kStorage, kMend);
    if (name != kRaw && name != kRunLength) {
      Refuse(at + "." + kStorage + " is neither \"" + kRaw + "\" nor \"" + kRunLength + "\" (" +
             name + ")" + kMend);
    }
    frame.storage = name == kRaw ? FrameStorage::kRaw : FrameStorage::kRunLength;
  }
}

void ReadOurs(const Json& ours, NewManifest& manifest) {
  const std::string where = std::string(kMeta) + "." + kVostrel;
  ObjectAt(ours, where);
  manifest.ours = true;
  manifest.pictures = IntegerAt(ours, kPictures, where, 0, kMaxCoordinate, kMend);
  manifest.framesPerPicture = IntegerAt(ours, kFramesPerPicture, where, 0, kMaxCoordinate, kMend);
  if (const Json* palettes = Optional(ours, kPalettes)) {
    manifest.palettes = Integer(*palettes, where + "." + kPalettes, 0, kArtMaxPalettes, kMend);
  }
  if (const Json* transparent = Optional(ours, kTransparent);
      transparent && !transparent->is_null()) {
    manifest.transparent = static_cast<std::uint8_t>(
        Integer(*transparent, where + "." + kTransparent, 0, kMaxPaletteIndex, kMend));
  }
  if (const Json* header = Optional(ours, kHeader)) {
    manifest.header = NumbersOf<std::int32_t, kArtHeaderWords>(*header, where + "." + kHeader,
                                                               kMinWord, kMaxWord);
  }
  const std::string sheetsAt = where + "." + kSheets;
  const Json& sheets = Member(ours, kSheets, where, kMend);
  if (!sheets.is_array() || sheets.size() > static_cast<std::size_t>(kArtMaxPalettes)) {
    Refuse(sheetsAt + " is not an array of at most " + std::to_string(kArtMaxPalettes) +
           " sheets, one a palette" + kMend);
  }
  std::set<std::size_t> palettesSeen;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const std::string at = sheetsAt + "[" + std::to_string(i) + "]";
    ObjectAt(sheets[i], at);
    NewManifestSheet sheet;
    sheet.image = SheetImage(Member(sheets[i], kImage, at, kMend), at + "." + kImage,
                             "; keep the sheets beside the manifest", kMend);
    sheet.palette =
        static_cast<std::size_t>(IntegerAt(sheets[i], kPalette, at, 0, kArtMaxPalettes - 1, kMend));
    if (!palettesSeen.insert(sheet.palette).second) {
      Refuse(at + " names palette " + std::to_string(sheet.palette) + " a second time" + kMend);
    }
    if (const Json* fourth = Optional(sheets[i], kFourthBytes)) {
      const auto bytes =
          NumbersOf<std::uint8_t, kPaletteEntries>(*fourth, at + "." + kFourthBytes, 0, kMaxByte);
      sheet.fourthBytes.emplace(bytes.begin(), bytes.end());
    }
    manifest.sheets.push_back(std::move(sheet));
  }
}

void ReadTags(const Json& meta, NewManifest& manifest) {
  const Json* tags = Optional(meta, kFrameTags);
  if (tags == nullptr || tags->is_null()) {
    return;
  }
  const std::string where = std::string(kMeta) + "." + kFrameTags;
  if (!tags->is_array()) {
    Refuse(where + " is not an array" + kMend);
  }
  const auto last = static_cast<std::int64_t>(manifest.frames.size()) - 1;
  std::vector<bool> tagged(manifest.frames.size(), false);
  for (std::size_t i = 0; i < tags->size(); ++i) {
    const std::string at = where + "[" + std::to_string(i) + "]";
    ObjectAt((*tags)[i], at);
    const std::int64_t from = IntegerAt((*tags)[i], kFrom, at, 0, kMaxCoordinate, kMend);
    const std::int64_t to = IntegerAt((*tags)[i], kTo, at, 0, kMaxCoordinate, kMend);
    if (from > to || to > last) {
      Refuse(at + " tags frames " + std::to_string(from) + " to " + std::to_string(to) +
             ", but the manifest lists frames 0 to " + std::to_string(last) + kMend);
    }
    for (std::int64_t f = from; f <= to; ++f) {
      if (tagged[static_cast<std::size_t>(f)]) {
        Refuse(at + " tags frame " + std::to_string(f) +
               ", which another tag has already; each frame is in one picture, one tag each" +
               kMend);
      }
      tagged[static_cast<std::size_t>(f)] = true;
    }
    manifest.tags.push_back({from, to});
  }
  const auto untagged = std::find(tagged.begin(), tagged.end(), false);
  if (!manifest.tags.empty() && untagged != tagged.end()) {
    Refuse("frame " + std::to_string(untagged - tagged.begin()) + " is in no tag of " + where +
           "; each frame is in one picture, one tag each" + kMend);
  }
}

}  // namespace

NewManifest ReadNewManifest(std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kMaxNewManifestBytes) {
    Refuse("is larger (" + std::to_string(bytes.size()) +
           " bytes) than a manifest of a sprite can be (" + std::to_string(kMaxNewManifestBytes) +
           " bytes); give the manifest of the sheets");
  }
  const char* const again = "export the sheet and its manifest again";
  FirstPass first;
  try {
    Json::sax_parse(bytes.begin(), bytes.end(), &first);
  } catch (const Json::exception&) {
    first.malformed = true;
  }
  if (!first.malformed && first.values > kMaxNewManifestValues) {
    Refuse("holds more than " + std::to_string(kMaxNewManifestValues) +
           " values, more than a manifest of a sprite needs; give the manifest of the sheets");
  }
  const Json root = Parse(bytes, again);  // refuses what the first pass found malformed
  if (!root.is_object()) {
    Refuse("the manifest is not an object" + std::string(kMend));
  }
  NewManifest manifest;
  const Json& meta = ObjectAt(Member(root, kMeta, "the manifest", kMend), kMeta);
  if (const Json* ours = Optional(meta, kVostrel)) {
    ReadOurs(*ours, manifest);
  } else {
    const std::string at = std::string(kMeta) + "." + kImage;
    manifest.sheets.push_back({SheetImage(Member(meta, kImage, kMeta, kMend), at,
                                          "; keep the sheet beside the manifest", kMend),
                               0, std::nullopt});
  }

  const Json& frames = Member(root, kFrames, "the manifest", kMend);
  if (frames.is_object()) {
    const std::vector<std::string>& names = first.names;
    std::set<std::string_view> seen;
    for (const std::string& name : names) {
      if (!seen.insert(name).second) {
        Refuse(std::string(kFrames) + " names the frame " + name + " twice" + kMend);
      }
    }
    if (names.size() != frames.size()) {
      Refuse(std::string(kFrames) + " could not be read in order" + kMend);  // never so
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      manifest.frames.push_back(FrameOf(frames.at(names[i]),
                                        std::string(kFrames) + "[" + std::to_string(i) + "]",
                                        manifest.ours));
    }
  } else if (frames.is_array()) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
      manifest.frames.push_back(
          FrameOf(frames[i], std::string(kFrames) + "[" + std::to_string(i) + "]", manifest.ours));
    }
  } else {
    Refuse(std::string(kFrames) + " is neither an array nor an object" + kMend);
  }

  if (manifest.ours) {
    const std::string where = std::string(kMeta) + "." + kVostrel;
    // Both counts are below 2^31, so their product cannot overflow.
    const std::uint64_t count = static_cast<std::uint64_t>(manifest.pictures) *
                                static_cast<std::uint64_t>(manifest.framesPerPicture);
    if (manifest.frames.size() != count) {
      Refuse(std::string(kFrames) + " lists " + std::to_string(manifest.frames.size()) +
             " frames, but " + where + " gives " + std::to_string(manifest.pictures) +
             " pictures of " + std::to_string(manifest.framesPerPicture) +
             "; list one frame for each, picture by picture");
    }
    const Json& stored = ArrayOf(Member(meta.at(kVostrel), kFrames, where, kMend),
                                 where + "." + kFrames, count, kMend);
    for (std::size_t i = 0; i < manifest.frames.size(); ++i) {
      TakeStored(stored[i], where + "." + kFrames + "[" + std::to_string(i) + "]",
                 manifest.frames[i]);
    }
  } else {
    ReadTags(meta, manifest);
  }
  return manifest;
}

}  // namespace vostrel
