// The rules of paths and the text helpers names are made with.
#include "io/path.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

namespace vostrel {

namespace {

// The length of a drive designator ("C:") at the start of path, 0 when there is none. Only a
// Windows path has one, and only when read with the platform's separators.
std::size_t DriveLength(std::string_view path, std::string_view separators) {
#ifdef _WIN32
  const bool letter =
      !path.empty() && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (separators == kPathSeparators && letter && path.size() >= 2 && path[1] == ':') {
    return 2;
  }
#else
  static_cast<void>(path);
  static_cast<void>(separators);
#endif
  return 0;
}

}  // namespace

PathParts SplitPath(std::string_view path, std::string_view separators) {
  const std::size_t last = path.find_last_of(separators);
  const std::size_t nameAt =
      last == std::string_view::npos ? DriveLength(path, separators) : last + 1;
  PathParts parts;
  parts.directory = path.substr(0, nameAt);
  parts.name = path.substr(nameAt);
  parts.stem = StemOf(parts.name);
  return parts;
}

std::string_view StemOf(std::string_view name) { return name.substr(0, name.rfind('.')); }

std::string JoinPath(std::string_view directory, std::string_view name) {
  std::string joined(directory);
  const bool separated = directory.empty() ||
                         kPathSeparators.find(directory.back()) != std::string_view::npos ||
                         DriveLength(directory, kPathSeparators) == directory.size();
  if (!separated) {
    joined += kPathSeparator;
  }
  joined += name;
  return joined;
}

void AppendDecimal(std::string& text, std::int32_t value) {
  std::array<char, std::numeric_limits<std::int32_t>::digits10 + 2> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  text.append(digits.data(), end);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace vostrel
