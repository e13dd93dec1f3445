// Path and name helpers: the platform's separator, cutting paths apart, appending text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vostrel {

// The directory separator of the build's platform; every path the program composes or splits
// uses this one character.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Ends text at its last separator (the separator itself goes); a text without one becomes empty.
void CutAtLastSeparator(std::string& text);

// Keeps only what follows the last separator; a text without one is left as it is.
void StripDirectory(std::string& text);

// Ends text at its last '.'; a text without a dot is left as it is.
void CutAtLastDot(std::string& text);

void AppendText(std::string_view suffix, std::string& target);

// Appends value in decimal, with a '-' when negative.
void AppendDecimal(std::string& text, std::int32_t value);

bool ContainsSeparator(std::string_view text);

// The file name in the directory of path: path up to and including its last separator (on
// Windows '/' counts too), then name; name alone when path has no directory part. The separator
// the path was written with is kept, so that names given with '/' find files held under them.
std::string Beside(std::string_view path, std::string_view name);

// What follows path's last separator (on Windows '/' counts too): its file name.
std::string FileNameOf(std::string_view path);

// ASCII letters only, so that names compare the same whatever the locale.
char LowerAscii(char c);
// Whether a and b are equal when ASCII letters are compared without regard to case.
bool EqualIgnoringCase(std::string_view a, std::string_view b);
// Whether text ends with suffix, ASCII letters compared without regard to case.
bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix);

}  // namespace vostrel
