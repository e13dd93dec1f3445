// The manifest reader alone: every key it takes, of the wrong type or out of range, and the
// checks against the file it must describe.
#include "formats/manifest/manifest_read.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "formats/manifest/manifest_schema.hpp"
#include "formats/manifest/manifest_write.hpp"

namespace vostrel {
namespace {

using Json = nlohmann::json;
using namespace manifest;

const ManifestExpectation kDoor{"door.art", 1, 2, 2};

// A manifest of door.art as vostrel-sheet writes it: one picture of a 4 x 3 and a 2 x 2 frame,
// two palettes, laid out with a padding of 1.
Json Valid() {
  Sprite sprite;
  sprite.pictures = 1;
  sprite.framesPerPicture = 2;
  sprite.palettes.resize(2);
  for (const auto& [width, height] : {std::pair{4, 3}, std::pair{2, 2}}) {
    SpriteFrame& frame = sprite.frames.emplace_back();
    ReplaceFrame(frame, width, height, std::vector<std::uint8_t>(std::size_t(width * height)));
  }
  std::vector<ArtFrameHeader> headers;
  for (const SpriteFrame& frame : sprite.frames) {
    headers.push_back(frame.header);
  }
  const SheetLayoutResult laid = LayOutSheet(1, 2, headers, 1, std::nullopt);
  return Json::parse(SheetManifest(sprite, *laid.layout, {"door.art", "door", "0.1", 0, 8}));
}

struct ManifestCase {
  const char* name;
  std::function<void(Json&)> change;
  std::string error;  // a part of the refusal; empty when it is read
};

TEST(ReadManifestTest, TakesExactlyItsKeysAndChecksThem) {
  const ManifestCase cases[] = {
      {"Valid", [](Json&) {}, ""},
      {"NoTransparency", [](Json& m) { m[kMeta][kVostrel][kTransparent] = nullptr; }, ""},
      {"NoMeta", [](Json& m) { m.erase(kMeta); }, "has no the manifest.meta"},
      {"NotAnObject", [](Json& m) { m = Json::array(); }, "the manifest is not an object"},
      {"NoSource", [](Json& m) { m[kMeta][kVostrel].erase(kSource); },
       "has no meta.vostrel.source"},
      {"OtherSource", [](Json& m) { m[kMeta][kVostrel][kSource] = "DOOR.ART"; },
       "was made from DOOR.ART, not door.art"},
      {"OtherPalettes", [](Json& m) { m[kMeta][kVostrel][kPalettes] = 1; },
       "describes 1 pictures of 2 frames and 1 palettes, but door.art has 1 pictures of 2 "
       "frames and 2 palettes"},
      {"CountAsText", [](Json& m) { m[kMeta][kVostrel][kPictures] = "1"; },
       "meta.vostrel.pictures is not a whole number"},
      {"CountAsFraction", [](Json& m) { m[kMeta][kVostrel][kPictures] = 1.5; },
       "meta.vostrel.pictures is not a whole number"},
      {"CountPast64Bits", [](Json& m) { m[kMeta][kVostrel][kPictures] = 18446744073709551615ULL; },
       "meta.vostrel.pictures is out of its range"},
      {"NegativeX", [](Json& m) { m[kFrames][1][kFrame][kX] = -1; },
       "frames[1].frame.x is out of its range (0 to 2147483647)"},
      {"WidthPast31Bits", [](Json& m) { m[kFrames][0][kFrame][kW] = 2147483648LL; },
       "frames[0].frame.w is out of its range"},
      {"TransparentPast255", [](Json& m) { m[kMeta][kVostrel][kTransparent] = 256; },
       "meta.vostrel.transparent is out of its range (0 to 255)"},
      {"FpsZero", [](Json& m) { m[kMeta][kVostrel][kFps] = 0; },
       "meta.vostrel.fps is out of its range (1 to 100)"},
      {"SheetInAnotherDirectory",
       [](Json& m) { m[kMeta][kVostrel][kSheets][0][kImage] = "../door_0.png"; },
       "meta.vostrel.sheets[0].image is not the name of a file beside the manifest"},
      // Shown escaped, and the text goes on after it.
      {"SheetNameHoldingANul",
       [](Json& m) {
         m[kMeta][kVostrel][kSheets][0][kImage] = std::string("door_0.png\0.txt", 15);
       },
       "meta.vostrel.sheets[0].image holds a control character (door_0.png\\u0000.txt); make the "
       "sheets"},
      {"SourceHoldingALineEnd", [](Json& m) { m[kMeta][kVostrel][kSource] = "door\n.art"; },
       "meta.vostrel.source holds a control character (door\\u000a.art)"},
      {"SheetPaletteTwice", [](Json& m) { m[kMeta][kVostrel][kSheets][1][kPalette] = 0; },
       "meta.vostrel.sheets[1] names palette 0 a second time"},
      {"SheetPaletteMissing", [](Json& m) { m[kMeta][kVostrel][kSheets][1][kPalette] = 2; },
       "meta.vostrel.sheets[1].palette is out of its range (0 to 1)"},
      {"MoreSheetsThanPalettes",
       [](Json& m) {
         m[kMeta][kVostrel][kSheets].push_back({{kImage, "x.png"}});
       },
       "meta.vostrel.sheets is not an array of at most one sheet a palette"},
      {"FrameMissing", [](Json& m) { m[kFrames].erase(1); }, "frames lists 1 entries, not 2"},
      {"StoredFrameMissing", [](Json& m) { m[kMeta][kVostrel][kFrames].erase(0); },
       "meta.vostrel.frames lists 1 entries, not 2"},
      {"FramesNotAnArray", [](Json& m) { m[kFrames] = Json::object(); }, "frames is not an array"},
      {"NoStoredHeight", [](Json& m) { m[kMeta][kVostrel][kFrames][1].erase(kHeight); },
       "has no meta.vostrel.frames[1].height"},
  };
  for (const ManifestCase& c : cases) {
    Json manifest = Valid();
    c.change(manifest);
    const std::string text = manifest.dump();
    try {
      const Manifest read = ReadManifest(
          std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), kDoor);
      EXPECT_TRUE(c.error.empty()) << c.name << " was read";
      EXPECT_EQ(read.frames.size(), 2u) << c.name;
      EXPECT_EQ(read.frames[1].rect.x, 6) << c.name;
      EXPECT_EQ(read.frames[0].storedWidth, 4) << c.name;
      EXPECT_EQ(read.sheetWidth, 11) << c.name;
      EXPECT_EQ(read.sheets[1].image, "door_1.png") << c.name;
    } catch (const ManifestError& error) {
      EXPECT_FALSE(c.error.empty()) << c.name << ": " << error.what();
      EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos)
          << c.name << ": " << error.what();
    }
  }
}

TEST(ReadManifestTest, RefusesBrokenJsonAndMoreBytesThanItsFramesNeed) {
  const std::string broken = "{\"frames\": [";
  EXPECT_THROW(
      ReadManifest(std::span(reinterpret_cast<const std::uint8_t*>(broken.data()), broken.size()),
                   kDoor),
      ManifestError);
  // Found by the fuzz target: a number past a double's range is no syntax error to the parser.
  const std::string huge = "[255e89056]";
  try {
    ReadManifest(std::span(reinterpret_cast<const std::uint8_t*>(huge.data()), huge.size()), kDoor);
    ADD_FAILURE() << "a number past a double's range was read";
  } catch (const ManifestError& error) {
    EXPECT_NE(std::string(error.what()).find("holds a number too large"), std::string::npos)
        << error.what();
  }
  const std::vector<std::uint8_t> large(MaxManifestBytes(2) + 1, ' ');
  try {
    ReadManifest(large, kDoor);
    ADD_FAILURE() << "a manifest past its size was read";
  } catch (const ManifestError& error) {
    EXPECT_NE(std::string(error.what()).find("is far larger"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace vostrel
