// The batch's console on its own: lanes written and closed out of order come out in list order.
#include "programs/vostrel/frontend/ordered_console.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/recording_console.hpp"

namespace vostrel {
namespace {

// Writes what file index of a batch writes: a line with two runs of marks (the second large, as
// a damaged header asks), a message, an error line.
void WriteFile(Console& lane, OrderedConsole& ordered, std::size_t index) {
  const std::string name = "file" + std::to_string(index);
  lane.Out(name);
  lane.Out(" opening");
  lane.Marks(index + 2);
  lane.Marks(1000000);
  lane.EndLine(Stream::kOut);
  ordered.ShowMessage(index, name + " failed");
  lane.Err(name);
  lane.EndLine(Stream::kErr);
}

std::string Expected(std::size_t index) {
  const std::string name = "file" + std::to_string(index);
  return name + " opening" + std::string(index + 2 + 1000000, '.') + "\n|<" + name + " failed>" +
         name + "\n!";
}

struct CloseOrder {
  const char* name;
  std::vector<std::size_t> writes;  // the order in which the files write
  std::vector<std::size_t> closes;  // the order in which they close
  friend void PrintTo(const CloseOrder& c, std::ostream* os) { *os << c.name; }
};

class OrderedConsoleTest : public ::testing::TestWithParam<CloseOrder> {};

TEST_P(OrderedConsoleTest, ReplaysEveryLaneInListOrder) {
  test::RecordingConsole console;
  std::string transcript;
  std::size_t markCalls = 0;
  // Messages are recorded into the same transcript, so their place among the text shows.
  class Counting : public Console {
   public:
    Counting(test::RecordingConsole& to, std::size_t& marks) : to_(to), marks_(marks) {}
    void Write(Stream stream, std::string_view text) override { to_.Write(stream, text); }
    void Marks(std::uint64_t count) override {
      ++marks_;
      to_.Marks(count);
    }
    void EndLine(Stream stream) override { to_.EndLine(stream); }

   private:
    test::RecordingConsole& to_;
    std::size_t& marks_;
  } counting(console, markCalls);
  const std::size_t lanes = GetParam().writes.size();
  {
    OrderedConsole ordered(
        counting, [&console](const std::string& text) { console.Out("<" + text + ">"); }, lanes);
    for (const std::size_t index : GetParam().writes) {
      WriteFile(ordered.Lane(index), ordered, index);
    }
    for (const std::size_t index : GetParam().closes) {
      ordered.Close(index);
    }
  }
  std::string expected;
  for (std::size_t index = 0; index < lanes; ++index) {
    expected += Expected(index);
  }
  EXPECT_EQ(console.Transcript(), expected);
  // Every lane writes before any closes: the first, live, passes its two runs of marks on as
  // they come; each lane behind it holds its runs as one count.
  EXPECT_EQ(markCalls, 2 + (lanes - 1));
}

INSTANTIATE_TEST_SUITE_P(Orders, OrderedConsoleTest,
                         ::testing::Values(CloseOrder{"InOrder", {0, 1, 2}, {0, 1, 2}},
                                           CloseOrder{"Reversed", {2, 1, 0}, {2, 1, 0}},
                                           CloseOrder{"MiddleFirst", {1, 2, 0}, {1, 0, 2}},
                                           CloseOrder{
                                               "LastBeforeFirst", {0, 3, 1, 2}, {3, 0, 2, 1}}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace vostrel
