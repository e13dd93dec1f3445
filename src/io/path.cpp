// Path and name helpers.
#include "io/path.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

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

void AppendDecimal(std::string& text, std::int32_t value) {
  std::array<char, std::numeric_limits<std::int32_t>::digits10 + 2> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  text.append(digits.data(), end);
}

bool ContainsSeparator(std::string_view text) {
  return text.find(kPathSeparator) != std::string_view::npos;
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

namespace {

// Where path's last separator is; on Windows '/' counts too, as the system takes it.
std::size_t LastSeparator(std::string_view path) {
#ifdef _WIN32
  return path.find_last_of("\\/");
#else
  return path.rfind(kPathSeparator);
#endif
}

}  // namespace

std::string FileNameOf(std::string_view path) {
  const std::size_t last = LastSeparator(path);
  return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

std::string Beside(std::string_view path, std::string_view name) {
  const std::size_t last = LastSeparator(path);
  std::string joined(last == std::string_view::npos ? std::string_view()
                                                    : path.substr(0, last + 1));
  joined += name;
  return joined;
}

}  // namespace vostrel
