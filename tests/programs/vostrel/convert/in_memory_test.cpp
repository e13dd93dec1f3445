// The format code on bytes in memory alone, as the browser page uses it: no file is touched.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "door_sprite.hpp"
#include "io/memory_files.hpp"
#include "io/path.hpp"
#include "platform/sha256.hpp"
#include "programs/vostrel/convert/convert.hpp"
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
  ASSERT_EQ(digests.size(), 32u);
  EXPECT_EQ(files.Contents().size(), 1u + digests.size());
  for (const auto& [name, digest] : digests) {
    ASSERT_EQ(files.Contents().count(out + name), 1u) << name;
    EXPECT_EQ(test::Sha256Hex(files.Contents().at(out + name)), digest) << name;
  }
}

}  // namespace
}  // namespace vostrel
