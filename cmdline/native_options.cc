// The native program's command line, parsed by getopt_long from the C library rather than
// by hand. getopt_long over CLI11: it is already there (no package, no header-only
// templates in every build), it gives exactly the GNU conventions people expect of a
// POSIX tool (--opt=value and --opt value, unambiguous abbreviations, -- ends the
// options), and it reports errors by return value where CLI11 throws.
#include <getopt.h>

#include <string>

#include "cmdline/options.h"

namespace setup {
namespace {

// Values above any character, so that optopt tells a long option from a short one.
enum : int {
  kSilent = 256,
  kDest,
  kAnswers,
  kLog,
  kPrefix,
  kUi,
  kCheck,
  kHelp,
  kVersion,
  kUninstall,
  kPack,
  kWin64,
  kLoader,
};

constexpr option kLongOptions[] = {
    {"silent", no_argument, nullptr, kSilent},
    {"dest", required_argument, nullptr, kDest},
    {"answers", required_argument, nullptr, kAnswers},
    {"log", required_argument, nullptr, kLog},
    {"prefix", required_argument, nullptr, kPrefix},
    {"ui", required_argument, nullptr, kUi},
    {"check", optional_argument, nullptr, kCheck},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {"uninstall", required_argument, nullptr, kUninstall},
    {"pack", required_argument, nullptr, kPack},
    {"output", required_argument, nullptr, 'o'},
    {"win64", no_argument, nullptr, kWin64},
    {"loader", required_argument, nullptr, kLoader},
    {nullptr, 0, nullptr, 0},
};

std::string OptionName(int value) {
  for (const option& o : kLongOptions) {
    if (o.name != nullptr && o.val == value) return std::string("--") + o.name;
  }
  return std::string("-") + static_cast<char>(value);
}

// The word getopt_long stopped at: the option it knows (`optopt`), or the unknown word.
std::string OffendingWord(int argc, char** argv) {
  if (optopt != 0) return OptionName(optopt);
  int index = optind - 1;
  return index > 0 && index < argc && argv[index] ? argv[index] : "?";
}

bool SetValue(std::optional<std::string>* slot, int value, std::string* error) {
  if (optarg == nullptr || *optarg == '\0') {
    *error = "option '" + OptionName(value) + "' needs a value";
    return false;
  }
  *slot = optarg;
  return true;
}

// One option that getopt_long returned. False, with `*error` naming the word, when it is
// wrong.
bool TakeOption(int c, int argc, char** argv, Options* options, bool* check_has_path,
                std::string* error) {
  switch (c) {
    case kSilent: options->silent = true; return true;
    case kDest: return SetValue(&options->dest, c, error);
    case kAnswers: return SetValue(&options->answers, c, error);
    case kLog: return SetValue(&options->log, c, error);
    case kPrefix: return SetValue(&options->prefix, c, error);
    case kUi: {
      std::string ui = optarg ? optarg : "";
      if (ui == "terminal") {
        options->ui = FrontEndChoice::kTerminal;
      } else if (ui == "batch") {
        options->ui = FrontEndChoice::kBatch;
      } else {
        *error = "option '--ui' takes terminal or batch, not '" + ui + "'";
        return false;
      }
      return true;
    }
    case kCheck:
      options->check = true;
      if (optarg != nullptr) {
        options->check_path = optarg;
        *check_has_path = true;
      }
      return true;
    case 'h':
    case kHelp: options->help = true; return true;
    case kVersion: options->version = true; return true;
    case kUninstall: return SetValue(&options->uninstall, c, error);
    case kPack: return SetValue(&options->pack_dir, c, error);
    case 'o': return SetValue(&options->output, c, error);
    case kLoader: return SetValue(&options->loader, c, error);
    case kWin64: options->win64 = true; return true;
    case ':': *error = "option '" + OffendingWord(argc, argv) + "' needs a value"; return false;
    default:
      if (optopt >= kSilent) {
        *error = "option '" + OptionName(optopt) + "' takes no value";
      } else {
        *error = "unknown option '" + OffendingWord(argc, argv) + "'";
      }
      return false;
  }
  return true;
}

// What is left after the options: the path that --check takes, else the program
// directory, and the rules that tie the options together.
bool TakeOperands(int argc, char** argv, bool check_has_path, Options* options,
                  std::string* error) {
  for (int i = optind; i < argc; ++i) {
    if (options->check && !check_has_path) {
      options->check_path = argv[i];
      check_has_path = true;
      continue;
    }
    if (!options->check && !options->program_dir) {
      options->program_dir = argv[i];
      continue;
    }
    *error = std::string("unexpected argument '") + argv[i] + "'";
    return false;
  }
  if (options->ui == FrontEndChoice::kTerminal && (options->silent || options->answers)) {
    *error = std::string("option '") + (options->silent ? "--silent" : "--answers") +
             "' cannot be used with '--ui=terminal'";
    return false;
  }
  if (!options->pack_dir && (options->output || options->loader || options->win64)) {
    *error = std::string("option '") +
             (options->output   ? "--output"
              : options->loader ? "--loader"
                                : "--win64") +
             "' is only for '--pack'";
    return false;
  }
  if (options->pack_dir && !options->output) {
    *error = "option '--pack' needs '-o FILE'";
    return false;
  }
  if (options->ui == FrontEndChoice::kUnset && (options->silent || options->answers)) {
    options->ui = FrontEndChoice::kBatch;
  }
  return true;
}

}  // namespace

bool ParseNativeOptions(int argc, char** argv, Options* options, std::string* error) {
  *options = Options();
  opterr = 0;  // every message is ours, so that it names the word
  optind = 0;  // 0, not 1: glibc then starts afresh, which a second parse needs
  bool check_has_path = false;
  int c;
  while ((c = getopt_long(argc, argv, ":ho:", kLongOptions, nullptr)) != -1) {
    if (!TakeOption(c, argc, argv, options, &check_has_path, error)) return false;
  }
  // One operand at most: the path that --check takes, or the program directory.
  return TakeOperands(argc, argv, check_has_path, options, error);
}

}  // namespace setup
