#include "frontend/ordered_console.hpp"

#include <utility>

namespace vostrel {

class OrderedConsole::LaneConsole : public Console {
 public:
  LaneConsole(OrderedConsole& owner, std::size_t index) : owner_(owner), index_(index) {}

  void Write(Stream stream, std::string_view text) override {
    owner_.Put(index_, Entry::Kind::kText, stream, text, 0);
  }
  void Marks(std::uint64_t count) override {
    owner_.Put(index_, Entry::Kind::kMarks, Stream::kOut, {}, count);
  }
  void EndLine(Stream stream) override { owner_.Put(index_, Entry::Kind::kEndLine, stream, {}, 0); }

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
  Put(index, Entry::Kind::kMessage, Stream::kErr, text, 0);
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
        Emit({entry.kind, entry.stream, entry.text, entry.marks});
      }
      std::vector<HeldEntry>().swap(next.held);
      next.live = true;
    }
  }
}

void OrderedConsole::Put(std::size_t index, Entry::Kind kind, Stream stream, std::string_view text,
                         std::uint64_t marks) {
  LaneState& lane = lanes_.at(index);
  const std::lock_guard lock(lane.mutex);
  if (lane.live) {
    Emit({kind, stream, text, marks});
    return;
  }
  // Held text is kept compact: a run of marks is one count (a damaged header can ask for
  // millions), and text written between line ends is joined.
  std::vector<HeldEntry>& held = lane.held;
  if (!held.empty() && held.back().kind == kind && held.back().stream == stream) {
    if (kind == Entry::Kind::kMarks) {
      held.back().marks += marks;
      return;
    }
    if (kind == Entry::Kind::kText) {
      held.back().text += text;
      return;
    }
  }
  held.push_back({kind, stream, std::string(text), marks});
}

void OrderedConsole::Emit(const Entry& entry) {
  switch (entry.kind) {
    case Entry::Kind::kText:
      console_.Write(entry.stream, entry.text);
      break;
    case Entry::Kind::kMarks:
      console_.Marks(entry.marks);
      break;
    case Entry::Kind::kEndLine:
      console_.EndLine(entry.stream);
      break;
    case Entry::Kind::kMessage:
      showMessage_(std::string(entry.text));
      break;
  }
}

}  // namespace vostrel
