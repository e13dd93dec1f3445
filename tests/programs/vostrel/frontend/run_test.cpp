// vostrel's whole run in process, on a recording console: its arguments, banner and usage, and
// conversions into a destination that is given (the default one, the directory of the program
// itself, is left to the end-to-end tests, which run a copy of the program).
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "io/path.hpp"
#include "programs/vostrel/frontend/cli.hpp"
#include "support/art_writer.hpp"
#include "support/cli_texts.hpp"
#include "support/recording_console.hpp"
#include "support/temp_dir.hpp"

namespace vostrel {
namespace {

using test::ConversionOut;

namespace fs = std::filesystem;
using test::kBanner;
using test::kListName;
using test::kUsage;

// The working directory of a test, and the way to name things beside it.
struct Place {
  fs::path root;  // holds work/, where the run starts, and whatever the case makes
  // name is written with '/'; the path is made with the platform's separator, the only one the
  // converter splits paths at.
  std::string Path(const std::string& name) const {
    std::string native = name;
    std::replace(native.begin(), native.end(), '/', kPathSeparator);
    return (root / native).string();
  }
  std::string Dir(const std::string& name) const { return Path(name) + kPathSeparator; }
};

// A valid sprite: one picture of one raw 4 x 2 frame.
void PutArt(const std::string& path, int palettes) {
  test::WriteFile(
      path, test::WriteArt(test::OneFrameLayout(palettes, {{4, 2, test::MakePixels(4, 2, 1)}})));
}

struct RunCase {
  const char* name;
  std::function<void(const Place&)> arrange;  // files to make before the run
  std::function<std::vector<std::string>(const Place&)> args;
  int status;
  std::function<std::string(const Place&)> out;
  std::function<std::string(const Place&)> err;
  // The files of root/out afterwards, sorted; nothing when it must not exist.
  std::optional<std::vector<std::string>> made;
  bool listLeft = false;  // the batch's list file is still in work/
  friend void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
};

class RunTest : public ::testing::TestWithParam<RunCase> {
 protected:
  void SetUp() override {
    fs::create_directory(place_.root / "work");
    previous_ = fs::current_path();
    fs::current_path(place_.root / "work");
  }
  void TearDown() override { fs::current_path(previous_); }

