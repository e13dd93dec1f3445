// The converter's own path helpers. Its paths are split at the platform's one separator alone
// (on Windows only at '\'), as they always were; the helpers follow the path rules of
// io/path.hpp with that separator given.
#pragma once

#include <string>
#include <string_view>

namespace vostrel {

// Ends text at its last separator (the separator itself goes); a text without one becomes empty.
void CutAtLastSeparator(std::string& text);

// Keeps only what follows the last separator; a text without one is left as it is.
void StripDirectory(std::string& text);

// Ends text at its last '.'; a text without a dot is left as it is.
void CutAtLastDot(std::string& text);

void AppendText(std::string_view suffix, std::string& target);

// Whether text holds the separator.
bool ContainsSeparator(std::string_view text);

}  // namespace vostrel
