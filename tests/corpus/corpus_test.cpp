// Runs the built converter end to end on every damaged file of this directory and checks the
// outcome its MANIFEST line gives: the console text, the exit status and exactly which BMPs are
// left, each of them whole; and loads each through the loader for the check that refuses it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#endif

#include "io/memory_files.hpp"
#include "io/path.hpp"
#include "programs/vostrel/art/art_file.hpp"
#include "support/art_writer.hpp"
#include "support/run_program.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr std::size_t kBmpDataOffset = 1078;

struct CorpusCase {
  std::string name;
  std::string outcome;  // "unloadable", "converts PxFxK" or "stops PxFxK@p.f"
  std::string check;    // of an unloadable file, the loader's check that refuses it
  std::string reason;
  friend void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.name << ": " << c.reason; }
};

// What an outcome word says about one run.
struct Expectation {
  bool loads = false;
  int pictures = 0;
  int frames = 0;
  int palettes = 0;
  // The frame (picture * frames + frame) at which the conversion stops, or -1.
  int stopAt = -1;
};

fs::path CorpusDir() { return test::SourcePath("tests/corpus"); }

std::vector<CorpusCase> ReadManifest() {
  std::vector<CorpusCase> cases;
  std::ifstream manifest(CorpusDir() / "MANIFEST");
  std::string line;
  while (std::getline(manifest, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty() || line.front() == '#') {
      continue;
    }
    std::istringstream fields(line);
    CorpusCase c;
    fields >> c.name >> c.outcome;
    if (c.outcome == "unloadable") {
      fields >> c.check;
    } else {
      std::string shape;
      fields >> shape;
      c.outcome += ' ' + shape;
    }
    std::getline(fields >> std::ws, c.reason);
    cases.push_back(c);
  }
  return cases;
}

// Parses the outcome; a line it cannot read fails the test rather than passing it vacuously.
bool ParseOutcome(const std::string& outcome, Expectation& expected) {
  if (outcome == "unloadable") {
    return true;
  }
  expected.loads = true;
  std::istringstream in(outcome);
  std::string verb;
  char x1 = 0;
  char x2 = 0;
  in >> verb >> expected.pictures >> x1 >> expected.frames >> x2 >> expected.palettes;
  if (!in || x1 != 'x' || x2 != 'x') {
    return false;
  }
  if (verb == "converts") {
    return in.peek() == std::char_traits<char>::eof();
  }
  char at = 0;
  char dot = 0;
  int picture = 0;
  int frame = 0;
  in >> at >> picture >> dot >> frame;
  expected.stopAt = picture * expected.frames + frame;
  return verb == "stops" && in && at == '@' && dot == '.';
}

// Reads console text piece by piece; progress marks come in runs whose length depends on the
// file, so a run of dots is taken wherever one may stand.
class ConsoleReader {
 public:
  explicit ConsoleReader(std::string_view text) : rest_(text) {}

  bool Take(std::string_view piece) {
    if (rest_.substr(0, piece.size()) != piece) {
      return false;
    }
    rest_.remove_prefix(piece.size());
    return true;
  }
  ConsoleReader& Marks() {
    rest_.remove_prefix(std::min(rest_.find_first_not_of('.'), rest_.size()));
    return *this;
  }
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
};

std::string Stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

// Checks the standard output from the line naming the file on against what the outcome implies:
// the loading line, then for every picture, frame and palette written the decoding and saving
// lines, in the converter's order.
::testing::AssertionResult MatchesConsole(const std::string& out, const std::string& input,
                                          const Expectation& expected) {
  const auto start = out.find(input + '\n');
  if (start == std::string::npos) {
    return ::testing::AssertionFailure() << "no line naming the file in:\n" << out;
  }
  ConsoleReader reader(std::string_view(out).substr(start));
  bool ok = reader.Take(input + "\nOpening") && reader.Marks().Take(expected.loads ? "Done\n" : "");
  const int written = expected.stopAt >= 0 ? expected.stopAt : expected.pictures * expected.frames;
  for (int n = 0; ok && n < written; ++n) {
    for (int k = 0; ok && k < expected.palettes; ++k) {
      ok = (reader.Take("Standard RAW data detected, decoding\n") ||
            (reader.Take("Standard RLE data detected, decoding") &&
             reader.Marks().Take("Done\n"))) &&
           reader.Take("Saving BMP: Picture " + std::to_string(n / expected.frames + 1) +
                       " Frame " + std::to_string(n % expected.frames + 1) + " Palette " +
                       std::to_string(k + 1)) &&
           reader.Marks().Take("\n\n");
    }
  }
  if (!ok || !reader.Rest().empty()) {
    return ::testing::AssertionFailure() << "standard output departs from the expected lines at:\n"
                                         << reader.Rest() << "\nin:\n"
                                         << out;
  }
  return ::testing::AssertionSuccess();
}

