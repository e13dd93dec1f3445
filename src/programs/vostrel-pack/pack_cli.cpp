// The command line of vostrel-pack.
#include "programs/vostrel-pack/pack_cli.hpp"

#include <charconv>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/json_text.hpp"
#include "packing/pack.hpp"
#include "platform/platform.hpp"

namespace vostrel {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr std::string_view kProgram = "vostrel-pack";
constexpr std::size_t kOperands = 3;
constexpr std::size_t kMaxPaletteIndex = 255;
constexpr std::string_view kPaletteOption = "--palette";

constexpr std::string_view kUsage =
    "Usage: vostrel-pack [--palette K=FILE]... ORIGINAL.art PICTURES_DIR OUTPUT.art\n"
    "       vostrel-pack [--palette K=FILE]... ORIGINAL.art SHEETS/STEM.json OUTPUT.art\n";

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
    "Given the manifest (STEM.json) that vostrel-sheet wrote beside its sheets instead of a\n"
    "directory, reads every sheet it names: a frame whose rectangle was edited in a sheet\n"
    "takes it (colours of that sheet's palette, transparent pixels as the transparent index),\n"
    "and a frame whose w and h were changed in the manifest takes that size. Frames whose\n"
    "rectangles are as extracted are copied byte for byte. A sheet must keep its size.\n"
    "\n"
    "Options:\n"
    "  --palette K=FILE  give palette K of OUTPUT.art the 256 colours of FILE (GIMP .gpl,\n"
    "                    JASC .pal, Adobe .act, or one RRGGBB a line), each entry keeping\n"
    "                    its fourth byte; repeatable. Pictures are read against the\n"
    "                    original palettes, then the pictures of palette K are rewritten.\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on wrong arguments.\n";

// "K=FILE": a palette index from 0 to 255 and a file name.
std::optional<PaletteFile> ParsePaletteFile(std::string_view text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0 || equals + 1 == text.size()) {
    return std::nullopt;
  }
  std::size_t palette = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + equals, palette);
  if (error != std::errc() || end != text.data() + equals || palette > kMaxPaletteIndex) {
    return std::nullopt;
  }
  return PaletteFile{palette, std::string(text.substr(equals + 1))};
}

int UsageError(std::ostream& err, const std::string& problem) {
  err << kProgram << ": " << ShownText(problem) << '\n'
      << kUsage << "Try 'vostrel-pack --help' for more information.\n";
  err.flush();
  return kExitUsage;
}

// Every line names files as ShownText shows them: a name's control characters escaped.
int Failure(std::ostream& err, const std::string& problem, const std::string& output) {
  err << kProgram << ": " << ShownText(problem) << '\n'
      << kProgram << ": nothing was written to " << ShownText(output) << '\n';
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
  std::vector<PaletteFile> paletteFiles;
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
    } else if (!optionsEnded && (arg == kPaletteOption || arg.starts_with("--palette="))) {
      std::string_view value;
      if (arg == kPaletteOption) {
        if (i + 1 == argc) {
          return UsageError(err, "option '--palette' needs a value, K=FILE");
        }
        value = argv[++i];
      } else {
        value = arg.substr(kPaletteOption.size() + 1);
      }
      const std::optional<PaletteFile> file = ParsePaletteFile(value);
      if (!file) {
        return UsageError(err,
                          "option '--palette' takes K=FILE, a palette from 0 to 255 and "
                          "a palette file, not '" +
                              std::string(value) + "'");
      }
      paletteFiles.push_back(*file);
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
  const PackJob job{operands[0], operands[1], operands[2], std::move(paletteFiles)};
  try {
    PackReport report;
    report.warn = [&err](const std::string& warning) {
      err << kProgram << ": warning: " << ShownText(warning) << '\n';
      err.flush();
    };
    report.written = [&out, &job](const PackOutcome& written) {
      out << ShownText(job.output) << ": " << written.replaced << " of " << written.frames
          << " frames replaced\n";
      for (const std::size_t palette : written.palettesReplaced) {
        out << ShownText(job.output) << ": palette " << palette << " replaced\n";
      }
      out.flush();
    };
    report.updated = [&out](const std::string& path) {
      out << "updated " << ShownText(path) << '\n';
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
