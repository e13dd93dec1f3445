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
#include "packing/new_sprite.hpp"
#include "packing/pack.hpp"
#include "platform/platform.hpp"

namespace vostrel {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr std::string_view kProgram = "vostrel-pack";
constexpr std::size_t kOperands = 3;
constexpr std::size_t kNewOperands = 2;
constexpr std::size_t kMaxPaletteIndex = 255;
constexpr std::string_view kPaletteOption = "--palette";
constexpr std::string_view kNewOption = "--new";
constexpr std::string_view kLikeOption = "--like";
constexpr std::string_view kTransparentOption = "--transparent";

constexpr std::string_view kUsage =
    "Usage: vostrel-pack [--palette K=FILE]... ORIGINAL.art PICTURES_DIR OUTPUT.art\n"
    "       vostrel-pack [--palette K=FILE]... ORIGINAL.art SHEETS/STEM.json OUTPUT.art\n"
    "       vostrel-pack --new [--like LIKE.art] [--transparent T] [--palette K=FILE]...\n"
    "                    SHEETS/MANIFEST.json OUTPUT.art\n";

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
    "With --new, makes a new .ART file from a manifest and the sheets beside it, with no\n"
    "original: vostrel-sheet's (its table from meta.vostrel, whose frames may have been\n"
    "added or removed), or a sprite editor's in the array or hash form, each frame tag a\n"
    "picture: eight tags of one length make eight pictures of that many frames; tags of\n"
    "one frame, or none, make pictures of one frame each. Each frame is its rectangle in\n"
    "every sheet (a trimmed one put back in its cell), read against that sheet's palette;\n"
    "palette K comes from --palette K=FILE, else from its sheet's colour table. The words\n"
    "nobody interprets come from the manifest, else from LIKE.art, else 0; a frame is\n"
    "stored as the manifest says, else in the smaller of raw and run-length.\n"
    "\n"
    "Options:\n"
    "  --palette K=FILE  give palette K of OUTPUT.art the 256 colours of FILE (GIMP .gpl,\n"
    "                    JASC .pal, Adobe .act, or one RRGGBB a line), each entry keeping\n"
    "                    its fourth byte; repeatable. Pictures are read against the\n"
    "                    original palettes, then the pictures of palette K are rewritten.\n"
    "  --new             make a new file: MANIFEST.json OUTPUT.art\n"
    "  --like LIKE.art   with --new: the words of LIKE.art where the manifest has none\n"
    "  --transparent T   with --new: transparent pixels take index T (0 to 255) where\n"
    "                    the manifest gives no transparent index (default 0)\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on wrong arguments.\n";

// An index from 0 to 255.
std::optional<std::size_t> ParseIndex(std::string_view text) {
  std::size_t index = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      index > kMaxPaletteIndex) {
    return std::nullopt;
  }
  return index;
}

// "K=FILE": a palette index from 0 to 255 and a file name.
std::optional<PaletteFile> ParsePaletteFile(std::string_view text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0 || equals + 1 == text.size()) {
    return std::nullopt;
  }
  const std::optional<std::size_t> palette = ParseIndex(text.substr(0, equals));
  if (!palette) {
    return std::nullopt;
  }
  return PaletteFile{*palette, std::string(text.substr(equals + 1))};
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

// vostrel-pack --new.
int RunNew(const NewSpriteJob& job, std::ostream& out, std::ostream& err, Files& files) {
  try {
    const NewSpriteOutcome made = MakeNewArt(job, files);
    out << ShownText(job.output) << ": made of " << made.pictures << " pictures of "
        << made.framesPerPicture << " frames and " << made.palettes << " palettes\n";
    out.flush();
    return kExitSuccess;
  } catch (const PackError& error) {
    return Failure(err, error.what(), job.output);
  } catch (const std::bad_alloc&) {
    return Failure(err, "out of memory", job.output);
  } catch (const std::exception& error) {
    return Failure(err, std::string("unexpected failure: ") + error.what(), job.output);
  }
}

}  // namespace

int RunPack(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  return RunPack(argc, argv, out, err, platform::SystemFiles(), nullptr);
}

int RunPack(int argc, const char* const* argv, std::ostream& out, std::ostream& err, Files& files,
            PackOutcome* outcome) {
  std::vector<std::string> operands;
  std::vector<PaletteFile> paletteFiles;
  bool makeNew = false;
  std::optional<std::string> like;
  std::optional<std::uint8_t> transparent;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    // The value of an option that takes one, given after it or after '='.
    std::string_view value;
    std::string problem;
    const auto valueOf = [&](std::string_view name, const char* what) {
      if (arg == name) {
        if (i + 1 == argc) {
          problem = "option '" + std::string(name) + "' needs a value, " + what;
          return false;
        }
        value = argv[++i];
        return true;
      }
      if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        return true;
      }
      return false;
    };
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
    } else if (!optionsEnded && arg == kNewOption) {
      makeNew = true;
    } else if (!optionsEnded && valueOf(kPaletteOption, "K=FILE")) {
      const std::optional<PaletteFile> file = ParsePaletteFile(value);
      if (!file) {
        return UsageError(err,
                          "option '--palette' takes K=FILE, a palette from 0 to 255 and "
                          "a palette file, not '" +
                              std::string(value) + "'");
      }
      paletteFiles.push_back(*file);
    } else if (!optionsEnded && valueOf(kLikeOption, "an .ART file")) {
      like = std::string(value);
    } else if (!optionsEnded && valueOf(kTransparentOption, "an index from 0 to 255")) {
      const std::optional<std::size_t> index = ParseIndex(value);
      if (!index) {
        return UsageError(err, "option '--transparent' takes an index from 0 to 255, not '" +
                                   std::string(value) + "'");
      }
      transparent = static_cast<std::uint8_t>(*index);
    } else if (!problem.empty()) {
      return UsageError(err, problem);
    } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
      return UsageError(err, "unknown option '" + std::string(arg) + "'");
    } else {
      operands.emplace_back(arg);
    }
  }
  if (!makeNew && (like || transparent)) {
    return UsageError(err, std::string("option '") +
                               std::string(like ? kLikeOption : kTransparentOption) +
                               "' is only for --new");
  }
  const std::size_t wanted = makeNew ? kNewOperands : kOperands;
  if (operands.size() != wanted) {
    return UsageError(err, operands.size() < wanted ? "missing arguments" : "too many arguments");
  }
  if (makeNew) {
    return RunNew({operands[0], operands[1], std::move(like), std::move(paletteFiles), transparent},
                  out, err, files);
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
