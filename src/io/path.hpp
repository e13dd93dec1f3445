// The rules of paths, each written once: which separators a path takes, a file's name and stem
// from a path, and a directory joined with a name; and the text helpers names are made with.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vostrel {

// The separator the programs write when they compose a path, and the separators the platform
// takes when it reads one: '/' everywhere, and '\' too on Windows.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr std::string_view kPathSeparators = "\\/";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::string_view kPathSeparators = "/";
#endif
// kPathSeparator alone, for a rule that splits at that one character.
inline constexpr std::string_view kOwnSeparatorOnly{&kPathSeparator, 1};

// The parts of a path, views into it.
struct PathParts {
  std::string_view directory;  // up to and including the last separator; empty without one
  std::string_view name;       // what follows: the file's name
  std::string_view stem;       // the name up to its last dot (StemOf)
};

// Splits path at its last separator among `separators`. With the platform's separators, a
// Windows path's drive ("C:" of "C:door.art") is its directory too, as the system reads it.
PathParts SplitPath(std::string_view path, std::string_view separators = kPathSeparators);

// A file name up to its last dot; all of it when it has none (".art" gives an empty stem).
std::string_view StemOf(std::string_view name);

// directory, then name: with the platform's separator between them unless directory is empty
// or already ends with a separator it takes (or, on Windows, is a drive alone, "C:").
std::string JoinPath(std::string_view directory, std::string_view name);

// Appends value in decimal, with a '-' when negative.
void AppendDecimal(std::string& text, std::int32_t value);

// ASCII letters only, so that names compare the same whatever the locale.
char LowerAscii(char c);
// Whether a and b are equal when ASCII letters are compared without regard to case.
bool EqualIgnoringCase(std::string_view a, std::string_view b);
// Whether text ends with suffix, ASCII letters compared without regard to case.
bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix);

}  // namespace vostrel
