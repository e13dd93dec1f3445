// The command line of vostrel: banner, usage, arguments, destination, single-file and batch runs.
#include "programs/vostrel/frontend/cli.hpp"

#include <charconv>
#include <cstdlib>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "io/console.hpp"
#include "io/path.hpp"
#include "platform/file_io.hpp"
#include "platform/platform.hpp"
#include "programs/vostrel/convert/convert.hpp"
#include "programs/vostrel/frontend/batch.hpp"
#include "programs/vostrel/image/path_helpers.hpp"
#include "sprite/picture_names.hpp"

namespace vostrel {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitAbnormal = -1;
// argc counts the program's own name: one file argument, a destination, and a third argument
// that is accepted and never read.
constexpr int kMaxArgc = 4;
constexpr std::string_view kBatchArgument = "*";
constexpr const char* kWorkersVariable = "VOSTREL_WORKERS";
constexpr std::string_view kVersionArgument = "--version";

// What asks for the usage when it is the only argument: the usual options, and on Windows the
// usual switch. A file of such a name is still reached as ./--help.
bool AsksForHelp(std::string_view argument) {
#ifdef _WIN32
  if (argument == "/?") {
    return true;
  }
#endif
  return argument == "--help" || argument == "-h";
}

// The one failure that ends a whole run with a message of its own.
class RunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

void WriteLines(Console& console, std::initializer_list<std::string_view> lines) {
  for (const std::string_view line : lines) {
    console.Out(line);
    console.EndLine(Stream::kOut);
  }
}

void ReportOnError(Console& console, std::string_view text) {
  console.EndLine(Stream::kErr);
  console.Err(text);
  console.EndLine(Stream::kErr);
}

void ReportListFailure(Console& console, std::string_view what) {
  console.Err("Could not " + std::string(what) + " the input list " + platform::kInputListName +
              " in the current directory");
  console.EndLine(Stream::kErr);
}

// The destination directory, ending with the separator: the given one, or without one the
// running program's own directory.
std::string ChooseDestination(const std::optional<std::string>& given) {
  std::string destDir;
  if (given) {
    destDir = *given;
    if (destDir.back() != kPathSeparator) {
      destDir += kPathSeparator;
    }
  } else {
    destDir = platform::ExecutablePath();
    if (!ContainsSeparator(destDir)) {
      throw RunError("Could not find the program's own directory");
    }
    CutAtLastSeparator(destDir);
    destDir += kPathSeparator;
  }
  return destDir;
}

// The workers of a batch: one per usable CPU, or as many as VOSTREL_WORKERS says.
std::size_t WorkerCount() {
  if (const char* forced = std::getenv(kWorkersVariable)) {
    std::size_t count = 0;
    const std::string_view text = forced;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error == std::errc() && end == text.data() + text.size() && count > 0) {
      return count;
    }
  }
  return platform::UsableCpuCount();
}

}  // namespace

void PrintBanner(Console& console) {
  WriteLines(console,
             {"", "Morvane vostrel v0.1 BETA - Converts Morvane .ART files to 8bits BMPs",
              "Written by the vostrel developers", "", "  https://vostrel.example.org/", ""});
}

void PrintUsage(Console& console) {
  WriteLines(console, {"", "Usage: vostrel artfile [destdir]", "",
                       "  type vostrel * [destdir] to convert all the ",
                       "  files in the current directory and their subdirs", ""});
}

void OnOutOfMemory() {
  // Straight to the stream, not through the console: this may run on any thread, at any point
  // of a write through the console (even inside a batch's lock), and must neither allocate nor
  // wait; standard error is unbuffered, so the text is out before the process ends.
  std::cerr << "\nMemory exhausted! Abnormal program termination";
  std::cerr.flush();
  std::exit(kExitAbnormal);
}

platform::InputListResult BuildInputList(Console& console) {
  console.Out("Building input list...");
  console.EndLine(Stream::kOut);
  return platform::WriteInputList();
}

void DeleteInputList() { platform::RemoveInputList(); }

std::optional<std::string> ReadListLine(std::FILE* list) {
  std::string name;
  int c = 0;
  bool any = false;
  while ((c = std::getc(list)) != EOF) {
    any = true;
    if (c == '\n') {
      break;
    }
    name.push_back(static_cast<char>(c));
  }
  if (!any || std::ferror(list)) {
    return std::nullopt;
  }
  // Where the C library does not translate text lines, the CR of CR LF is still here.
  if (!name.empty() && name.back() == '\r') {
    name.pop_back();
  }
  return name;
}

