// The command line of vostrel-sheet: its options, and the files made on several threads with
// their lines printed in the order the files were given.
#include "programs/vostrel-sheet/sheet_cli.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "formats/manifest/manifest_schema.hpp"
#include "io/files.hpp"
#include "sheets/sheet_job.hpp"

namespace vostrel {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr std::string_view kProgram = "vostrel-sheet";
constexpr std::int32_t kMaxIndex = 255;

constexpr std::string_view kUsage = "Usage: vostrel-sheet [OPTION]... ART... DESTDIR\n";

constexpr std::string_view kHelp =
    "Writes each .ART file as one indexed PNG sheet per palette, with a manifest that sprite\n"
    "editors and game engines read, and its palettes as files.\n"
    "\n"
    "For door.art it writes into DESTDIR (created if its parent exists):\n"
    "  door_K.png   the sheet in palette K (from 0): one row per picture, one column per\n"
    "               frame, every cell the size of the largest frame, each frame at its top\n"
    "               left; 8-bit indexed, all 256 colours, the frames' indices as stored\n"
    "  door.json    the manifest: every frame's rectangle and duration, a tag per picture\n"
    "  door_K.gpl, door_K.pal, door_K.act   palette K for GIMP, as a JASC palette, and as an\n"
    "               Adobe colour table\n"
    "  door_P_K.gif, door_P_K.apng   with --gif, --apng: picture P animated in palette K\n"
    "Several files are made at once, one per CPU.\n"
    "\n"
    "Options:\n"
    "  --padding N        border and gap between cells in pixels (default 1)\n"
    "  --columns N        wrap a picture's frames after N cells (N >= 1)\n"
    "  --transparent T    palette index shown as transparent, 0 to 255 (default 0), or\n"
    "                     'none'; everything outside the frames is T (or 0 with none)\n"
    "  --fps N            frames a second of the manifest and animations, 1 to 100\n"
    "                     (default 8)\n"
    "  --gif              also write an animated GIF of every picture in every palette\n"
    "  --apng             also write an animated PNG of every picture in every palette\n"
    "  --help             show this help and exit\n"
    "  --version          show the version and exit\n"
    "\n"
    "Edit door_0.png in an editor that keeps the indices (export it as indexed PNG over\n"
    "itself), then pack it back: vostrel-pack door.art DESTDIR/door.json door.art\n"
    "\n"
    "Exit status: 0 on success, 1 when a file could not be read or a sheet not made or\n"
    "written, 2 on wrong arguments.\n";

int UsageError(std::ostream& err, const std::string& problem) {
  err << kProgram << ": " << problem << '\n'
      << kUsage << "Try 'vostrel-sheet --help' for more information.\n";
  err.flush();
  return kExitUsage;
}

// A decimal number from low to high, both included; nothing for anything else.
std::optional<std::int32_t> ParseNumber(std::string_view text, std::int32_t low,
                                        std::int32_t high) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
      value > high) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

struct Options {
  SheetRequest request;
  std::vector<std::string> operands;
};

// The options and operands, or the usage error's text in problem.
std::optional<Options> ParseOptions(int argc, const char* const* argv, std::string& problem,
                                    bool& help, bool& version) {
  Options options;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg.front() != '-') {
      options.operands.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help") {
      help = true;
      return options;
    }
    if (arg == "--version") {
      version = true;
      return options;
    }
    if (arg == "--gif") {
      options.request.gif = true;
      continue;
    }
    if (arg == "--apng") {
      options.request.apng = true;
      continue;
    }
    std::string_view name = arg;
    std::optional<std::string_view> value;
    if (const std::size_t equals = arg.find('='); equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    if (name != "--padding" && name != "--columns" && name != "--transparent" && name != "--fps") {
      problem = "unknown option '" + std::string(arg) + "'";
      return std::nullopt;
    }
    if (!value) {
      if (i + 1 >= argc) {
        problem = "option '" + std::string(name) + "' needs a value";
        return std::nullopt;
      }
      value = argv[++i];
    }
    std::string shown = "'";
    shown.append(*value).push_back('\'');
    if (name == "--padding") {
      const auto padding = ParseNumber(*value, 0, INT32_MAX);
      if (!padding) {
        problem = "--padding takes a number of pixels, 0 or more, not " + shown;
        return std::nullopt;
      }
      options.request.padding = *padding;
    } else if (name == "--columns") {
      const auto columns = ParseNumber(*value, 1, INT32_MAX);
      if (!columns) {
        problem = "--columns takes a number of cells, 1 or more, not " + shown;
        return std::nullopt;
      }
      options.request.columns = columns;
    } else if (name == "--transparent") {
      if (*value == "none") {
        options.request.transparent.reset();
      } else if (const auto index = ParseNumber(*value, 0, kMaxIndex)) {
        options.request.transparent = static_cast<std::uint8_t>(*index);
      } else {
        problem = "--transparent takes a palette index from 0 to 255 or 'none', not " + shown;
        return std::nullopt;
      }
    } else {
      const auto fps = ParseNumber(*value, manifest::kMinFps, manifest::kMaxFps);
      if (!fps) {
        problem = "--fps takes a number of frames a second from " +
                  std::to_string(manifest::kMinFps) + " to " + std::to_string(manifest::kMaxFps) +
                  ", not " + shown;
        return std::nullopt;
      }
      options.request.fps = *fps;
    }
  }
  return options;
}