// The width and height that the frame-header table of an .ART file gives frame n.
std::pair<std::int32_t, std::int32_t> FrameSize(const Bytes& art, int palettes, int n) {
  const std::size_t offset =
      132 + static_cast<std::size_t>(palettes) * 1024 + static_cast<std::size_t>(n) * 28;
  return {static_cast<std::int32_t>(test::GetLe32(art, offset)),
          static_cast<std::int32_t>(test::GetLe32(art, offset + 4))};
}

// A BMP is whole when it is exactly as long as its header announces and as its picture needs.
void ExpectWholeBmp(const fs::path& path, std::int32_t width, std::int32_t height) {
  SCOPED_TRACE(path.filename().string());
  if (!fs::is_regular_file(path)) {
    ADD_FAILURE() << "missing";
    return;
  }
  // The headers only: the pictures can be large.
  const std::uintmax_t size = fs::file_size(path);
  ASSERT_GE(size, kBmpDataOffset);
  Bytes header(54);
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(header.data()), 54);
  EXPECT_EQ(header[0], 'B');
  EXPECT_EQ(header[1], 'M');
  EXPECT_EQ(test::GetLe32(header, 2), size);
  EXPECT_EQ(test::GetLe32(header, 10), kBmpDataOffset);
  EXPECT_EQ(static_cast<std::int32_t>(test::GetLe32(header, 18)), width);
  EXPECT_EQ(static_cast<std::int32_t>(test::GetLe32(header, 22)), height);
  const std::size_t stride = (static_cast<std::size_t>(width) + 3) / 4 * 4;
  EXPECT_EQ(size, kBmpDataOffset + stride * static_cast<std::size_t>(height));
}

std::string FailureErr(const std::string& input, const std::string& dest) {
  return "Could not convert " + input + " to " + dest + "\n";
}

// Runs the converter in a fresh directory on a file there, into the subdirectory out.
class ConverterRunTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  const fs::path outDir_ = dir_.Path() / "out";
  const std::string dest_ = outDir_.string() + kPathSeparator;

  test::RunResult Convert(const fs::path& input) {
    return test::RunProgram(test::ConverterPath(), {input.string(), dest_}, dir_.Path());
  }
};

class CorpusTest : public ConverterRunTest, public ::testing::WithParamInterface<CorpusCase> {};

