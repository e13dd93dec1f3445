#include "image/path.hpp"

namespace vostrel {

void CutAtLastSeparator(std::string& text) {
  const auto at = text.rfind(kPathSeparator);
  text.resize(at == std::string::npos ? 0 : at);
}

void StripDirectory(std::string& text) {
  const auto at = text.rfind(kPathSeparator);
  if (at != std::string::npos) {
    text.erase(0, at + 1);
  }
}

void CutAtLastDot(std::string& text) {
  const auto at = text.rfind('.');
  if (at != std::string::npos) {
    text.resize(at);
  }
}

void AppendText(std::string_view suffix, std::string& target) { target.append(suffix); }

bool ContainsSeparator(std::string_view text) {
  return text.find(kPathSeparator) != std::string_view::npos;
}

}  // namespace vostrel
