// The shipped sample sprite is what its generator makes.
#include "door_sprite.hpp"

#include <gtest/gtest.h>

#include "io/memory_files.hpp"
#include "programs/vostrel/art/art_file.hpp"
#include "support/art_writer.hpp"
#include "support/run_program.hpp"

namespace vostrel {
namespace {

TEST(DoorSpriteTest, ShippedSampleIsWhatTheGeneratorMakes) {
  EXPECT_EQ(test::ReadFile(test::SourcePath("examples/door.art").string()),
            examples::MakeDoorArt());
}

TEST(DoorSpriteTest, SampleHoldsEightDirectionsOfTwoFramesInTwoPalettes) {
  SilentConsole console;
  MemoryFiles files;
  ArtFile art(console, files);
  ASSERT_TRUE(art.LoadBytes(examples::MakeDoorArt()));
  EXPECT_EQ(art.PictureCount(), 8);
  EXPECT_EQ(art.FramesPerPicture(), 2);
  EXPECT_EQ(art.PaletteCount(), 2);
  for (std::int32_t p = 0; p < art.PictureCount(); ++p) {
    // Run-length and raw frames mixed: frame 0 is coded, frame 1 raw.
    EXPECT_EQ(StorageOf(art.FrameHeader(p, 0)), FrameStorage::kRunLength);
    EXPECT_EQ(StorageOf(art.FrameHeader(p, 1)), FrameStorage::kRaw);
  }
}

}  // namespace
}  // namespace vostrel
