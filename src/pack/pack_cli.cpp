// The command line of vostrel-pack.
#include "pack/pack_cli.hpp"

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pack/pack.hpp"
#include "platform/platform.hpp"

namespace vostrel {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr std::string_view kProgram = "vostrel-pack";
constexpr std::size_t kOperands = 3;

constexpr std::string_view kUsage = "Usage: vostrel-pack ORIGINAL.art PICTURES_DIR OUTPUT.art\n";

constexpr std::string_view kHelp =
    "Puts edited pictures back into an .ART file.\n"
    "\n"
    "For every picture p, frame f and palette k of ORIGINAL.art, looks in PICTURES_DIR for\n"
    "STEM_p_f_k.bmp and STEM_p_f_k.png, the names vostrel gives its pictures (STEM is the\n"
    "name of ORIGINAL.art up to its last dot; the extension in any case). A frame whose\n"
    "pictures were edited takes the edit; everything else is copied from ORIGINAL.art\n"
    "unchanged. Colours are mapped to the palette of the picture's name and must all be in\n"
    "it. Pictures may be BMP (8-bit indexed, 24- or 32-bit) or PNG (indexed, grey, RGB, or\n"
    "RGBA with every pixel opaque).\n"
    "\n"
    "OUTPUT.art is replaced only once it is complete, so it may be ORIGINAL.art itself; after\n"
    "a failure it is left as it was. Then the other pictures of each replaced frame (its\n"
    "other palettes) are rewritten to show it, each named on an 'updated' line, so that\n"
    "PICTURES_DIR describes OUTPUT.art and editing and packing in place can go on.\n"
    "\n"
    "Options:\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on wrong arguments.\n";

int UsageError(std::ostream& err, const std::string& problem) {
  err << kProgram << ": " << problem << '\n'
      << kUsage << "Try 'vostrel-pack --help' for more information.\n";
  err.flush();
  return kExitUsage;
}

int Failure(std::ostream& err, const std::string& problem, const std::string& output) {
  err << kProgram << ": " << problem << '\n'
      << kProgram << ": nothing was written to " << output << '\n';
  err.flush();
  return kExitFailure;
}

}  // namespace

int RunPack(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  return RunPack(argc, argv, out, err, platform::SystemFiles(), nullptr);
}

int RunPack(int argc, const char* const* argv, std::ostream& out, std::ostream& err, Files& files,
            PackOutcome* outcome) {
  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--help") {
      out << kUsage << kHelp;
      out.flush();
      return kExitSuccess;
    } else if (!optionsEnded && arg == "--version") {
      out << kProgram << ' ' << VOSTREL_VERSION << '\n';
      out.flush();
      return kExitSuccess;
    } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
      return UsageError(err, "unknown option '" + std::string(arg) + "'");
    } else {
      operands.emplace_back(arg);
    }
  }
  if (operands.size() != kOperands) {
    return UsageError(err,
                      operands.size() < kOperands ? "missing arguments" : "too many arguments");
  }
  const PackJob job{operands[0], operands[1], operands[2]};
  try {
    PackReport report;
    report.warn = [&err](const std::string& warning) {
      err << kProgram << ": warning: " << warning << '\n';
      err.flush();
    };
    report.written = [&out, &job](const PackOutcome& written) {
      out << job.output << ": " << written.replaced << " of " << written.frames
          << " frames replaced\n";
      out.flush();
    };
    report.updated = [&out](const std::string& path) {
      out << "updated " << path << '\n';
      out.flush();
    };
    PackOutcome done = PackArt(job, report, files);
    if (outcome != nullptr) {
      *outcome = std::move(done);
    }
    return kExitSuccess;
  } catch (const PackError& error) {
    return Failure(err, error.what(), job.output);
  } catch (const std::bad_alloc&) {
    return Failure(err, "out of memory", job.output);
  } catch (const std::exception& error) {
    return Failure(err, std::string("unexpected failure: ") + error.what(), job.output);
  }
}

}  // namespace vostrel