  test::TempDir dir_;
  Place place_{fs::canonical(dir_.Path())};
  fs::path previous_;
};

TEST_P(RunTest, WritesWhatTheProgramWrites) {
  const RunCase& c = GetParam();
  c.arrange(place_);
  const std::vector<std::string> args = c.args(place_);
  std::vector<const char*> argv{"vostrel"};
  for (const std::string& arg : args) {
    argv.push_back(arg.c_str());
  }
  test::RecordingConsole console;
  EXPECT_EQ(vostrel::Run(static_cast<int>(argv.size()), argv.data(), console), c.status);
  EXPECT_EQ(console.Out(), c.out(place_));
  EXPECT_EQ(console.Err(), c.err(place_));
  const fs::path out = place_.root / "out";
  if (c.made) {
    EXPECT_EQ(test::FilesIn(out), *c.made);
  } else {
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(fs::exists(place_.root / "work" / kListName), c.listLeft);
}

void Nothing(const Place&) {}
std::function<std::string(const Place&)> Prints(const std::string& text) {
  return [text](const Place&) { return text; };
}
std::function<std::vector<std::string>(const Place&)> Args(std::vector<std::string> args) {
  return [args](const Place&) { return args; };
}

// Three sprites and a file of another kind in work/.
void ThreeSprites(const Place& place) {
  for (const char* name : {"c.art", "a.art", "B.ART"}) {
    PutArt(place.Path(std::string("work/") + name), 1);
  }
  test::WriteFile(place.Path("work/notes.txt"), test::Bytes{1});
}

using Names = std::vector<std::string>;

const std::string kVersion = std::string("vostrel ") + VOSTREL_VERSION + "\n";
const std::string kWrong = kBanner + "Wrong arguments" + kUsage;

std::vector<RunCase> Cases() {
  std::vector<RunCase> cases{
      RunCase{"NoArgument", Nothing, Args({}), 1, Prints(kBanner + kUsage), Prints(""), {}},
      RunCase{"Help", Nothing, Args({"--help"}), 0, Prints(kBanner + kUsage), Prints(""), {}},
      RunCase{"ShortHelp", Nothing, Args({"-h"}), 0, Prints(kBanner + kUsage), Prints(""), {}},
      RunCase{"Version", Nothing, Args({"--version"}), 0, Prints(kVersion), Prints(""), {}},
      // The options count only as the one argument.
      RunCase{"VersionAmongOthers",
              Nothing,
              Args({"--version", "x", "y", "z"}),
              1,
              Prints(kWrong),
              Prints(""),
              {}},
      // Refused before anything happens: no list, no destination.
      RunCase{"FourArguments",
              Nothing,
              [](const Place& p) {
                return std::vector<std::string>{"*", p.Dir("out"), "c", "d"};
              },
              1,
              Prints(kWrong),
              Prints(""),
              {}},
      // A file called --help is reached with a directory in front.
      RunCase{"FileNamedLikeAnOption", [](const Place& p) { PutArt(p.Path("work/--help"), 1); },
              [](const Place& p) {
                return std::vector<std::string>{std::string(".") + kPathSeparator + "--help",
                                                p.Path("out")};
              },
              0, Prints(kBanner + ConversionOut(std::string(".") + kPathSeparator + "--help", 1)),
              Prints(""), Names{"--help_0_0_0.bmp"}},
      // The extension is added, the path taken as given; a destination that already ends
      // with the separator gets no second one, and is created.
      RunCase{"PathArgumentAndDestinationCreated",
              [](const Place& p) {
                fs::create_directory(p.root / "art");
                PutArt(p.Path("art/door.art"), 2);
              },
              [](const Place& p) {
                return std::vector<std::string>{p.Path("art/door"), p.Dir("out")};
              },
              0, [](const Place& p) { return kBanner + ConversionOut(p.Path("art/door.art"), 2); },
              Prints(""), Names{"door_0_0_0.bmp", "door_0_0_1.bmp"}},
      RunCase{"BareNameLookedForInTheDestination",
              [](const Place& p) {
                fs::create_directory(p.root / "out");
                PutArt(p.Path("out/door.art"), 1);
              },
              [](const Place& p) {
                return std::vector<std::string>{"door", p.Path("out")};
              },
              0,
              [](const Place& p) { return kBanner + ConversionOut(p.Dir("out") + "door.art", 1); },
              Prints(""), Names{"door.art", "door_0_0_0.bmp"}},
      RunCase{"MissingFileInTheDestination", Nothing,
              [](const Place& p) {
                return std::vector<std::string>{"door", p.Path("out")};
              },
              1,
              [](const Place& p) {
                const std::string path = p.Dir("out") + "door.art";
                return kBanner + path + "\nOpening.Could not open " + path + "\n";
              },
              [](const Place& p) {
                return "\nCould not load ART file\nCould not convert " + p.Dir("out") +
                       "door.art to " + p.Dir("out") + "\n";
              },
              Names{}},
      RunCase{"DestinationUnderMissingParent",
              [](const Place& p) { PutArt(p.Path("work/door.art"), 1); },
              [](const Place& p) {
                return std::vector<std::string>{"door", p.Path("missing/out")};
              },
              1,
              Prints(kBanner),
              Prints("\nCould not create destination path directory\n"),
              {}},
      // Every .art file of the current directory, in any case, in name order; the list file
      // is removed afterwards.
      RunCase{"Batch", ThreeSprites,
              [](const Place& p) {
                return std::vector<std::string>{"*", p.Path("out")};
              },
              0,
              Prints(kBanner + "Building input list...\n" + ConversionOut("a.art", 1) +
                     ConversionOut("B.ART", 1) + ConversionOut("c.art", 1)),
              Prints(""), Names{"B_0_0_0.bmp", "a_0_0_0.bmp", "c_0_0_0.bmp"}},
      // The failed file's marks stay open: the next file's path line follows them.
      RunCase{
          "BatchGoesOnPastAFailedFile",
          [](const Place& p) {
            test::WriteFile(p.Path("work/a.art"), test::Bytes(10, 1));
            PutArt(p.Path("work/b.art"), 1);
          },
          [](const Place& p) {
            return std::vector<std::string>{"*", p.Path("out")};
          },
          1,
          Prints(kBanner + "Building input list...\na.art\nOpening." + ConversionOut("b.art", 1)),
          Prints("\nCould not load ART file\n"), Names{"b_0_0_0.bmp"}},
      RunCase{"BatchWithoutArtFiles", Nothing,
              [](const Place& p) {
                return std::vector<std::string>{"*", p.Path("out")};
              },
              0, Prints(kBanner + "Building input list...\n\nI could not found any .ART files\n"),
              Prints(""), Names{}},
      RunCase{"BatchDestinationUnderMissingParentLeavesTheList",
              [](const Place& p) { PutArt(p.Path("work/door.art"), 1); },
              [](const Place& p) {
                return std::vector<std::string>{"*", p.Path("missing/out")};
              },
              1,
              Prints(kBanner + "Building input list...\n"),
              Prints("\nCould not create destination path directory\n"),
              {},
              true}};
#ifdef _WIN32
  cases.push_back(
      {"WindowsHelp", Nothing, Args({"/?"}), 0, Prints(kBanner + kUsage), Prints(""), {}});
#endif
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, RunTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<RunCase>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace vostrel