TEST_P(CorpusTest, ConverterGivesTheListedOutcome) {
  const CorpusCase& c = GetParam();
  Expectation expected;
  ASSERT_TRUE(ParseOutcome(c.outcome, expected)) << "unreadable outcome: " << c.outcome;
  const fs::path input = dir_.Path() / c.name;
  fs::copy_file(CorpusDir() / c.name, input);

  const test::RunResult run = Convert(input);
  EXPECT_TRUE(MatchesConsole(run.out, input.string(), expected));
  const bool fails = !expected.loads || expected.stopAt >= 0;
  EXPECT_EQ(run.status, fails ? 1 : 0);
  const Bytes art = test::ReadFile(input.string());
  std::string failure = expected.loads ? "" : "\nCould not load ART file\n";
  if (expected.stopAt >= 0) {
    const auto [width, height] = FrameSize(art, expected.palettes, expected.stopAt);
    failure = "\nCould not decode Picture " +
              std::to_string(expected.stopAt / expected.frames + 1) + " Frame " +
              std::to_string(expected.stopAt % expected.frames + 1) + ": invalid size " +
              std::to_string(width) + " x " + std::to_string(height) + "\n";
  }
  EXPECT_EQ(run.err, fails ? failure + FailureErr(input.string(), dest_) : "");

  // Exactly the BMPs of the frames before any stop, and nothing else (no partial leftovers).
  const int written = expected.stopAt >= 0 ? expected.stopAt : expected.pictures * expected.frames;
  std::vector<std::string> names;
  for (int n = 0; n < written; ++n) {
    for (int k = 0; k < expected.palettes; ++k) {
      names.push_back(Stem(c.name) + '_' + std::to_string(n / expected.frames) + '_' +
                      std::to_string(n % expected.frames) + '_' + std::to_string(k) + ".bmp");
      const auto [width, height] = FrameSize(art, expected.palettes, n);
      ExpectWholeBmp(outDir_ / names.back(), width, height);
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(test::FilesIn(outDir_), names);
}

std::string CaseName(const ::testing::TestParamInfo<CorpusCase>& info) {
  std::string name = Stem(info.param.name);
  std::replace_if(
      name.begin(), name.end(),
      [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Manifest, CorpusTest, ::testing::ValuesIn(ReadManifest()), CaseName);

// The loader's reason code of each file, by its MANIFEST name.
ArtLoadError CheckNamed(const std::string& check) {
  static const std::map<std::string, ArtLoadError> kChecks = {
      {"", ArtLoadError::kNone},
      {"short-header", ArtLoadError::kShortHeader},
      {"short-palettes", ArtLoadError::kShortPalettes},
      {"negative-frame-count", ArtLoadError::kNegativeFrameCount},
      {"short-frame-table", ArtLoadError::kShortFrameTable},
      {"negative-data-size", ArtLoadError::kNegativeDataSize},
      {"data-exceeds-file", ArtLoadError::kDataExceedsFile},
  };
  const auto at = kChecks.find(check);
  return at == kChecks.end() ? ArtLoadError::kCannotRead : at->second;
}

class CorpusLoadTest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(CorpusLoadTest, LoaderRefusesForTheListedReason) {
  const CorpusCase& c = GetParam();
  SilentConsole console;
  MemoryFiles files;
  ArtFile art(console, files);
  art.LoadBytes(test::ReadFile((CorpusDir() / c.name).string()));
  EXPECT_EQ(art.LoadError(), CheckNamed(c.check)) << ArtLoadErrorText(art.LoadError());
}

INSTANTIATE_TEST_SUITE_P(Manifest, CorpusLoadTest, ::testing::ValuesIn(ReadManifest()), CaseName);

TEST(CorpusManifestTest, ListsEveryFileOnceAndNoOther) {
  std::multiset<std::string> listed;
  for (const CorpusCase& c : ReadManifest()) {
    EXPECT_FALSE(c.reason.empty()) << c.name;
    listed.insert(c.name);
  }
  std::multiset<std::string> present;
  for (const auto& entry : fs::directory_iterator(CorpusDir())) {
    if (entry.path().extension() == ".art") {
      present.insert(entry.path().filename().string());
    }
  }
  EXPECT_FALSE(present.empty());
  EXPECT_EQ(listed, present);
}

// A directory where the file should be: opening it is what fails, and says so.
TEST_F(ConverterRunTest, DirectoryNamedLikeAFileCannotBeOpened) {
  const fs::path input = dir_.Path() / "folder.art";
  fs::create_directory(input);
  const test::RunResult run = Convert(input);
  const std::string path = input.string();
  const auto start = run.out.find(path + '\n');
  ASSERT_NE(start, std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(start), path + "\nOpening.Could not open " + path + "\n");
  EXPECT_EQ(run.err, "\nCould not load ART file\n" + FailureErr(path, dest_));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(test::FilesIn(outDir_).empty());
}

// A few bytes announcing a 64 MiB picture: converting it holds that plane once, not copies of it
// (a new block table filled from a prototype block once held three).
TEST_F(ConverterRunTest, LargePlaneIsHeldOnce) {
#if !defined(__linux__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "reads the children's peak memory as Linux reports it, without a sanitizer's "
                  "shadow memory";
#else
  constexpr std::int32_t kSide = 8192;
  const fs::path input = dir_.Path() / "plane.art";
  test::WriteFile(input.string(),
                  test::WriteArt(test::OneFrameLayout(1, {{kSide, kSide, Bytes{0x7F, 0x01}}})));
  const test::RunResult run = Convert(input);
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectWholeBmp(outDir_ / "plane_0_0_0.bmp", kSide, kSide);
  rusage usage{};
  ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &usage), 0);
  // The peak of every child so far, in KiB, including what each inherited from this process;
  // all of them stay well below two planes.
  constexpr long kPlaneKiB = long{kSide} * kSide / 1024;
  EXPECT_LT(usage.ru_maxrss, 2 * kPlaneKiB);
#endif
}

}  // namespace
}  // namespace vostrel
