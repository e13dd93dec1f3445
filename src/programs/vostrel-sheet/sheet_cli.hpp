// The command line of vostrel-sheet.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace vostrel {

class Files;

// Makes the destination directory when it is missing: nothing once it is there, else what went
// wrong and what to do, as a message to show after its path.
using DestinationMaker = std::function<std::optional<std::string>(const std::string& path)>;

// The whole run of vostrel-sheet on the given arguments (argv[0] is the program's name), with
// files through files, writing on out and err: returns its exit status, 0 on success, 1 on
// failure, 2 on wrong arguments. workers is the number of files made at once (1 or more).
int RunSheet(int argc, const char* const* argv, std::ostream& out, std::ostream& err, Files& files,
             std::size_t workers, const DestinationMaker& makeDestination);

}  // namespace vostrel