int RunBatch(const std::string& destDir, bool useModuleDirectory, Console& console, Files& files) {
  FilePtr list = OpenFile(platform::kInputListName, "rt");
  if (!list) {
    ReportListFailure(console, "read");
    return kExitFailure;
  }
  // Names were listed in the current directory, so they are read from there whatever the
  // destination: with the default one they are given with that directory in front.
  std::string listedDir;
  if (useModuleDirectory) {
    listedDir = platform::CurrentDirectory();
    if (listedDir.empty() || listedDir.back() != kPathSeparator) {
      listedDir += kPathSeparator;
    }
  }
  std::vector<BatchFile> batch;
  while (std::optional<std::string> name = ReadListLine(list.get())) {
    if (!name->empty()) {
      batch.push_back({listedDir + *name, std::move(*name)});
    }
  }
  const bool listFailed = std::ferror(list.get()) != 0;

  // A failed file's message may wait for the user's answer, which later files must not go
  // ahead of; otherwise the files are converted on every CPU the process may use.
  std::size_t workers = 1;
  if (!useModuleDirectory || !platform::ErrorMessagesWaitForTheUser()) {
    workers = WorkerCount();
  }
  bool anyFailed = !ConvertBatch(batch, destDir, useModuleDirectory, workers, console, files,
                                 platform::ShowErrorMessage);
  if (listFailed) {
    ReportListFailure(console, "read");
    anyFailed = true;
  } else if (batch.empty()) {
    console.EndLine(Stream::kOut);
    console.Out("I could not found any .ART files");
    console.EndLine(Stream::kOut);
  }
  list.reset();
  DeleteInputList();
  return anyFailed ? kExitFailure : kExitSuccess;
}

int Run(int argc, const char* const* argv, Console& console) {
  return Run(argc, argv, console, platform::SystemFiles());
}

int Run(int argc, const char* const* argv, Console& console, Files& files) {
  std::set_new_handler(OnOutOfMemory);
  try {
    if (argc == 2 && argv[1] == kVersionArgument) {
      console.Out(std::string("vostrel ") + VOSTREL_VERSION);
      console.EndLine(Stream::kOut);
      return kExitSuccess;
    }
    PrintBanner(console);
    if (argc == 2 && AsksForHelp(argv[1])) {
      PrintUsage(console);
      return kExitSuccess;
    }
    if (argc > kMaxArgc) {
      console.Out("Wrong arguments");
      PrintUsage(console);
      return kExitFailure;
    }
    if (argc < 2) {
      PrintUsage(console);
      return kExitFailure;
    }
    // A destination without a separator is taken for a stray word and ignored.
    std::optional<std::string> givenDestination;
    if (argc >= 3 && ContainsSeparator(argv[2])) {
      givenDestination = argv[2];
    }
    const bool useModuleDirectory = !givenDestination;
    const std::string firstArgument = argv[1];
    std::string artPath = firstArgument;
    const bool batchMode = firstArgument == kBatchArgument;
    if (batchMode) {
      // An old list left in place must not be taken for the new one.
      switch (BuildInputList(console)) {
        case platform::InputListResult::kWritten:
          break;
        case platform::InputListResult::kCannotList:
          console.Err("Could not list the .art files of the current directory");
          console.EndLine(Stream::kErr);
          return kExitFailure;
        case platform::InputListResult::kCannotWrite:
          ReportListFailure(console, "write");
          return kExitFailure;
      }
    } else if (artPath.find('.') == std::string::npos) {
      AppendText(kArtExtension, artPath);
    }

    const std::string destDir = ChooseDestination(givenDestination);
    if (platform::MakeDirectory(destDir) == platform::MakeDirectoryResult::kPathNotFound) {
      throw RunError("Could not create destination path directory");
    }
    if (batchMode) {
      return RunBatch(destDir, useModuleDirectory, console, files);
    }

    // A bare name is looked for in the destination directory.
    if (!ContainsSeparator(firstArgument)) {
      artPath = destDir + artPath;
    }
    if (!ConvertArtFile(artPath, destDir, console, files)) {
      console.Err("Could not convert " + artPath + " to " + destDir);
      console.EndLine(Stream::kErr);
      return kExitFailure;
    }
    return kExitSuccess;
  } catch (const RunError& error) {
    ReportOnError(console, error.what());
    return kExitFailure;
  } catch (...) {
    ReportOnError(console, "Unhandled exception error!");
    return kExitAbnormal;
  }
}

}  // namespace vostrel
