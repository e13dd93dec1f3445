// JSON strings written by hand, and names shown with their control characters escaped.
#include "io/json_text.hpp"

#include <algorithm>

namespace vostrel {

namespace {

constexpr std::string_view kHex = "0123456789abcdef";
// The characters below the space are control characters, and so is DEL.
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < kFirstPrintable || byte == kDelete;
}

// "\u00XX" for a byte.
void AppendEscape(std::string& out, unsigned char byte) {
  out += "\\u00";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < kFirstPrintable) {
      AppendEscape(out, byte);
    } else {
      out += c;
    }
  }
  out += '"';
}

bool HoldsControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), IsControl);
}

std::string ShownText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (IsControl(c)) {
      AppendEscape(out, static_cast<unsigned char>(c));
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace vostrel
