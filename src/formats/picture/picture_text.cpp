// The words of the messages about pictures, shared by the decoder and vostrel-pack.
#include <string>

#include "formats/picture/picture.hpp"

namespace vostrel {

std::string PixelsText(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " pixel" : " pixels");
}

std::string PositionText(std::uint64_t x, std::uint64_t y) {
  return "x " + std::to_string(x) + ", y " + std::to_string(y);
}

}  // namespace vostrel
