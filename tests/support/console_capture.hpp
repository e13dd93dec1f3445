#pragma once

#include <iostream>
#include <sstream>
#include <string>

namespace vostrel::test {

// Collects what the code under test writes to standard output and standard error for as long
// as it lives.
class ConsoleCapture {
 public:
  ConsoleCapture()
      : oldOut_(std::cout.rdbuf(out_.rdbuf())), oldErr_(std::cerr.rdbuf(err_.rdbuf())) {}
  ~ConsoleCapture() {
    std::cout.rdbuf(oldOut_);
    std::cerr.rdbuf(oldErr_);
  }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::string Out() const { return out_.str(); }
  std::string Err() const { return err_.str(); }

 private:
  std::ostringstream out_;
  std::ostringstream err_;
  std::streambuf* oldOut_;
  std::streambuf* oldErr_;
};

}  // namespace vostrel::test
