// vostrel-sheet run in process on files in memory: its sheets against the BMPs that vostrel
// writes, its manifest's fields, and its usage errors and refusals.
#include "programs/vostrel-sheet/sheet_cli.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "door_sprite.hpp"
#include "io/memory_files.hpp"
#include "io/path.hpp"
#include "programs/vostrel/convert/convert.hpp"
#include "sprite/sprite.hpp"
#include "support/art_writer.hpp"
#include "support/image_reader.hpp"
#include "support/recording_console.hpp"
#include "support/run_program.hpp"

namespace vostrel {
namespace {

using Json = nlohmann::json;

// Where the runs below write: "out", which the files' paths join with the platform's separator.
const std::string kOut = std::string("out") + kPathSeparator;

struct SheetRun {
  int status = 0;
  std::string out;
  std::string err;
};

SheetRun RunWith(MemoryFiles& files, std::vector<std::string> args, std::size_t workers = 2) {
  args.insert(args.begin(), "vostrel-sheet");
  std::vector<const char*> argv;
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }
  std::ostringstream out;
  std::ostringstream err;
  SheetRun run;
  run.status = RunSheet(static_cast<int>(argv.size()), argv.data(), out, err, files, workers,
                        [](const std::string&) { return std::nullopt; });
  run.out = out.str();
  run.err = err.str();
  return run;
}

// The indices of an 8-bit BMP as vostrel writes it (rows bottom-up, padded to 4 bytes).
std::vector<std::uint8_t> BmpIndices(const test::Bytes& bmp, std::int32_t& width,
                                     std::int32_t& height) {
  width = static_cast<std::int32_t>(test::GetLe32(bmp, 18));
  height = static_cast<std::int32_t>(test::GetLe32(bmp, 22));
  const std::size_t offset = test::GetLe32(bmp, 10);
  const std::size_t stride = (static_cast<std::size_t>(width) + 3) / 4 * 4;
  std::vector<std::uint8_t> indices;
  for (std::int32_t y = height - 1; y >= 0; --y) {
    const auto row =
        bmp.begin() + static_cast<std::ptrdiff_t>(offset + stride * static_cast<std::size_t>(y));
    indices.insert(indices.end(), row, row + width);
  }
  return indices;
}

struct DoorCase {
  std::vector<std::string> options;
  std::optional<std::uint8_t> transparent;
  std::int32_t padding;
  std::int32_t columns;
  std::int32_t fps;
};

class DoorSheetTest : public ::testing::TestWithParam<DoorCase> {};

TEST_P(DoorSheetTest, RectanglesHoldTheBmpsAndEverythingElseIsTheTransparentIndex) {
  const DoorCase& c = GetParam();
  MemoryFiles files;
  files.Contents()["door.art"] = examples::MakeDoorArt();
  std::vector<std::string> args = c.options;
  args.insert(args.end(), {"door.art", "out"});
  const SheetRun run = RunWith(files, args);
  ASSERT_EQ(run.status, 0) << run.err;

  std::string wantOut = kOut + "door_0.png\n" + kOut + "door_1.png\n" + kOut + "door.json\n";
  for (const char* k : {"0", "1"}) {
    for (const char* ext : {".gpl", ".pal", ".act"}) {
      wantOut += kOut + "door_" + k + ext + "\n";
    }
  }
  EXPECT_EQ(run.out, wantOut);

  test::RecordingConsole console;
  const std::string bmps = std::string("bmp") + kPathSeparator;
  ASSERT_TRUE(ConvertArtFile("door.art", bmps, console, files));

  const auto& manifestBytes = files.Contents().at(kOut + "door.json");
  const Json manifest = Json::parse(manifestBytes.begin(), manifestBytes.end());
  const Json& meta = manifest["meta"];
  const Json& ours = meta["vostrel"];
  std::set<std::string> keys;
  for (const auto& item : ours.items()) {
    keys.insert(item.key());
  }
  EXPECT_EQ(keys, (std::set<std::string>{"source", "pictures", "framesPerPicture", "palettes",
                                         "transparent", "padding", "columns", "fps", "header",
                                         "sheets", "frames"}));
  EXPECT_EQ(ours["source"], "door.art");
  EXPECT_EQ(ours["pictures"], 8);
  EXPECT_EQ(ours["framesPerPicture"], 2);
  EXPECT_EQ(ours["palettes"], 2);
  EXPECT_EQ(ours["transparent"], c.transparent ? Json(*c.transparent) : Json(nullptr));
  EXPECT_EQ(ours["padding"], c.padding);
  EXPECT_EQ(ours["columns"], c.columns);
  EXPECT_EQ(ours["fps"], c.fps);
  const Json fourthBytes = std::vector<int>(256, 0);
  EXPECT_EQ(ours["sheets"],
            (Json{{{"image", "door_0.png"}, {"palette", 0}, {"fourthBytes", fourthBytes}},
                  {{"image", "door_1.png"}, {"palette", 1}, {"fourthBytes", fourthBytes}}}));
  EXPECT_EQ(meta["app"], "vostrel-sheet");
  EXPECT_EQ(meta["image"], "door_0.png");
  EXPECT_EQ(meta["format"], "I8");
  EXPECT_EQ(meta["scale"], "1");
  ASSERT_EQ(meta["frameTags"].size(), 8u);
  EXPECT_EQ(meta["frameTags"][3], Json::parse(R"({"name": "Picture 4", "from": 6, "to": 7,
                                                  "direction": "forward"})"));

  const std::int32_t cell = 32;
  const std::int32_t rows = (2 + c.columns - 1) / c.columns;
  const std::int32_t width = c.padding + c.columns * (cell + c.padding);
  const std::int32_t height = c.padding + 8 * rows * (cell + c.padding);
  EXPECT_EQ(meta["size"], (Json{{"w", width}, {"h", height}}));

  const std::uint8_t background = c.transparent.value_or(0);
  std::vector<test::ReadPng> sheets;
  for (int k = 0; k < 2; ++k) {
    sheets.push_back(
        test::ParsePng(files.Contents().at(kOut + "door_" + std::to_string(k) + ".png")));
    const test::ReadPng& sheet = sheets.back();
    ASSERT_EQ(sheet.width, static_cast<std::uint32_t>(width));
    ASSERT_EQ(sheet.height, static_cast<std::uint32_t>(height));
    std::vector<bool> inside(sheet.indices.size(), false);
    ASSERT_EQ(manifest["frames"].size(), 16u);
    for (std::size_t i = 0; i < 16; ++i) {
      const Json& entry = manifest["frames"][i];
      const std::int32_t p = static_cast<std::int32_t>(i) / 2;
      const std::int32_t f = static_cast<std::int32_t>(i) % 2;
      EXPECT_EQ(entry["filename"], std::to_string(i));
      const std::int32_t x = entry["frame"]["x"];
      const std::int32_t y = entry["frame"]["y"];
      EXPECT_EQ(x, c.padding + f % c.columns * (cell + c.padding));
      EXPECT_EQ(y, c.padding + (p * rows + f / c.columns) * (cell + c.padding));
      EXPECT_EQ(entry["duration"], 1000 / c.fps + (1000 % c.fps * 2 >= c.fps ? 1 : 0));
      EXPECT_EQ(entry["trimmed"], false);
      EXPECT_EQ(entry["sourceSize"], (Json{{"w", cell}, {"h", cell}}));
      std::string bmpName = bmps + "door_" + std::to_string(p) + "_" + std::to_string(f) + "_" +
                            std::to_string(k) + ".bmp";
      std::int32_t w = 0;
      std::int32_t h = 0;
      const auto want = BmpIndices(files.Contents().at(bmpName), w, h);
      EXPECT_EQ(entry["frame"]["w"], w);
      EXPECT_EQ(entry["frame"]["h"], h);
      std::vector<std::uint8_t> got;
      for (std::int32_t row = 0; row < h; ++row) {
        for (std::int32_t col = 0; col < w; ++col) {
          const std::size_t at =
              static_cast<std::size_t>(y + row) * static_cast<std::size_t>(width) +
              static_cast<std::size_t>(x + col);
          got.push_back(sheet.indices[at]);
          inside[at] = true;
        }
      }
      EXPECT_EQ(got, want) << bmpName;
    }
    std::size_t outsideWrong = 0;
    for (std::size_t i = 0; i < inside.size(); ++i) {
      outsideWrong += !inside[i] && sheet.indices[i] != background ? 1U : 0U;
    }
    EXPECT_EQ(outsideWrong, 0u);
  }
  // The sheets differ in their palette alone.
  ASSERT_EQ(sheets[0].chunks.size(), sheets[1].chunks.size());
  for (std::size_t i = 0; i < sheets[0].chunks.size(); ++i) {
    EXPECT_EQ(sheets[0].chunks[i].type, sheets[1].chunks[i].type);
    if (sheets[0].chunks[i].type != "PLTE") {
      EXPECT_EQ(sheets[0].chunks[i].data, sheets[1].chunks[i].data) << sheets[0].chunks[i].type;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, DoorSheetTest,
    ::testing::Values(
        DoorCase{{}, 0, 1, 2, 8},
        DoorCase{{"--transparent", "none", "--padding", "0", "--fps=3"}, std::nullopt, 0, 2, 3},
        DoorCase{{"--columns", "1", "--padding=3", "--transparent", "9"}, 9, 3, 1, 8},
        DoorCase{{"--columns", "5", "--fps", "100"}, 0, 1, 2, 100}));

TEST(SheetCliTest, UsageErrorsEndWithStatusTwoAndNameTheProblem) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "missing .ART files"},
      {{"door.art"}, "missing DESTDIR"},
      {{"--padding", "-1", "door.art", "out"}, "--padding"},
      {{"--padding", "x", "door.art", "out"}, "--padding"},
      {{"--transparent", "256", "door.art", "out"}, "--transparent"},
      {{"--transparent=", "door.art", "out"}, "--transparent"},
      {{"--fps", "0", "door.art", "out"}, "--fps"},
      {{"--fps", "101", "door.art", "out"}, "--fps"},
      {{"--columns", "0", "door.art", "out"}, "--columns"},
      {{"door.art", "out", "--columns"}, "needs a value"},
      {{"--frobnicate", "door.art", "out"}, "unknown option '--frobnicate'"},
  };
  for (const auto& [args, problem] : cases) {
    MemoryFiles files;
    const SheetRun run = RunWith(files, args);
    EXPECT_EQ(run.status, 2) << problem;
    EXPECT_NE(run.err.find(problem), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Try 'vostrel-sheet --help'"), std::string::npos);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(files.Contents().empty());
  }
}

TEST(SheetCliTest, HelpAndVersion) {
  MemoryFiles files;
  const SheetRun help = RunWith(files, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: vostrel-sheet"), std::string::npos);
  EXPECT_NE(help.out.find("vostrel-pack"), std::string::npos);
  const SheetRun version = RunWith(files, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("vostrel-sheet ") + VOSTREL_VERSION + "\n");
}

test::Bytes Sprite(std::int32_t palettes, std::vector<test::ArtFrameSpec> frames) {
  return test::WriteArt(test::OneFrameLayout(palettes, std::move(frames)));
}

// A file refused for any reason leaves none of its outputs, and the others of the run are made.
struct RefusedCase {
  test::Bytes bytes;               // bad.art; none for a file that is missing
  std::vector<std::string> flags;  // before the files
  std::string failingWrite;        // an output whose writing fails, if any
  std::string message;             // what standard error says
};

TEST(SheetCliTest, RefusedFilesLeaveNoneOfTheirOutputsAndTheOthersAreMade) {
  const test::Bytes good = Sprite(1, {{3, 2, test::MakePixels(3, 2, 4)}});
  const std::vector<RefusedCase> cases = {
      {{}, {}, {}, "bad.art: cannot open it"},
      {test::Bytes(40, 0), {}, {}, "bad.art: could not load the .ART file"},
      {Sprite(0, {{2, 2, test::MakePixels(2, 2, 1)}}), {}, {}, "bad.art: has no palette"},
      {Sprite(1, {{46340, 46340, {}, 0}, {46340, 46340, {}, 0}}),
       {},
       {},
       "bad.art: cannot make a sheet: its largest frames"},
      // A few bytes of run-length stream that decode to a frame wider than a GIF: refused
      // before its sheet (56 MB here) is made.
      {Sprite(1, {{6291457, 7, {0x85, 1, 2, 3, 4, 5, 0x7F}}}),
       {"--gif", "--apng"},
       {},
       "bad.art: its frames need a canvas of 6291457 x 7 pixels, more than a GIF can hold "
       "(65535 a side); use --apng instead"},
      // The last output cannot be written: those written before it are removed.
      {good,
       {"--gif", "--apng"},
       kOut + "bad_0_0.apng",
       kOut + "bad_0_0.apng: could not write it; check that the directory is writable"},
      {good, {}, kOut + "bad_0.act", kOut + "bad_0.act: could not write it"},
  };
  for (const RefusedCase& row : cases) {
    MemoryFiles files;
    files.Contents()["good.art"] = good;
    if (!row.bytes.empty()) {
      files.Contents()["bad.art"] = row.bytes;
    }
    if (!row.failingWrite.empty()) {
      files.FailWritesTo(row.failingWrite);
    }
    std::vector<std::string> args = row.flags;
    args.insert(args.end(), {"good.art", "bad.art", "late.art", "out"});
    const SheetRun run = RunWith(files, args);
    EXPECT_EQ(run.status, 1) << row.message;
    EXPECT_NE(run.err.find("vostrel-sheet: " + row.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("vostrel-sheet: late.art: cannot open it"), std::string::npos);
    EXPECT_EQ(run.out.find(kOut + "good_0.png\n"), 0u) << run.out;  // in the order given
    EXPECT_EQ(run.out.find(kOut + "bad"), std::string::npos) << run.out;
    for (const auto& [path, bytes] : files.Contents()) {
      EXPECT_NE(path.rfind(kOut + "bad", 0), 0u) << row.message << ": " << path << " is left";
    }
  }
}

// Files whose names agree once their directories are off write the same files:
// they are made one after another in the order given, so the last one's files stay, however
// many workers run (on Windows a directory may end in either separator).
TEST(SheetCliTest, FilesOfOneNameKeepTheLastOnesFiles) {
#ifdef _WIN32
  const std::string second = "b\\door.art";
#else
  const std::string second = "b/door.art";
#endif
  const test::Bytes first = Sprite(1, {{3, 2, test::MakePixels(3, 2, 1)}});
  const test::Bytes last = Sprite(2, {{2, 2, test::MakePixels(2, 2, 7)}});
  MemoryFiles alone;
  alone.Contents()["door.art"] = last;
  ASSERT_EQ(RunWith(alone, {"door.art", "out"}).status, 0);
  for (const std::size_t workers : {std::size_t{1}, std::size_t{2}, std::size_t{4}}) {
    for (int round = 0; round < 5; ++round) {
      MemoryFiles files;
      files.Contents()["a/door.art"] = first;
      files.Contents()[second] = last;
      files.Contents()["wall.art"] = first;
      const SheetRun run = RunWith(files, {"a/door.art", "wall.art", second, "out"}, workers);
      ASSERT_EQ(run.status, 0) << run.err;
      for (const char* name : {"door_0.png", "door_1.png", "door.json", "door_0.gpl"}) {
        EXPECT_EQ(files.Contents().at(kOut + name), alone.Contents().at(kOut + name))
            << name << " with " << workers << " workers";
      }
    }
  }
}

TEST(SheetCliTest, FramesWithoutPicturesKeepTheirEntriesAtTheirCells) {
  MemoryFiles files;
  files.Contents()["blank.art"] = Sprite(1, {{0, 3, {}}, {-2, 5, {}}});
  const SheetRun run = RunWith(files, {"--gif", "blank.art", "out"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("no animation"), std::string::npos);
  const test::ReadPng sheet = test::ParsePng(files.Contents().at(kOut + "blank_0.png"));
  EXPECT_EQ(sheet.width, 2u);  // a border of 1 around one column of empty cells
  EXPECT_EQ(sheet.height, 3u);
  EXPECT_EQ(sheet.indices, std::vector<std::uint8_t>(6, 0));
  const auto& bytes = files.Contents().at(kOut + "blank.json");
  const Json manifest = Json::parse(bytes.begin(), bytes.end());
  ASSERT_EQ(manifest["frames"].size(), 2u);
  EXPECT_EQ(manifest["frames"][1]["frame"], (Json{{"x", 1}, {"y", 2}, {"w", 0}, {"h", 0}}));
  EXPECT_EQ(manifest["frames"][1]["trimmed"], true);
  EXPECT_EQ(
      manifest["meta"]["vostrel"]["frames"][1],
      (Json{{"width", -2}, {"height", 5}, {"storage", "run-length"}, {"words", {0, 0, 0, 0}}}));
}

TEST(SheetCliTest, AnimationsOfEveryPictureInEveryPalette) {
  MemoryFiles files;
  files.Contents()["door.art"] = examples::MakeDoorArt();
  const SheetRun run = RunWith(files, {"--gif", "--apng", "door.art", "out"}, 1);
  ASSERT_EQ(run.status, 0) << run.err;
  for (int p = 0; p < 8; ++p) {
    for (int k = 0; k < 2; ++k) {
      const std::string base = kOut + "door_" + std::to_string(p) + "_" + std::to_string(k);
      const test::ReadGif gif = test::ParseGif(files.Contents().at(base + ".gif"));
      EXPECT_EQ(gif.frames.size(), 2u) << base;
      const test::ReadPng apng = test::ParsePng(files.Contents().at(base + ".apng"));
      EXPECT_EQ(apng.frames.size(), 2u) << base;
    }
  }
}

// The damaged files of the corpus: each is refused (status 1) exactly when the loader refuses it
// or it has no palette, and otherwise gives sheets whose chunks are sound and whose size is the
// manifest's, animations included.
TEST(SheetCliTest, DamagedFilesAreRefusedOrMadeWhole) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(test::SourcePath("tests/corpus"))) {
    if (entry.path().extension() != ".art") {
      continue;
    }
    ++files;
    const std::string name = entry.path().filename().string();
    MemoryFiles memory;
    memory.Contents()[name] = test::ReadFile(entry.path().string());
    const SpriteLoad load = ParseSprite(memory.Contents()[name]);
    const bool refused = !load.sprite || load.sprite->palettes.empty();
    const SheetRun run = RunWith(memory, {"--gif", "--apng", name, "out"});
    EXPECT_EQ(run.status, refused ? 1 : 0) << name << ": " << run.err;
    if (run.status != 0) {
      continue;
    }
    const std::string stem = name.substr(0, name.size() - 4);
    const auto& bytes = memory.Contents().at(kOut + stem + ".json");
    const Json manifest = Json::parse(bytes.begin(), bytes.end());
    const test::ReadPng sheet = test::ParsePng(memory.Contents().at(kOut + stem + "_0.png"));
    EXPECT_EQ(sheet.width, manifest["meta"]["size"]["w"].get<std::uint32_t>()) << name;
    EXPECT_EQ(sheet.height, manifest["meta"]["size"]["h"].get<std::uint32_t>()) << name;
    EXPECT_EQ(sheet.indices.size(), std::size_t{sheet.width} * sheet.height) << name;
    for (const auto& chunk : sheet.chunks) {
      EXPECT_TRUE(chunk.crcOk) << name << " " << chunk.type;
    }
  }
  EXPECT_GT(files, 20);
}

}  // namespace
}  // namespace vostrel