// The files of the run, made by workers threads: files whose outputs would have the same names
// (SameNameGroups) are made one after another, in the order given, so the last one's files are
// what stays. Each file's lines are printed in the order given, as soon as the files before it
// are done.
class Runner {
 public:
  Runner(const Options& options, Files& files, std::ostream& out, std::ostream& err)
      : options_(options), files_(files), out_(out), err_(err) {
    const std::size_t count = options.operands.size() - 1;
    outcomes_.resize(count);
    groups_ = SameNameGroups(std::span(options.operands).first(count));
  }

  int Run(std::size_t workers) {
    workers = std::max<std::size_t>(1, std::min(workers, groups_.size()));
    // The calling thread prints; workers threads make the files.
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < workers; ++w) {
      threads.emplace_back([this] { Work(); });
    }
    Print();
    for (std::thread& thread : threads) {
      thread.join();
    }
    return failed_ ? kExitFailure : kExitSuccess;
  }

 private:
  void Work() {
    std::optional<SheetWorkspace> workspace;
    for (;;) {
      const std::size_t group = next_.fetch_add(1);
      if (group >= groups_.size()) {
        return;
      }
      for (const std::size_t index : groups_[group]) {
        SheetOutcome outcome;
        try {
          if (!workspace) {
            workspace.emplace();
          }
          SheetRequest request = options_.request;
          request.artPath = options_.operands[index];
          outcome = MakeSheets(request, files_, *workspace);
        } catch (const std::bad_alloc&) {
          outcome.ok = false;
          outcome.err += std::string(kProgram) + ": " + options_.operands[index] +
                         ": out of memory; make it alone, or on a machine with more memory\n";
        } catch (const std::exception& error) {
          outcome.ok = false;
          outcome.err += std::string(kProgram) + ": " + options_.operands[index] +
                         ": unexpected failure: " + error.what() + '\n';
        }
        const std::lock_guard lock(mutex_);
        outcomes_[index] = std::move(outcome);
        done_.notify_all();
      }
    }
  }

  void Print() {
    for (std::size_t i = 0; i < outcomes_.size(); ++i) {
      std::unique_lock lock(mutex_);
      done_.wait(lock, [&] { return outcomes_[i].has_value(); });
      const SheetOutcome outcome = std::move(*outcomes_[i]);
      outcomes_[i].reset();
      lock.unlock();
      out_ << outcome.out;
      out_.flush();
      err_ << outcome.err;
      err_.flush();
      failed_ = failed_ || !outcome.ok;
    }
  }

  const Options& options_;
  Files& files_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<std::vector<std::size_t>> groups_;
  std::vector<std::optional<SheetOutcome>> outcomes_;
  std::atomic<std::size_t> next_{0};
  std::mutex mutex_;
  std::condition_variable done_;
  bool failed_ = false;  // the printer's alone until it is joined
};

}  // namespace

int RunSheet(int argc, const char* const* argv, std::ostream& out, std::ostream& err, Files& files,
             std::size_t workers, const DestinationMaker& makeDestination) {
  std::string problem;
  bool help = false;
  bool version = false;
  const std::optional<Options> options = ParseOptions(argc, argv, problem, help, version);
  if (help) {
    out << kUsage << kHelp;
    out.flush();
    return kExitSuccess;
  }
  if (version) {
    out << kProgram << ' ' << VOSTREL_VERSION << '\n';
    out.flush();
    return kExitSuccess;
  }
  if (!options) {
    return UsageError(err, problem);
  }
  if (options->operands.size() < 2) {
    return UsageError(err, options->operands.empty() ? "missing .ART files and DESTDIR"
                                                     : "missing DESTDIR after the .ART files");
  }
  Options run = *options;
  run.request.version = VOSTREL_VERSION;
  run.request.destDir = run.operands.back();
  if (const auto failure = makeDestination(run.request.destDir)) {
    err << kProgram << ": " << run.request.destDir << ": " << *failure << '\n';
    err.flush();
    return kExitFailure;
  }
  if (run.request.transparent.value_or(0) != 0) {
    err << kProgram << ": warning: the transparent index is "
        << static_cast<int>(*run.request.transparent)
        << ", not 0: GIMP 2.10 moves palette entries when it exports such a sheet, so edit it "
           "in an editor that keeps indices, or use --transparent 0\n";
    err.flush();
  }
  try {
    return Runner(run, files, out, err).Run(workers);
  } catch (const std::bad_alloc&) {
    err << kProgram << ": out of memory\n";
    err.flush();
    return kExitFailure;
  }
}

}  // namespace vostrel
