// The command line of vostrel-pack.
#pragma once

#include <ostream>

namespace vostrel {

// The whole run of vostrel-pack on the given arguments (argv[0] is the program's name), writing
// on out and err: returns its exit status, 0 on success, 1 on failure, 2 on wrong arguments.
int RunPack(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace vostrel
