// Starting a program with its streams sent to files, and where the programs under test and the
// source tree are.
#include "support/run_program.hpp"

#include <cstdlib>
#include <stdexcept>

#include "support/art_writer.hpp"
#include "support/temp_dir.hpp"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace vostrel::test {

namespace {

#ifdef _WIN32
std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// Quotes one argument of the program so that the C runtime's command-line parser gives it back
// as it was: a run of backslashes is literal unless a quote follows it, so the run before an
// embedded quote, or before the closing one (a destination such as C:\out\), is doubled.
std::string QuoteArgument(const std::string& text) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : text) {
    if (c == '\\') {
      ++backslashes;
    } else {
      if (c == '"') {
        quoted.append(backslashes + 1, '\\');
      }
      backslashes = 0;
    }
    quoted += c;
  }
  quoted.append(backslashes, '\\');
  return quoted + "\"";
}
#else
std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string QuoteArgument(const std::string& text) { return Quote(text); }
#endif

int ExitStatus(int systemResult) {
#ifdef _WIN32
  return systemResult & 0xFF;
#else
  if (systemResult == -1 || !WIFEXITED(systemResult)) {
    throw std::runtime_error("the program did not run to its end");
  }
  return WEXITSTATUS(systemResult);
#endif
}

std::string AsText(const Bytes& bytes) {
  std::string text(bytes.begin(), bytes.end());
#ifdef _WIN32
  // The program's streams are in text mode, which ends Windows lines with CR LF; the expected
  // texts are written with LF alone.
  std::string::size_type at = 0;
  while ((at = text.find("\r\n", at)) != std::string::npos) {
    text.erase(at, 1);
    ++at;
  }
#endif
  return text;
}

}  // namespace

RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& workDir, bool mergeStreams) {
  const TempDir captures;
  const std::string outPath = captures.File("stdout");
  const std::string errPath = captures.File("stderr");
  std::string command = Quote(program.string());
  for (const std::string& arg : args) {
    command += ' ' + QuoteArgument(arg);
  }
#ifdef _WIN32
  const std::string errTarget = mergeStreams ? "&1" : Quote(errPath);
  command = "cd /d " + Quote(workDir.string()) + " && " + command + " >" + Quote(outPath) + " 2>" +
            errTarget + " <nul";
  // cmd strips one pair of outer quotes from what it is given.
  command = "\"" + command + "\"";
#else
  const std::string errTarget = mergeStreams ? "&1" : Quote(errPath);
  command = "cd " + Quote(workDir.string()) + " && " + command + " >" + Quote(outPath) + " 2>" +
            errTarget + " </dev/null";
#endif
  RunResult result;
  result.status = ExitStatus(std::system(command.c_str()));
  result.out = AsText(ReadFile(outPath));
  if (!mergeStreams) {
    result.err = AsText(ReadFile(errPath));
  }
  return result;
}

std::filesystem::path ConverterPath() {
  if (const char* fromEnvironment = std::getenv("VOSTREL_EXE")) {
    return fromEnvironment;
  }
  return VOSTREL_EXE;
}

std::filesystem::path PackerPath() {
  if (const char* fromEnvironment = std::getenv("VOSTREL_PACK_EXE")) {
    return fromEnvironment;
  }
  return VOSTREL_PACK_EXE;
}

std::filesystem::path SourcePath(const std::string& relative) {
  const char* fromEnvironment = std::getenv("VOSTREL_SOURCE_DIR");
  const std::filesystem::path top = fromEnvironment ? fromEnvironment : VOSTREL_SOURCE_DIR;
  return top / std::filesystem::path(relative).make_preferred();
}

}  // namespace vostrel::test
