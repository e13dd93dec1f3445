// Running a built program (the converter, the packer) as a process and collecting its exit
// status and its two streams, for the end-to-end tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vostrel::test {

struct RunResult {
  int status = 0;  // the low 8 bits of the exit status, so -1 reads 255 on every platform
  std::string out;
  std::string err;
};

// Runs program with args in workDir, standard input from the null device, and captures what
// it writes to standard output and standard error; with mergeStreams both go to out, in the
// order the program wrote them (as 2>&1 does).
RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& workDir, bool mergeStreams = false);

// The path of the converter under test, as built.
std::filesystem::path ConverterPath();

// The path of vostrel-pack under test, as built; VOSTREL_PACK_EXE in the environment overrides it.
std::filesystem::path PackerPath();

// A file of the project's source tree, given relative to its top.
std::filesystem::path SourcePath(const std::string& relative);

}  // namespace vostrel::test
