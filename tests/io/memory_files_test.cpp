// MemoryFiles as the packer's tests rely on it: listings, staged writes and injected faults.
#include "io/memory_files.hpp"

#include <gtest/gtest.h>

#include <array>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "io/path.hpp"

namespace vostrel {
namespace {

using Names = std::vector<std::string>;

// a/b with the build's separator.
std::string Join(const std::string& a, const std::string& b) { return a + kPathSeparator + b; }

void Fill(MemoryFiles& files) {
  for (const std::string& path : Names{Join("d", "a"), Join("d", Join("s", "x")),
                                       Join("d", Join("s", "y")), Join("d", "s.txt"), "d-b", "e"}) {
    files.Contents()[path] = {1, 2, 3};
  }
}

struct ListingCase {
  std::string dir;
  bool failing;
  std::optional<Names> names;
};

TEST(MemoryFilesTest, ListsTheNamesDirectlyInADirectory) {
  const std::vector<ListingCase> cases{
      {"d", false, Names{"a", "s", "s.txt"}},
      {Join("d", "s"), false, Names{"x", "y"}},
      {"e", false, std::nullopt},        // a file, not a directory
      {"missing", false, std::nullopt},  // as a directory that cannot be opened
      {"d", true, std::nullopt},
  };
  for (const ListingCase& c : cases) {
    MemoryFiles files;
    Fill(files);
    if (c.failing) {
      files.FailListingOf(c.dir);
    }
    EXPECT_EQ(files.ListDirectory(c.dir), c.names) << c.dir << (c.failing ? " failing" : "");
  }
}

TEST(MemoryFilesTest, StagedBytesTakeThePlaceOnlyWhenCommitted) {
  MemoryFiles files;
  Fill(files);
  const std::vector<std::uint8_t> bytes{9, 8};
  std::string failure;
  {
    const std::unique_ptr<StagedWrite> dropped = files.Stage("e", bytes, failure);
    ASSERT_NE(dropped, nullptr);
  }
  EXPECT_EQ(files.Contents().at("e"), (MemoryFiles::Bytes{1, 2, 3}));
  const std::unique_ptr<StagedWrite> staged = files.Stage("e", bytes, failure);
  ASSERT_NE(staged, nullptr);
  EXPECT_EQ(files.Contents().at("e"), (MemoryFiles::Bytes{1, 2, 3}));
  EXPECT_EQ(staged->Commit(), std::nullopt);
  EXPECT_EQ(files.Contents().at("e"), bytes);
}

TEST(MemoryFilesTest, InjectedFaultsFailTheirCallsAndLeaveTheFile) {
  MemoryFiles files;
  Fill(files);
  const std::vector<std::uint8_t> bytes{9, 8};
  std::string failure;
  files.FailWritesTo("e");
  EXPECT_EQ(files.Stage("e", bytes, failure), nullptr);
  EXPECT_FALSE(failure.empty());
  EXPECT_NE(files.Replace("e", bytes), std::nullopt);
  EXPECT_EQ(files.Contents().at("e"), (MemoryFiles::Bytes{1, 2, 3}));
  const std::array pieces{std::span<const std::uint8_t>(bytes)};
  EXPECT_FALSE(files.Create("e")->Write(pieces));

  files.FailCommitsTo("d-b");
  const std::unique_ptr<StagedWrite> staged = files.Stage("d-b", bytes, failure);
  ASSERT_NE(staged, nullptr);
  EXPECT_NE(staged->Commit(), std::nullopt);
  EXPECT_EQ(files.Contents().at("d-b"), (MemoryFiles::Bytes{1, 2, 3}));
}

// Exhausted memory reaches the caller as such, never as a file that cannot be read.
TEST(MemoryFilesTest, ExhaustedMemoryWhileReadingIsThrown) {
  MemoryFiles files;
  Fill(files);
  files.ExhaustMemoryReading("e");
  EXPECT_THROW(ReadWholeFile(files, "e"), std::bad_alloc);
  EXPECT_EQ(ReadWholeFile(files, "d-b").status, ReadStatus::kOk);
}

}  // namespace
}  // namespace vostrel
