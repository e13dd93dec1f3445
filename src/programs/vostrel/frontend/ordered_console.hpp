// The console of a batch that converts several files at once (OrderedConsole).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "io/console.hpp"

namespace vostrel {

// The one owner of the console while a batch converts several files at once. Each file of the
// batch writes through a lane of its own; the lane of the file first in line goes straight
// through, and the lanes behind it are held and come out, in list order, when their turn comes.
// What reaches the console is thus exactly what converting the files one after another writes,
// line ends and flushes included.
class OrderedConsole {
 public:
  // showMessage shows a failed file's message to the user (and may wait for them); it runs in
  // list order like the text.
  OrderedConsole(Console& console, std::function<void(const std::string&)> showMessage,
                 std::size_t lanes);
  ~OrderedConsole();
  OrderedConsole(const OrderedConsole&) = delete;
  OrderedConsole& operator=(const OrderedConsole&) = delete;

  // The console of file index; it may be used from any one thread at a time.
  Console& Lane(std::size_t index);
  // Shows text through showMessage after everything file index has written so far.
  void ShowMessage(std::size_t index, const std::string& text);
  // File index writes no more. Once it is first in line, the files after it take their turns.
  void Close(std::size_t index);

 private:
  enum class Kind { kText, kMarks, kEndLine, kMessage };
  // What a lane behind the first holds until its turn.
  struct HeldEntry {
    Kind kind;
    Stream stream;
    std::string text;
    std::uint64_t marks;
  };
  class LaneConsole;
  // One file's lane. Its mutex guards the fields below; only the thread that writes through the
  // lane, or the one that hands it the console, takes it, so files behind the first never wait
  // for the first one's writes.
  struct LaneState {
    std::mutex mutex;
    bool live = false;  // first in line: writes go straight to the console
    std::vector<HeldEntry> held;
    std::unique_ptr<LaneConsole> console;
  };

  // Writes the entry at once when lane index is live, else holds it.
  void Put(std::size_t index, Kind kind, Stream stream, std::string_view text, std::uint64_t marks);
  // Runs with the mutex of the live lane held: only one thread writes to the console at a time.
  void Emit(Kind kind, Stream stream, std::string_view text, std::uint64_t marks);

  Console& console_;
  std::function<void(const std::string&)> showMessage_;
  std::vector<LaneState> lanes_;
  std::mutex orderMutex_;  // guards closed_ and first_
  std::vector<bool> closed_;
  std::size_t first_ = 0;  // the file first in line, whose lane is live
};

}  // namespace vostrel
