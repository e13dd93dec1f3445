// The converter's path helpers, on the path rules of io/path.hpp with its one separator.
#include "programs/vostrel/image/path_helpers.hpp"

#include "io/path.hpp"

namespace vostrel {

namespace {

std::string_view DirectoryOf(std::string_view text) {
  return SplitPath(text, kOwnSeparatorOnly).directory;
}

}  // namespace

void CutAtLastSeparator(std::string& text) {
  const std::size_t directory = DirectoryOf(text).size();
  text.resize(directory == 0 ? 0 : directory - 1);
}

void StripDirectory(std::string& text) { text.erase(0, DirectoryOf(text).size()); }

void CutAtLastDot(std::string& text) { text.resize(StemOf(text).size()); }

void AppendText(std::string_view suffix, std::string& target) { target.append(suffix); }

bool ContainsSeparator(std::string_view text) { return !DirectoryOf(text).empty(); }

}  // namespace vostrel
