// The page's zips read back by a reader of the tests' own (through the central directory, each
// file inflated by stb_image): names, bytes, methods, and the zip64 records past 65,535 files.
#include "formats/zip/zip_writer.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/image_reader.hpp"

namespace vostrel {
namespace {

struct Added {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// The archive of the files, its bytes taken as they are written after every file and, with
// directoryStep, whenever the central directory has that many pending.
std::vector<std::uint8_t> ZipOf(const std::vector<Added>& files,
                                std::size_t directoryStep = SIZE_MAX) {
  ZipWriter zip;
  std::vector<std::uint8_t> archive;
  const auto take = [&] {
    archive.insert(archive.end(), zip.Pending().begin(), zip.Pending().end());
    zip.TakePending();
  };
  for (const Added& file : files) {
    EXPECT_TRUE(zip.Add(file.name, file.bytes)) << file.name;
    take();
  }
  while (!zip.Finish(directoryStep)) {
    take();
  }
  take();
  return archive;
}

TEST(ZipWriterTest, FilesReadBackAsAddedEachCompressedOnlyWhereThatIsSmaller) {
  std::vector<std::uint8_t> rows(100000);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i] = static_cast<std::uint8_t>((i / 256) % 7);
  }
  std::vector<std::uint8_t> noise(5000);
  std::uint32_t state = 1;
  for (std::uint8_t& byte : noise) {
    state = state * 1103515245U + 12345U;
    byte = static_cast<std::uint8_t>(state >> 24U);
  }
  const std::vector<Added> files{{"empty.bmp", {}},
                                 {"door_P1_F1_K1.bmp", rows},
                                 {"noise.png", noise},
                                 {"n\xC3\xA4me.txt", {1, 2}}};
  const test::ReadZip read = test::ParseZip(ZipOf(files));
  ASSERT_TRUE(read.ok);
  EXPECT_FALSE(read.zip64);
  ASSERT_EQ(read.files.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(read.files[i].name, files[i].name);
    EXPECT_EQ(read.files[i].bytes, files[i].bytes) << files[i].name;
  }
  EXPECT_EQ(read.files[1].method, 8);  // compressed
  EXPECT_EQ(read.files[2].method, 0);  // stored: deflate would not make it smaller
  EXPECT_EQ(read.files[0].flags, 0);
  EXPECT_EQ(read.files[3].flags, 0x0800);  // a UTF-8 name says so
}

TEST(ZipWriterTest, MoreFilesThanTheEndRecordCountsGoInTheZip64RecordsOfADirectoryWrittenInSteps) {
  std::vector<Added> files(70000);
  for (std::size_t i = 0; i < files.size(); ++i) {
    files[i].name = std::to_string(i);
    files[i].bytes = {static_cast<std::uint8_t>(i)};
  }
  const test::ReadZip read = test::ParseZip(ZipOf(files, 4096));
  ASSERT_TRUE(read.ok);
  EXPECT_TRUE(read.zip64);
  ASSERT_EQ(read.files.size(), files.size());
  EXPECT_EQ(read.files.back().name, "69999");
  EXPECT_EQ(read.files.back().bytes, files.back().bytes);
}

}  // namespace
}  // namespace vostrel
