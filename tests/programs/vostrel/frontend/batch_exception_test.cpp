// A batch whose conversion throws still ends, with every other file converted.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "io/memory_files.hpp"
#include "io/path.hpp"
#include "programs/vostrel/frontend/batch.hpp"
#include "support/art_writer.hpp"
#include "support/recording_console.hpp"

namespace vostrel {
namespace {

class BatchExceptionTest : public ::testing::TestWithParam<std::size_t> {};

// The message shown for a failed file throws (as anything on a worker might): the batch must
// neither hang nor end the process, but finish the other files and throw again on its caller's
// thread, whichever thread met the exception.
TEST_P(BatchExceptionTest, ThrowingWorkerEndsTheBatchWithEveryOtherFileConverted) {
  MemoryFiles files;
  std::vector<BatchFile> list;
  for (const std::string name : {"a", "broken", "c", "d", "e"}) {
    const std::string path = name + ".art";
    files.Contents()[path] = name == "broken"
                                 ? test::Bytes{1, 2, 3}
                                 : test::WriteArt(test::OneFrameLayout(1, {{2, 2, {1, 2, 3, 4}}}));
    list.push_back({path, path});
  }
  const std::string out = std::string("out") + kPathSeparator;
  test::RecordingConsole console;
  EXPECT_THROW(ConvertBatch(list, out, true, GetParam(), console, files,
                            [](const std::string&) { throw std::runtime_error("no message"); }),
               std::runtime_error);
  for (const std::string name : {"a", "c", "d", "e"}) {
    EXPECT_EQ(files.Contents().count(out + name + "_0_0_0.bmp"), 1u) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Workers, BatchExceptionTest, ::testing::Values(1, 3));

}  // namespace
}  // namespace vostrel
