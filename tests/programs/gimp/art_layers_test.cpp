// The image editor plug-in's decisions, without the editor: the layers an .ART file opens as,
// and the file that layers, changed in the ways an editor changes them, save back into.
#include "programs/gimp/art_layers.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/art_writer.hpp"

namespace vostrel {
namespace {

using test::Bytes;

// Eight pictures of two frames, two palettes: frame 0 of each picture raw, frame 1 run-length,
// picture 6 frame 1 with no pixels and picture 7 frame 0 of a negative width, which the loader
// takes and no picture can show; then four bytes after the last frame.
Bytes SampleFile() {
  test::ArtSpec art;
  art.flags = 0;
  art.frameCount = 2;
  art.fillerWords[20] = -5;
  art.palettePresent = {1, 1, 0, 0};
  art.palettes = {test::MakePalette(3), test::MakePalette(9)};
  for (std::int32_t p = 0; p < 8; ++p) {
    const auto seed = static_cast<std::uint8_t>(p * 2);
    const std::int32_t width = 3 + p;
    const std::int32_t height = 2 + p % 3;
    if (p == 7) {
      art.frames.emplace_back(-4, 2, Bytes{});
    } else {
      art.frames.emplace_back(width, height, test::MakePixels(width, height, seed));
    }
    if (p == 6) {
      art.frames.emplace_back(0, 5, Bytes{});
    } else {
      // Runs of one index per row, so the stream is much shorter than the pixels.
      Bytes pixels;
      for (std::int32_t y = 0; y < height + 1; ++y) {
        pixels.insert(pixels.end(), static_cast<std::size_t>(width + 2),
                      static_cast<std::uint8_t>(seed + y));
      }
      art.frames.emplace_back(width + 2, height + 1, test::EncodeRle(pixels));
    }
    art.frames.back().words = {p, 1, 2, 3};
  }
  Bytes file = test::WriteArt(art);
  file.insert(file.end(), {0xDE, 0xAD, 0xBE, 0xEF});
  return file;
}

const Bytes& Sample() {
  static const Bytes file = SampleFile();
  return file;
}

Sprite Parsed(std::span<const std::uint8_t> bytes) {
  SpriteLoad load = ParseSprite(bytes);
  EXPECT_TRUE(load.sprite.has_value());
  return load.sprite ? std::move(*load.sprite) : Sprite{};
}

std::vector<std::uint8_t> Indices(const SpriteFrame& frame) {
  std::vector<std::uint8_t> plane;
  EXPECT_TRUE(DecodeFrame(frame.header, frame.data, plane).has_value());
  return plane;
}

// The image as the editor holds it right after opening, as the plug-in reads it back.
ImagePixels Opened(const ImagePlan& plan) {
  ImagePixels image;
  image.colourMap.assign(plan.colourMap.begin(), plan.colourMap.end());
  for (const LayerPlan& layer : plan.layers) {
    LayerPixels pixels{layer.name, layer.width, layer.height, false, layer.indices};
    if (layer.kind != LayerKind::kPicture) {
      pixels.hasAlpha = true;
      pixels.pixels = {0, 0};
    }
    image.layers.push_back(std::move(pixels));
  }
  return image;
}

// ---- opening -----------------------------------------------------------------------------------

TEST(GimpOpen, LayersRunPicturesTopDownAndFramesBottomUp) {
  const OpenResult open = PlanImage(Sample(), 2, "sample.art");
  ASSERT_TRUE(open.plan) << open.error;
  const ImagePlan& plan = *open.plan;
  const Sprite sprite = Parsed(Sample());
  ASSERT_EQ(plan.layers.size(), 16u);
  // The largest width (picture 8's run-length frame: 12) and height (picture 6's: 5) among the
  // frames that make a picture.
  EXPECT_EQ(plan.width, 12);
  EXPECT_EQ(plan.height, 5);
  struct Expected {
    std::size_t layer;
    std::string name;
    LayerKind kind;
  };
  const Expected table[] = {
      {0, "Picture 1 Frame 2", LayerKind::kPicture},
      {1, "Picture 1 Frame 1", LayerKind::kPicture},
      {2, "Picture 2 Frame 2", LayerKind::kPicture},
      {12, "Picture 7 Frame 2 (no pixels, 0 x 5: kept as it is)", LayerKind::kNoPixels},
      {13, "Picture 7 Frame 1", LayerKind::kPicture},
      {15, "Picture 8 Frame 1 (invalid size -4 x 2: kept as it is)", LayerKind::kInvalidSize},
  };
  for (const Expected& expected : table) {
    SCOPED_TRACE(expected.name);
    const LayerPlan& layer = plan.layers[expected.layer];
    EXPECT_EQ(layer.name, expected.name);
    EXPECT_EQ(layer.kind, expected.kind);
    const SpriteFrame& frame = sprite.Frame(layer.picture, layer.frame);
    if (expected.kind == LayerKind::kPicture) {
      EXPECT_EQ(layer.width, frame.header.width);
      EXPECT_EQ(layer.height, frame.header.height);
      EXPECT_EQ(layer.indices, Indices(frame));
    } else {
      EXPECT_EQ(layer.width, 1);
      EXPECT_TRUE(layer.indices.empty());
    }
  }
  // The colour map is palette 2 as red, green, blue.
  const ArtPalette& palette = sprite.palettes[1];
  for (std::size_t i : {0u, 1u, 200u, 255u}) {
    EXPECT_EQ(plan.colourMap[i * 3], palette[i * 4 + 2]);
    EXPECT_EQ(plan.colourMap[i * 3 + 1], palette[i * 4 + 1]);
    EXPECT_EQ(plan.colourMap[i * 3 + 2], palette[i * 4]);
  }
}

TEST(GimpOpen, LayerPositionsNameTheirFrames) {
  struct Case {
    std::size_t index;
    std::int32_t framesPerPicture;
    std::int32_t picture;
    std::int32_t frame;
  };
  const Case table[] = {{0, 2, 0, 1}, {1, 2, 0, 0}, {5, 2, 2, 0}, {0, 1, 0, 0},
                        {7, 1, 7, 0}, {3, 4, 0, 0}, {4, 4, 1, 3}};
  for (const Case& c : table) {
    const FramePosition at = FrameOfLayer(c.index, c.framesPerPicture);
    EXPECT_EQ(at.picture, c.picture) << c.index << " of " << c.framesPerPicture;
    EXPECT_EQ(at.frame, c.frame) << c.index << " of " << c.framesPerPicture;
  }
}

TEST(GimpOpen, PaletteArgumentsAndRefusals) {
  struct Case {
    std::int32_t argument;
    std::optional<std::int32_t> palette;
  };
  for (const Case& c :
       {Case{0, 1}, Case{1, 1}, Case{4, 4}, Case{5, std::nullopt}, Case{-1, std::nullopt}}) {
    EXPECT_EQ(PaletteArgument(c.argument), c.palette) << c.argument;
  }
  struct Refusal {
    Bytes file;
    std::int32_t palette;
    std::string says;
  };
  Bytes cut = Sample();
  cut.resize(100);
  const Refusal table[] = {
      {Sample(), 3,
       "sample.art has 2 palettes, so palette 3 cannot be shown; choose a palette "
       "from 1 to 2"},
      {cut, 1, "sample.art: Could not load ART file (shorter than its header)"},
      {Bytes{}, 1, "sample.art: Could not load ART file (shorter than its header)"},
  };
  for (const Refusal& refusal : table) {
    const OpenResult open = PlanImage(refusal.file, refusal.palette, "sample.art");
    EXPECT_FALSE(open.plan);
    EXPECT_NE(open.error.find(refusal.says), std::string::npos) << open.error;
  }
}

TEST(GimpOpen, FramesTooLargeForTheEditorStandIn) {
  struct Case {
    std::int32_t width;
    std::int32_t height;
    LayerKind kind;
  };
  const Case table[] = {
      {1, 1, LayerKind::kPicture},
      {kEditorMaxSide, 1, LayerKind::kPicture},
      {kEditorMaxSide + 1, 1, LayerKind::kTooLarge},
      {16384, 16385, LayerKind::kTooLarge},
      {0, 0, LayerKind::kNoPixels},
      {5, 0, LayerKind::kNoPixels},
      {-1, 5, LayerKind::kInvalidSize},
      {65536, 65536, LayerKind::kInvalidSize},
  };
  for (const Case& c : table) {
    ArtFrameHeader header;
    header.width = c.width;
    header.height = c.height;
    EXPECT_EQ(LayerKindOf(header), c.kind) << c.width << " x " << c.height;
  }
}

TEST(GimpOpen, TheSourceRecordRoundTripsAndRefusesOthers) {
  const ArtSource source{3, Sample()};
  const std::optional<ArtSource> back = DecodeSource(EncodeSource(source));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->palette, 3);
  EXPECT_EQ(back->bytes, Sample());
  EXPECT_FALSE(DecodeSource(Bytes{}));
  EXPECT_FALSE(DecodeSource(Bytes{2, 1}));  // a later layout
  EXPECT_FALSE(DecodeSource(Bytes{1, 5}));  // no such palette
}

// ---- saving ------------------------------------------------------------------------------------

// What a save case expects of the written file, against the source.
struct SaveCase {
  std::string name;
  std::int32_t palette = 1;
  std::function<void(ImagePixels&)> edit = {};
  std::string refusal = {};                // non-empty: refused with a message holding this
  std::vector<std::size_t> replaced = {};  // layers whose frames changed
  std::function<void(const Sprite& before, const Sprite& after)> check = {};
  bool sameBytes = false;  // the source byte for byte
  bool source = true;      // opened from the sample, whose file the image keeps
  bool made = false;       // a file made anew: check alone says what it holds
};

void PrintTo(const SaveCase& c, std::ostream* out) { *out << c.name; }

class GimpSave : public testing::TestWithParam<SaveCase> {};

TEST_P(GimpSave, WritesWhatTheLayersShow) {
  const SaveCase& c = GetParam();
  const OpenResult open = PlanImage(Sample(), c.palette, "sample.art");
  ASSERT_TRUE(open.plan) << open.error;
  ImagePixels image = Opened(*open.plan);
  if (c.edit) {
    c.edit(image);
  }
  const std::optional<ArtSource> source =
      c.source ? std::optional(ArtSource{c.palette, Sample()}) : std::nullopt;
  const SaveResult saved = BuildSavedFile(source, image);
  if (!c.refusal.empty()) {
    EXPECT_FALSE(saved.bytes);
    EXPECT_NE(saved.error.find(c.refusal), std::string::npos) << saved.error;
    return;
  }
  ASSERT_TRUE(saved.bytes) << saved.error;
  EXPECT_EQ(saved.made, c.made);
  if (c.made) {
    c.check(Parsed(Sample()), Parsed(*saved.bytes));
    return;
  }
  if (c.sameBytes) {
    EXPECT_EQ(*saved.bytes, Sample());
  }
  EXPECT_EQ(saved.framesReplaced, c.replaced.size());
  const Sprite before = Parsed(Sample());
  const Sprite after = Parsed(*saved.bytes);
  EXPECT_EQ(after.missingBytes, 0u);
  EXPECT_EQ(AnnouncedSize(after), saved.bytes->size() - (c.sameBytes ? 4 : 0));
  ASSERT_EQ(after.FrameCount(), before.FrameCount());
  for (std::size_t i = 0; i < before.FrameCount(); ++i) {
    const FramePosition at = FrameOfLayer(i, before.framesPerPicture);
    const SpriteFrame& old = before.Frame(at.picture, at.frame);
    const SpriteFrame& now = after.Frame(at.picture, at.frame);
    const bool replaced = std::ranges::find(c.replaced, i) != c.replaced.end();
    EXPECT_EQ(now.header.unknown, old.header.unknown) << "layer " << i;
    if (!replaced) {
      EXPECT_EQ(now.header.width, old.header.width) << "layer " << i;
      EXPECT_EQ(now.header.dataSize, old.header.dataSize) << "layer " << i;
      EXPECT_EQ(now.data, old.data) << "layer " << i;
      continue;
    }
    // What the layer holds, at the layer's size, in the frame's storage.
    const LayerPixels& layer = image.layers[i];
    EXPECT_EQ(now.header.width, layer.width);
    EXPECT_EQ(now.header.height, layer.height);
    EXPECT_EQ(StorageOf(now.header), StorageOf(old.header)) << "layer " << i;
    std::vector<std::uint8_t> expected = layer.pixels;
    if (layer.hasAlpha) {
      expected.clear();
      for (std::size_t k = 0; k < layer.pixels.size(); k += 2) {
        expected.push_back(layer.pixels[k + 1] == 0 ? 0 : layer.pixels[k]);
      }
    }
    EXPECT_EQ(Indices(now), expected) << "layer " << i;
  }
  EXPECT_EQ(after.header.frameCount, before.header.frameCount);
  EXPECT_EQ(after.header.unknown3, before.header.unknown3);
  if (c.check) {
    c.check(before, after);
  } else {
    EXPECT_EQ(after.palettes, before.palettes);
  }
}

void Mirror(LayerPixels& layer) {
  const auto width = static_cast<std::size_t>(layer.width);
  for (auto row = layer.pixels.begin(); row != layer.pixels.end();
       row += static_cast<std::ptrdiff_t>(width)) {
    std::reverse(row, row + static_cast<std::ptrdiff_t>(width));
  }
}

// Gives the layer an alpha channel, opaque but at one pixel, which may also get another index.
void AddAlpha(LayerPixels& layer, std::size_t at, std::uint8_t alpha,
              std::optional<std::uint8_t> index = std::nullopt) {
  Bytes with;
  for (const std::uint8_t old : layer.pixels) {
    with.push_back(old);
    with.push_back(255);
  }
  with[2 * at + 1] = alpha;
  with[2 * at] = index.value_or(with[2 * at]);
  layer.pixels = std::move(with);
  layer.hasAlpha = true;
}

const SaveCase kSaveCases[] = {
    {.name = "unchanged", .sameBytes = true},
    {.name = "unchanged in palette 2", .palette = 2, .sameBytes = true},
    {.name = "a raw frame mirrored",
     .edit = [](ImagePixels& image) { Mirror(image.layers[1]); },
     .replaced = {1}},
    {.name = "a run-length frame repainted",
     .edit =
         [](ImagePixels& image) {
           image.layers[4].pixels.assign(image.layers[4].pixels.size(), 9);
         },
     .replaced = {4}},
    {.name = "a layer resized",
     .edit =
         [](ImagePixels& image) {
           LayerPixels& layer = image.layers[3];
           layer.width = 2;
           layer.height = 7;
           layer.pixels = test::MakePixels(2, 7, 40);
         },
     .replaced = {3}},
    {.name = "a fully transparent pixel saves as index 0",
     .edit = [](ImagePixels& image) { AddAlpha(image.layers[5], 2, 0, 77); },
     .replaced = {5}},
    {.name = "an alpha channel fully opaque changes nothing",
     .edit = [](ImagePixels& image) { AddAlpha(image.layers[5], 2, 255); },
     .sameBytes = true},
    {.name = "a stand-in layer painted keeps its frame",
     .edit =
         [](ImagePixels& image) {
           image.layers[12] = {image.layers[12].name, 4, 4, false, Bytes(16, 5)};
           image.layers[15] = {image.layers[15].name, 2, 1, false, Bytes(2, 5)};
         },
     .sameBytes = true},
    {.name = "a colour map entry changed in palette 2",
     .palette = 2,
     .edit =
         [](ImagePixels& image) {
           image.colourMap[3 * 17] = 1;
           image.colourMap[3 * 17 + 1] = 2;
           image.colourMap[3 * 17 + 2] = 3;
         },
     .check =
         [](const Sprite& before, const Sprite& after) {
           EXPECT_EQ(after.palettes[0], before.palettes[0]);
           ArtPalette expected = before.palettes[1];
           expected[17 * 4] = 3;  // blue, green, red; the fourth byte as it was
           expected[17 * 4 + 1] = 2;
           expected[17 * 4 + 2] = 1;
           EXPECT_EQ(after.palettes[1], expected);
         }},
    {.name = "a frame and the colour map changed together",
     .edit =
         [](ImagePixels& image) {
           Mirror(image.layers[13]);
           image.colourMap[0] ^= 0xFF;
         },
     .replaced = {13},
     .check =
         [](const Sprite& before, const Sprite& after) {
           EXPECT_EQ(after.palettes[1], before.palettes[1]);
           EXPECT_EQ(after.palettes[0][2], before.palettes[0][2] ^ 0xFF);
         }},
    {.name = "a frame added to every picture makes a new file",
     .edit =
         [](ImagePixels& image) {
           for (std::uint8_t p = 0; p < 8; ++p) {
             image.layers.push_back(
                 {"Picture " + std::to_string(p + 1) + " Frame 3", 2, 2, false, Bytes{p, 1, 2, 3}});
           }
         },
     .check =
         [](const Sprite& before, const Sprite& after) {
           ASSERT_EQ(after.framesPerPicture, 3);
           ArtHeader header = before.header;
           header.frameCount = 3;
           EXPECT_EQ(WordsOfHeader(after.header), WordsOfHeader(header));
           EXPECT_EQ(after.palettes, before.palettes);
           for (std::int32_t p = 0; p < 8; ++p) {
             for (std::int32_t f = 0; f < 2; ++f) {
               const SpriteFrame& was = before.Frame(p, f);
               const SpriteFrame& now = after.Frame(p, f);
               EXPECT_EQ(now.header.unknown, was.header.unknown);
               EXPECT_EQ(now.header.width, was.header.width);
               EXPECT_EQ(StorageOf(now.header), StorageOf(was.header));
               if (FramePixels(was.header)) {
                 EXPECT_EQ(Indices(now), Indices(was)) << p << " " << f;
               }
             }
             const SpriteFrame& added = after.Frame(p, 2);
             EXPECT_EQ(Indices(added), (Bytes{static_cast<std::uint8_t>(p), 1, 2, 3}));
             EXPECT_EQ(added.header.unknown, before.Frame(p, 1).header.unknown);  // the one before
           }
         },
     .made = true},
    {.name = "an image not opened from an .art file makes a new file",
     .edit =
         [](ImagePixels& image) {
           image.layers = {{"Picture 2 Frame 1", 2, 2, false, Bytes{1, 2, 3, 4}},
                           {"Picture 1 Frame 1", 3, 1, false, Bytes{5, 6, 7}}};
           image.colourMap.resize(3 * 4);
         },
     .check =
         [](const Sprite&, const Sprite& after) {
           ASSERT_EQ(after.pictures, 2);
           ArtHeader header;
           header.flags = 1;
           header.frameCount = 2;
           header.palettePresent = {1, 0, 0, 0};
           EXPECT_EQ(WordsOfHeader(after.header), WordsOfHeader(header));
           ASSERT_EQ(after.PaletteCount(), 1);
           const ArtPalette opened = Parsed(Sample()).palettes[0];
           for (std::size_t i = 0; i < kArtPaletteSize; ++i) {
             EXPECT_EQ(after.palettes[0][i], i < 16 && i % 4 != 3 ? opened[i] : 0) << i;
           }
           EXPECT_EQ(Indices(after.Frame(0, 0)), (Bytes{5, 6, 7}));
           EXPECT_EQ(Indices(after.Frame(1, 0)), (Bytes{1, 2, 3, 4}));
           EXPECT_EQ(after.Frame(1, 0).header.unknown, (ArtFrameWords{}));
         },
     .source = false,
     .made = true},
    {.name = "a layer named for no frame",
     .edit = [](ImagePixels& image) { image.layers[3].name = "Background"; },
     .refusal = "layer \"Background\" is not named \"Picture P Frame F\""},
    {.name = "no longer indexed",
     .edit = [](ImagePixels& image) { image.indexed = false; },
     .refusal = "no longer indexed"},
    {.name = "a layer removed",
     .edit = [](ImagePixels& image) { image.layers.pop_back(); },
     .refusal = "no layer is named \"Picture 8 Frame 1\""},
    {.name = "a layer added",
     .edit = [](ImagePixels& image) { image.layers.push_back(image.layers[0]); },
     .refusal = "two layers are named \"Picture 1 Frame 2\""},
    {.name = "layers named for a table the format has not",
     .edit = [](ImagePixels& image) { image.layers.resize(14); },
     .refusal = "the layers' names make 7 pictures, of 2, 2, 2, 2, 2, 2 and 2 frames, a table that "
                "an .art file cannot hold"},
    {.name = "a half-transparent pixel",
     .edit = [](ImagePixels& image) { AddAlpha(image.layers[2], 7, 128); },
     .refusal = "layer \"Picture 2 Frame 2\" has 1 pixel neither fully opaque nor fully "
                "transparent, the first at x 1, y 1"},
    {.name = "colours removed from the colour map",
     .edit = [](ImagePixels& image) { image.colourMap.resize(3 * 200); },
     .refusal = "the colour map has 200 entries"},
};

INSTANTIATE_TEST_SUITE_P(Cases, GimpSave, testing::ValuesIn(kSaveCases),
                         [](const testing::TestParamInfo<SaveCase>& param) {
                           std::string name;
                           for (const char c : param.param.name) {
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

TEST(GimpSaveSource, RefusesAFileThatEndedEarlyOrADamagedRecord) {
  Bytes cut = Sample();
  cut.resize(cut.size() - 40);  // inside the last frame's data
  const OpenResult open = PlanImage(cut, 1, "cut.art");
  ASSERT_TRUE(open.plan) << open.error;  // it opens, the missing bytes as index 0
  const ImagePixels image = Opened(*open.plan);
  SaveResult saved = BuildSavedFile(ArtSource{1, cut}, image);
  EXPECT_FALSE(saved.bytes);
  EXPECT_NE(saved.error.find("ended early"), std::string::npos) << saved.error;
  saved = BuildSavedFile(ArtSource{1, Bytes(10, 0)}, image);
  EXPECT_NE(saved.error.find("open the .art file again"), std::string::npos) << saved.error;
}

}  // namespace
}  // namespace vostrel
