// The command line of vostrel-pack.
#pragma once

#include <ostream>

#include "io/files.hpp"
#include "packing/pack.hpp"

namespace vostrel {

// The whole run of vostrel-pack on the given arguments (argv[0] is the program's name), writing
// on out and err: returns its exit status, 0 on success, 1 on failure, 2 on wrong arguments.
// Its files are the real ones.
int RunPack(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// The same run reaching every file through files; on success, what it did is put in outcome
// when that is given.
int RunPack(int argc, const char* const* argv, std::ostream& out, std::ostream& err, Files& files,
            PackOutcome* outcome);

}  // namespace vostrel
