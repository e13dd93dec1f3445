// The table read without the frames' bytes against the whole sprite: for every damaged file of
// the corpus and every prefix of a sample file, the same refusal or the same sprite once each
// frame's block is read from the file, with the same marks; read through a small window too.
#include "sprite/sprite_table.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/byte_source.hpp"
#include "support/art_writer.hpp"
#include "support/run_program.hpp"

namespace vostrel {
namespace {

using test::ArtFrameSpec;
using test::ArtSpec;
using test::Bytes;

// Both readers of one file's bytes: what they refuse, or the sprite each gives (the table's with
// every block read from the file), and their marks.
struct Reading {
  ArtLoadError error = ArtLoadError::kNone;
  Bytes serialized;
  std::uint64_t missingBytes = 0;
  std::size_t marks = 0;
};

Reading WholeSprite(ByteSource& source) {
  Reading reading;
  const SpriteLoad load = ParseSprite(source, [&reading] { ++reading.marks; });
  reading.error = load.error;
  if (load.sprite) {
    reading.serialized = SerializeSprite(*load.sprite);
    reading.missingBytes = load.sprite->missingBytes;
  }
  return reading;
}

Reading TableThenBlocks(const Bytes& bytes) {
  Reading reading;
  SpanSource front(bytes);
  SpriteTableLoad load = ParseSpriteTable(front, [&reading] { ++reading.marks; });
  reading.error = load.error;
  if (load.table) {
    // The mark ParseSprite makes after the data, which the table never reads.
    ++reading.marks;
    // Blocks read through a window smaller than some of them, as the page reads its files.
    SpanRandomSource file(bytes);
    ReadAheadSource ahead(file, 8);
    Sprite sprite = load.table->sprite;
    for (std::int32_t p = 0; p < sprite.pictures; ++p) {
      for (std::int32_t f = 0; f < sprite.framesPerPicture; ++f) {
        sprite.Frame(p, f).data = ReadFrameBlock(*load.table, p, f, ahead);
      }
    }
    reading.serialized = SerializeSprite(sprite);
    reading.missingBytes = sprite.missingBytes;
  }
  return reading;
}

void ExpectSameReadings(const Bytes& bytes, const std::string& what) {
  SpanSource whole(bytes);
  const Reading expected = WholeSprite(whole);
  const Reading table = TableThenBlocks(bytes);
  // A window larger than a frame header and smaller than the file header and a palette: the
  // header and palettes are read past it, frame headers and blocks straddle its refills.
  SpanRandomSource file(bytes);
  ReadAheadSource ahead(file, 40);
  SequentialSource sequential(ahead);
  const Reading throughBuffer = WholeSprite(sequential);
  for (const Reading* got : {&table, &throughBuffer}) {
    const char* which = got == &table ? "table" : "read ahead";
    EXPECT_EQ(got->error, expected.error) << what << ", " << which;
    EXPECT_EQ(got->serialized, expected.serialized) << what << ", " << which;
    EXPECT_EQ(got->missingBytes, expected.missingBytes) << what << ", " << which;
    EXPECT_EQ(got->marks, expected.marks) << what << ", " << which;
  }
}

TEST(SpriteTableTest, ReadsEveryCorpusFileAsTheWholeSpriteReader) {
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(test::SourcePath("tests/corpus"))) {
    if (entry.path().extension() == ".art") {
      ExpectSameReadings(test::ReadFile(entry.path().string()), entry.path().filename().string());
      ++files;
    }
  }
  EXPECT_GT(files, 30u);
}

// Every length a file may be cut to: each section cut short, and the data cut inside every
// frame, raw and run-length.
TEST(SpriteTableTest, ReadsEveryPrefixOfAFileAsTheWholeSpriteReader) {
  ArtSpec art;
  art.flags = 0;
  art.palettePresent = {1, 0, 1, 0};
  art.palettes = {test::MakePalette(1), test::MakePalette(2), test::MakePalette(3)};
  for (std::int32_t i = 0; i < 16; ++i) {
    const auto seed = static_cast<std::uint8_t>(i);
    art.frames.push_back(i % 2 == 0 ? ArtFrameSpec{3, 2, test::MakePixels(3, 2, seed)}
                                    : ArtFrameSpec{4, 4, test::EncodeRle(Bytes(16, seed))});
  }
  const Bytes bytes = test::WriteArt(art);
  for (std::size_t size = 0; size <= bytes.size(); ++size) {
    ExpectSameReadings(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)),
                       "cut to " + std::to_string(size));
  }
}

class FailingFile : public RandomAccessSource {
 public:
  explicit FailingFile(std::uint64_t size) : size_(size) {}
  std::uint64_t Size() const override { return size_; }
  std::size_t ReadAt(std::uint64_t /*offset*/, std::span<std::uint8_t> /*out*/) override {
    throw std::runtime_error("the file changed since it was chosen");
  }

 private:
  std::uint64_t size_;
};

// A file that cannot be read again gives no block, never zeros passed off as its pixels; and a
// frame the table lacks is an error, not another frame's block.
TEST(SpriteTableTest, BlocksOfAnUnreadableFileOrMissingFrameAreRefused) {
  const Bytes bytes = test::WriteArt(test::OneFrameLayout(1, {{2, 2, {1, 2, 3, 4}}}));
  SpanSource front(bytes);
  const SpriteTableLoad load = ParseSpriteTable(front);
  ASSERT_TRUE(load.table);
  FailingFile failing(bytes.size());
  EXPECT_THROW(ReadFrameBlock(*load.table, 0, 0, failing), std::runtime_error);
  SpanRandomSource file(bytes);
  EXPECT_THROW(ReadFrameBlock(*load.table, 1, 0, file), std::out_of_range);
  EXPECT_THROW(ReadFrameBlock(*load.table, 0, 1, file), std::out_of_range);
}

}  // namespace
}  // namespace vostrel
