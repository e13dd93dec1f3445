// The console of a batch: a lane per file, replayed in list order.
#include "programs/vostrel/frontend/ordered_console.hpp"

#include <utility>

namespace vostrel {

class OrderedConsole::LaneConsole : public Console {
 public:
  LaneConsole(OrderedConsole& owner, std::size_t index) : owner_(owner), index_(index) {}

  void Write(Stream stream, std::string_view text) override {
    owner_.Put(index_, Kind::kText, stream, text, 0);
  }
  void Marks(std::uint64_t count) override {
    owner_.Put(index_, Kind::kMarks, Stream::kOut, {}, count);
  }
  void EndLine(Stream stream) override { owner_.Put(index_, Kind::kEndLine, stream, {}, 0); }

 private:
  OrderedConsole& owner_;
  std::size_t index_;
};

OrderedConsole::OrderedConsole(Console& console,
                               std::function<void(const std::string&)> showMessage,
                               std::size_t lanes)
    : console_(console), showMessage_(std::move(showMessage)), lanes_(lanes), closed_(lanes) {
  for (std::size_t index = 0; index < lanes; ++index) {
    lanes_[index].console = std::make_unique<LaneConsole>(*this, index);
  }
  if (!lanes_.empty()) {
    lanes_.front().live = true;
  }
}

OrderedConsole::~OrderedConsole() = default;

Console& OrderedConsole::Lane(std::size_t index) { return *lanes_.at(index).console; }

void OrderedConsole::ShowMessage(std::size_t index, const std::string& text) {
  Put(index, Kind::kMessage, Stream::kErr, text, 0);
}

void OrderedConsole::Close(std::size_t index) {
  const std::lock_guard order(orderMutex_);
  closed_.at(index) = true;
  while (first_ < closed_.size() && closed_[first_]) {
    ++first_;
    if (first_ < lanes_.size()) {
      // The next file's held text comes out, and its lane goes live, before its own thread can
      // write anything more.
      LaneState& next = lanes_[first_];
      const std::lock_guard lock(next.mutex);
      for (const HeldEntry& entry : next.held) {
        Emit(entry.kind, entry.stream, entry.text, entry.marks);
      }
      std::vector<HeldEntry>().swap(next.held);
      next.live = true;
    }
  }
}

void OrderedConsole::Put(std::size_t index, Kind kind, Stream stream, std::string_view text,
                         std::uint64_t marks) {
  LaneState& lane = lanes_.at(index);
  const std::lock_guard lock(lane.mutex);
  if (lane.live) {
    Emit(kind, stream, text, marks);
    return;
  }
  // Held text is kept compact: a run of marks is one count (a damaged header can ask for
  // millions), and text written between line ends is joined.
  std::vector<HeldEntry>& held = lane.held;
  if (!held.empty() && held.back().kind == kind && held.back().stream == stream) {
    if (kind == Kind::kMarks) {
      held.back().marks += marks;
      return;
    }
    if (kind == Kind::kText) {
      held.back().text += text;
      return;
    }
  }
  held.push_back({kind, stream, std::string(text), marks});
}

void OrderedConsole::Emit(Kind kind, Stream stream, std::string_view text, std::uint64_t marks) {
  switch (kind) {
    case Kind::kText:
      console_.Write(stream, text);
      break;
    case Kind::kMarks:
      console_.Marks(marks);
      break;
    case Kind::kEndLine:
      console_.EndLine(stream);
      break;
    case Kind::kMessage:
      showMessage_(std::string(text));
      break;
  }
}

}  // namespace vostrel
