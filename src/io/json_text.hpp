// JSON text written by hand, where a whole library would be more than the few fields need (the
// sheets' manifest, the page's answers).
#pragma once

#include <string>
#include <string_view>

namespace vostrel {

// Appends text as a JSON string: quoted, with '"', '\' and control characters escaped. Other
// bytes (UTF-8, or whatever a file name holds) are kept as they are.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace vostrel
