// JSON text written by hand, where a whole library would be more than the few fields need (the
// sheets' manifest, the page's answers); and names shown with their control characters escaped
// the way JSON escapes them.
#pragma once

#include <string>
#include <string_view>

namespace vostrel {

// Appends text as a JSON string: quoted, with '"', '\' and control characters escaped. Other
// bytes (UTF-8, or whatever a file name holds) are kept as they are.
void AppendJsonString(std::string& out, std::string_view text);

// Whether text holds a control character: a byte below 0x20, or 0x7F.
bool HoldsControlCharacter(std::string_view text);

// text with each control character written as JSON writes it (\u0000): how messages show names,
// which may hold any byte, so that none can cut, split or colour the line it is shown on. The
// rest is kept as it is, so that text without control characters is shown unchanged.
std::string ShownText(std::string_view text);

}  // namespace vostrel
