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

  const std::map<std::string, std::string> expected = {
      {"door_0_0_0.bmp", "4c6417b0ef58a30db52fbb6610d8c6abe5897f6e18ed0dcee3178b1a6263b0ac"},
      {"door_0_0_1.bmp", "d8450df04fb5962037b1198b054ff54ccf677d24755f16c1171f611873cfacef"},
      {"door_0_1_0.bmp", "c08f5bb5970f209adc9e4c3f86f6c582a82898ea9f433ccd00d07cf0b75aabe4"},
  };
  EXPECT_EQ(files.Contents().size(), 1u + 32u);
  for (const auto& [name, digest] : expected) {
    ASSERT_EQ(files.Contents().count(out + name), 1u) << name;
    EXPECT_EQ(test::Sha256Hex(files.Contents().at(out + name)), digest) << name;
  }
}

}  // namespace
}  // namespace vostrel
