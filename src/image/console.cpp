#include "image/console.hpp"

#include <iostream>

namespace vostrel {

void WriteMark() { std::cout.put('.'); }

void EndLine(std::ostream& stream) {
  stream.put('\n');
  stream.flush();
}

}  // namespace vostrel
