// vostrel-pack's run in process on files held in memory: the converter extracts a sprite's
// pictures into MemoryFiles, a test edits them or makes a call fail, and RunPack packs.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "formats/picture/picture.hpp"
#include "io/memory_files.hpp"
#include "io/path.hpp"
#include "programs/vostrel-pack/pack_cli.hpp"
#include "programs/vostrel/convert/convert.hpp"
#include "support/art_writer.hpp"
#include "support/picture_writer.hpp"
#include "support/recording_console.hpp"

namespace vostrel {
namespace {

using test::ArtFrameSpec;
using test::ArtSpec;
using test::Bytes;

const std::string kOriginal = "sprite.art";
const std::string kPictures = "pictures";
const std::string kOutput = std::string("out") + kPathSeparator + "sprite.art";
const std::string kOutputNamedOddly = std::string("out") + kPathSeparator + "sp\x1brite\n.art";

std::string Picture(const std::string& name) { return kPictures + kPathSeparator + name; }

// Eight pictures of two frames in two palettes, all raw but frame 1 of picture 2, which is
// run-length encoded.
Bytes Sprite() {
  ArtSpec sprite;
  sprite.flags = 2;
  for (std::uint8_t i = 0; i < 16; ++i) {
    sprite.frames.push_back(ArtFrameSpec{6, 4, test::MakePixels(6, 4, i)});
  }
  Bytes stripes(5 * 3, 7);
  stripes[4] = 9;
  sprite.frames[5] = ArtFrameSpec{5, 3, test::EncodeRle(stripes)};
  for (std::uint8_t k = 0; k < 2; ++k) {
    sprite.palettePresent[k] = 1;
    sprite.palettes.push_back(test::MakePalette(static_cast<std::uint8_t>(k + 1)));
  }
  return test::WriteArt(sprite);
}

struct PackRun {
  int status = 0;
  std::string out;
  std::string err;
  PackOutcome outcome;
};

class PackInMemory {
 public:
  PackInMemory() {
    files_.Contents()[kOriginal] = Sprite();
    Extract(kOriginal, kPictures);
  }

  // The converter's pictures of art, written into dir.
  void Extract(const std::string& art, const std::string& dir) {
    test::RecordingConsole console;
    ASSERT_TRUE(ConvertArtFile(art, dir + kPathSeparator, console, files_)) << console.Err();
  }

  // Picture `name` with its pixel at (top row first) painted in index.
  void Paint(const std::string& name, std::size_t at, std::uint8_t index) {
    test::IndexedPicture picture = test::ReadBmp8(files_.Contents().at(Picture(name)));
    picture.indices.at(at) = index;
    files_.Contents()[Picture(name)] = test::WriteBmp8(picture);
  }

  PackRun Pack(const std::string& output) {
    const std::vector<const char*> argv{"vostrel-pack", kOriginal.c_str(), kPictures.c_str(),
                                        output.c_str()};
    std::ostringstream out;
    std::ostringstream err;
    PackRun run;
    run.status =
        RunPack(static_cast<int>(argv.size()), argv.data(), out, err, files_, &run.outcome);
    run.out = out.str();
    run.err = err.str();
    return run;
  }

  MemoryFiles& Files() { return files_; }
  const Bytes& Contents(const std::string& path) { return files_.Contents().at(path); }

