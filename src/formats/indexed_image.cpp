// The plain values the picture writers share (see indexed_image.hpp).
#include "formats/indexed_image.hpp"

#include <algorithm>
#include <cstring>

namespace vostrel {

void PaintOnCanvas(const IndexedPlane& frame, std::int32_t width, std::int32_t height,
                   std::uint8_t background, std::vector<std::uint8_t>& canvas) {
  const auto w = static_cast<std::size_t>(width);
  canvas.assign(w * static_cast<std::size_t>(height), background);
  const std::int32_t rows = std::min(frame.height, height);
  const auto columns = static_cast<std::size_t>(std::min(frame.width, width));
  for (std::int32_t y = 0; y < rows; ++y) {
    const auto row = frame.Row(y);
    std::memcpy(canvas.data() + static_cast<std::size_t>(y) * w, row.data(), columns);
  }
}

}  // namespace vostrel
