#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "image/console.hpp"

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
  struct Entry {
    enum class Kind { kText, kMarks, kEndLine, kMessage };
    Kind kind;
    Stream stream;
    std::string_view text;
    std::uint64_t marks;
  };
  struct HeldEntry {
    Entry::Kind kind;
    Stream stream;
    std::string text;
    std::uint64_t marks;
  };
  class LaneConsole;

  // Writes the entry at once when file index is first in line, else holds it.
  void Put(std::size_t index, Entry::Kind kind, Stream stream, std::string_view text,
           std::uint64_t marks);
  // Runs with mutex_ held.
  void Emit(const Entry& entry);

  std::mutex mutex_;
  Console& console_;
  std::function<void(const std::string&)> showMessage_;
  std::vector<std::unique_ptr<LaneConsole>> lanes_;
  std::vector<std::vector<HeldEntry>> held_;
  std::vector<bool> closed_;
  std::size_t first_ = 0;  // the file first in line, whose lane goes straight through
};

}  // namespace vostrel