 private:
  MemoryFiles files_;
};

// A line of vostrel-pack's standard error.
std::string Said(const std::string& what) { return "vostrel-pack: " + what + "\n"; }
std::string NothingWritten(const std::string& output) {
  return Said("nothing was written to " + output);
}

struct FaultCase {
  const char* name;
  std::function<void(PackInMemory&)> arrange;
  std::string output;
  std::string err;
  bool picturesRefreshed;  // the other palette's picture already shows the edit
  friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }
};

class PackFaultTest : public ::testing::TestWithParam<FaultCase> {};

// Every failure leaves the output as it was and says why; exhausted memory is named as such,
// never taken for a damaged file.
TEST_P(PackFaultTest, LeavesTheOutputAsItWasAndSaysWhy) {
  const FaultCase& c = GetParam();
  PackInMemory pack;
  pack.Paint("sprite_2_1_0.bmp", 3, 200);
  const Bytes originalPicture = pack.Contents(Picture("sprite_2_1_1.bmp"));
  const bool outputExisted = pack.Files().Contents().count(c.output) != 0;
  const Bytes before = outputExisted ? pack.Contents(c.output) : Bytes{};
  c.arrange(pack);

  const PackRun run = pack.Pack(c.output);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, c.err);
  if (outputExisted) {
    EXPECT_EQ(pack.Contents(c.output), before);
  } else {
    EXPECT_EQ(pack.Files().Contents().count(c.output), 0u);
  }
  EXPECT_EQ(pack.Contents(Picture("sprite_2_1_1.bmp")) != originalPicture, c.picturesRefreshed);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PackFaultTest,
    ::testing::Values(
        FaultCase{"FailingWrite", [](PackInMemory& p) { p.Files().FailWritesTo(kOutput); }, kOutput,
                  Said(kOutput +
                       ": cannot be written (No space left on device); check that its directory "
                       "exists and that you may write there") +
                      NothingWritten(kOutput),
                  false},
        // Names are shown with their control characters escaped, never cut or split.
        FaultCase{
            "FailingWriteToANameWithControlCharacters",
            [](PackInMemory& p) { p.Files().FailWritesTo(kOutputNamedOddly); }, kOutputNamedOddly,
            Said("out" + std::string(1, kPathSeparator) +
                 "sp\\u001brite\\u000a.art: cannot be written (No space left on device); "
                 "check that its directory exists and that you may write there") +
                NothingWritten("out" + std::string(1, kPathSeparator) + "sp\\u001brite\\u000a.art"),
            false},
        FaultCase{"FailingListing", [](PackInMemory& p) { p.Files().FailListingOf(kPictures); },
                  kOutput,
                  Said(kPictures +
                       ": cannot be listed; check that you may read the pictures' directory") +
                      NothingWritten(kOutput),
                  false},
        // The pictures are brought up to date while the output waits beside its place: they
        // may run ahead of the file, never behind it.
        FaultCase{"FailingCommitInPlace",
                  [](PackInMemory& p) { p.Files().FailCommitsTo(kOriginal); }, kOriginal,
                  Said(kOriginal +
                       ": cannot be written (Permission denied); check that you may write there, "
                       "then pack again") +
                      NothingWritten(kOriginal),
                  true},
        FaultCase{"MemoryExhaustedReadingTheOriginal",
                  [](PackInMemory& p) { p.Files().ExhaustMemoryReading(kOriginal); }, kOutput,
                  Said("out of memory") + NothingWritten(kOutput), false},
        FaultCase{
            "MemoryExhaustedReadingAPicture",
            [](PackInMemory& p) { p.Files().ExhaustMemoryReading(Picture("sprite_2_1_0.bmp")); },
            kOutput, Said("out of memory") + NothingWritten(kOutput), false},
        FaultCase{
            "DamagedOriginal", [](PackInMemory& p) { p.Files().Contents()[kOriginal].resize(100); },
            kOutput,
            Said(kOriginal + ": is not an .ART file that can be read (damaged or cut short in its "
                             "header or tables); give the file the pictures were extracted from") +
                NothingWritten(kOutput),
            false},
        FaultCase{"OriginalEndingEarly",
                  [](PackInMemory& p) { p.Files().Contents()[kOriginal].pop_back(); }, kOutput,
                  Said(kOriginal +
                       ": ends early: its frame data lacks 1 bytes; give a complete copy of the "
                       "file") +
                      NothingWritten(kOutput),
                  false}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

struct EditCase {
  const char* name;
  std::function<void(PackInMemory&)> edit;
  std::string output;
  std::vector<FramePosition> replaced;
  std::vector<std::string> updated;  // picture names, in order
  std::string warning;               // standard error, without the program's name
  friend void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }
};

class PackEditTest : public ::testing::TestWithParam<EditCase> {};

// The output holds the edits and the pictures describe it: extracted afresh from the output,
// every picture is what the directory holds (a rewritten BMP byte for byte, a PNG by colour).
TEST_P(PackEditTest, ReplacesTheEditedFramesAndBringsThePicturesUpToDate) {
  const EditCase& c = GetParam();
  PackInMemory pack;
  const Bytes original = pack.Contents(kOriginal);
  c.edit(pack);

  const PackRun run = pack.Pack(c.output);
  ASSERT_EQ(run.status, 0) << run.err;
  std::string out =
      c.output + ": " + std::to_string(c.replaced.size()) + " of 16 frames replaced\n";
  std::vector<std::string> updated;
  for (const std::string& name : c.updated) {
    out += "updated " + Picture(name) + "\n";
    updated.push_back(Picture(name));
  }
  EXPECT_EQ(run.out, out);
  EXPECT_EQ(run.err, c.warning.empty() ? "" : Said("warning: " + c.warning));
  EXPECT_EQ(run.outcome.frames, 16u);
  EXPECT_EQ(run.outcome.replaced, c.replaced.size());
  EXPECT_EQ(run.outcome.replacedFrames, c.replaced);
  EXPECT_EQ(run.outcome.updatedPictures, updated);
  if (c.replaced.empty()) {
    EXPECT_EQ(pack.Contents(c.output), original);
    return;
  }
  EXPECT_NE(pack.Contents(c.output), original);

  pack.Extract(c.output, "fresh");
  for (const auto& [path, bytes] : pack.Files().Contents()) {
    if (path.rfind(kPictures + kPathSeparator, 0) != 0 || !c.warning.empty()) {
      continue;
    }
    const std::string name = path.substr(kPictures.size() + 1);
    const std::string bmp = name.substr(0, name.size() - 4) + ".bmp";
    const Bytes& fresh = pack.Contents(std::string("fresh") + kPathSeparator + bmp);
    if (EndsWithIgnoringCase(name, ".bmp")) {
      const test::IndexedPicture shown = test::ReadBmp8(fresh);
      EXPECT_EQ(test::ReadBmp8(bytes).indices, shown.indices) << name;
    } else {
      const test::IndexedPicture shown = test::ReadBmp8(fresh);
      EXPECT_EQ(DecodePicture(bytes).pixels, test::Colours(shown.indices, shown.table)) << name;
    }
    if (std::find(c.updated.begin(), c.updated.end(), name) != c.updated.end() &&
        EndsWithIgnoringCase(name, ".bmp")) {
      EXPECT_EQ(bytes, fresh) << name;
    }
  }
}

// The picture named stem + ".bmp" saved again as an RGB PNG, named with extension.
void AsPng(PackInMemory& pack, const std::string& stem, const std::string& extension) {
  const test::IndexedPicture picture = test::ReadBmp8(pack.Contents(Picture(stem + ".bmp")));
  pack.Files().Contents().erase(Picture(stem + ".bmp"));
  pack.Files().Contents()[Picture(stem + extension)] = test::WritePng(
      picture.width, picture.height, 3, test::Colours(picture.indices, picture.table));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, PackEditTest,
    ::testing::Values(
        EditCase{"NothingEditedInPlace", [](PackInMemory&) {}, kOriginal, {}, {}, ""},
        EditCase{"NothingEditedElsewhere", [](PackInMemory&) {}, kOutput, {}, {}, ""},
        EditCase{"RawFrameEditedInPalette0",
                 [](PackInMemory& p) { p.Paint("sprite_2_1_0.bmp", 0, 200); },
                 kOutput,
                 {{2, 1}},
                 {"sprite_2_1_1.bmp"},
                 ""},
        EditCase{"RunLengthFrameEditedInPalette1InPlace",
                 [](PackInMemory& p) { p.Paint("sprite_2_1_1.bmp", 14, 3); },
                 kOriginal,
                 {{2, 1}},
                 {"sprite_2_1_0.bmp"},
                 ""},
        EditCase{"TwoFramesTheOtherPaletteAPng",
                 [](PackInMemory& p) {
                   AsPng(p, "sprite_0_0_1", ".PNG");
                   p.Paint("sprite_0_0_0.bmp", 5, 17);
                   p.Paint("sprite_3_1_1.bmp", 23, 0);
                 },
                 kOutput,
                 {{0, 0}, {3, 1}},
                 {"sprite_0_0_1.PNG", "sprite_3_1_0.bmp"},
                 ""},
        EditCase{"AnOutOfDatePictureIsNamed",
                 [](PackInMemory& p) {
                   p.Paint("sprite_1_0_0.bmp", 2, 9);
                   p.Files().FailWritesTo(Picture("sprite_1_0_1.bmp"));
                 },
                 kOutput,
                 {{1, 0}},
                 {},
                 Picture("sprite_1_0_1.bmp") +
                     ": out of date: it cannot be rewritten (No space left on device), so it "
                     "still shows the frame as it was before; extract " +
                     kOutput + " again before packing from " + kPictures}),
    [](const ::testing::TestParamInfo<EditCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vostrel
