// The command line of vostrel, in pieces the tests can reach.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "io/console.hpp"
#include "io/files.hpp"
#include "platform/platform.hpp"

namespace vostrel {

// Everything the front end writes goes to the console it is handed: the process's own from
// main, a recording one in tests. (In a batch, the layers below write to a file's lane of it.)
void PrintBanner(Console& console);
void PrintUsage(Console& console);
// The allocation operator's new-handler: reports the exhausted memory and ends the run.
[[noreturn]] void OnOutOfMemory();

// Says so on the console, then lists the current directory's .ART files into the list file.
platform::InputListResult BuildInputList(Console& console);
void DeleteInputList();

// The next name of the list without its line end (CR LF or LF), the last line included even
// when it has none; nothing once the list is exhausted or cannot be read.
std::optional<std::string> ReadListLine(std::FILE* list);

// Converts every name of the list file into destDir. With the default destination
// (useModuleDirectory) a failed file is reported to the user as an error to acknowledge.
// Returns the exit status: 1 when any file failed or the list could not be read, else 0.
int RunBatch(const std::string& destDir, bool useModuleDirectory, Console& console, Files& files);

// The whole run of the program, writing to console: returns its exit status (0, 1 or -1). The
// .ART files are read and the BMPs written through files (the real ones unless given: the
// browser page reads its user's file and takes the BMPs as they are written); the destination
// directory is made, and batch mode's list kept, on the real file system.
int Run(int argc, const char* const* argv, Console& console);
int Run(int argc, const char* const* argv, Console& console, Files& files);

}  // namespace vostrel
