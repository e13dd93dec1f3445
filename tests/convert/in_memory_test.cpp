// The format code on bytes in memory alone, as the browser page uses it: no file is touched.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "convert/convert.hpp"
#include "door_sprite.hpp"
#include "io/memory_files.hpp"
#include "io/path.hpp"
#include "platform/sha256.hpp"
#include "support/recording_console.hpp"
#include "support/run_program.hpp"

namespace vostrel {
namespace {

// The sample sprite, held in memory, converts into the BMPs whose digests are committed for the
// programs' runs on it (tests/platform/door_bmps.sha256), and into nothing else.
TEST(InMemoryTest, SampleConvertsToTheProgramsBmpsWithoutFiles) {
  const std::string sprite = std::string("sprites") + kPathSeparator + "door.art";
  const std::string out = std::string("out") + kPathSeparator;
  MemoryFiles files;
  files.Contents()[sprite] = examples::MakeDoorArt();
  test::RecordingConsole console;
  ASSERT_TRUE(ConvertArtFile(sprite, out, console, files));
  EXPECT_EQ(console.Err(), "");

  const auto digests = test::ReadDigestList(test::SourcePath("tests/platform/door_bmps.sha256"));
  EXPECT_EQ(files.Contents().size(), 1u + 32u);
  for (const char* name : {"door_0_0_0.bmp", "door_0_0_1.bmp", "door_0_1_0.bmp"}) {
    const std::string& digest = digests.at(name);
    ASSERT_EQ(files.Contents().count(out + name), 1u) << name;
    EXPECT_EQ(test::Sha256Hex(files.Contents().at(out + name)), digest) << name;
  }
}

}  // namespace
}  // namespace vostrel
