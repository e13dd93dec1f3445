// Starting a program with its streams sent to files, and where the programs under test and the
// source tree are.
#include "support/run_program.hpp"

#include <cstdlib>
#include <stdexcept>

#include "support/art_writer.hpp"
#include "support/temp_dir.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

namespace vostrel::test {

namespace {

#ifdef _WIN32
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

#ifndef _WIN32
int ExitStatus(int systemResult) {
  if (systemResult == -1 || !WIFEXITED(systemResult)) {
    throw std::runtime_error("the program did not run to its end");
  }
  return WEXITSTATUS(systemResult);
}
#endif

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

#ifdef _WIN32
// The program is started directly rather than through cmd, whose parsing of a quoted command
// line under Wine now and then took the whole line for the program's name.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {
    if (handle_ == INVALID_HANDLE_VALUE || handle_ == nullptr) {
      throw std::runtime_error("could not open a stream for the program");
    }
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { CloseHandle(handle_); }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

OwnedHandle InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return OwnedHandle(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

int Run(const std::filesystem::path& program, const std::vector<std::string>& args,
        const std::filesystem::path& workDir, const std::string& outPath,
        const std::string& errPath, bool mergeStreams) {
  std::string commandLine = QuoteArgument(program.string());
  for (const std::string& arg : args) {
    commandLine += ' ' + QuoteArgument(arg);
  }
  // A relative program is found from the directory it runs in, as a shell there would.
  const std::string application = (workDir / program).string();
  const OwnedHandle in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  const OwnedHandle out = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
  const OwnedHandle err = InheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.get();
  startup.hStdOutput = out.get();
  startup.hStdError = mergeStreams ? out.get() : err.get();
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      workDir.string().c_str(), &startup, &process)) {
    throw std::runtime_error("could not start " + application);
  }
  const OwnedHandle processHandle(process.hProcess);
  const OwnedHandle threadHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.hProcess, &code)) {
    throw std::runtime_error("the program did not run to its end");
  }
  return static_cast<int>(code & 0xFF);
}
#else
int Run(const std::filesystem::path& program, const std::vector<std::string>& args,
        const std::filesystem::path& workDir, const std::string& outPath,
        const std::string& errPath, bool mergeStreams) {
  std::string command = Quote(program.string());
  for (const std::string& arg : args) {
    command += ' ' + QuoteArgument(arg);
  }
  const std::string errTarget = mergeStreams ? "&1" : Quote(errPath);
  command = "cd " + Quote(workDir.string()) + " && " + command + " >" + Quote(outPath) + " 2>" +
            errTarget + " </dev/null";
  return ExitStatus(std::system(command.c_str()));
}
#endif

}  // namespace

RunResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::filesystem::path& workDir, bool mergeStreams) {
  const TempDir captures;
  const std::string outPath = captures.File("stdout");
  const std::string errPath = captures.File("stderr");
  RunResult result;
  result.status = Run(program, args, workDir, outPath, errPath, mergeStreams);
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
