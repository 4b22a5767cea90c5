// What a person asked for on the command line: the options of the native program and the
// switches of Setup.exe, parsed into one shape. Texts are UTF-8.
#ifndef SETUP_CMDLINE_OPTIONS_H_
#define SETUP_CMDLINE_OPTIONS_H_

#include <optional>
#include <string>
#include <string_view>

namespace setup {

enum class FrontEndChoice {
  kUnset,     // the environment (SETUP_UI) or the program's default decides
  kTerminal,  // --ui=terminal
  kBatch,     // --ui=batch, --silent, /S, --answers, /ANSWERS
};

struct Options {
  bool help = false;
  bool version = false;
  bool silent = false;                     // --silent, /S: batch with the default answers
  bool check = false;                      // --check, /CHECK: check the script, run nothing
  std::string check_path;                  // empty: the program directory
  std::optional<std::string> program_dir;  // the native DIR operand: where Setup.Inf is
  std::optional<std::string> dest;         // pre-fills SetupDialog as if typed there
  std::optional<std::string> answers;      // the answers file (beats SETUP_ANSWERS)
  std::optional<std::string> log;          // the transcript file, "-" standard output
  std::optional<std::string> prefix;       // the Wine prefix (beats WINEPREFIX)
  FrontEndChoice ui = FrontEndChoice::kUnset;
  std::optional<std::string> uninstall;  // --uninstall=ID: remove the product ID
  // --pack DIR -o FILE [--win64] [--loader=FILE]: write one installer file (native only).
  std::optional<std::string> pack_dir;
  std::optional<std::string> output;
  std::optional<std::string> loader;
  bool win64 = false;
};

// The native program's GNU options (argv[0] is the program). False on bad input, with
// `*error` naming the offending word.
bool ParseNativeOptions(int argc, char** argv, Options* options, std::string* error);

// Setup.exe's switches in `line`, the command line after the program name. Words are
// separated by blanks; double quotes group blanks into a word and are dropped. The path
// of /D= may hold blanks, as installers take it: it runs to the end of the line or to
// the next word that is a switch. False on bad input, with `*error` naming the offending
// word.
bool ParseWindowsSwitches(std::string_view line, Options* options, std::string* error);

// The help texts of the two programs (UTF-8, ending with a line feed).
const char* NativeUsage();
const char* WindowsUsage();

// The GNU version text: "setup 1.0.0\n" and the copyright line.
std::string VersionText(std::string_view program);

}  // namespace setup

#endif  // SETUP_CMDLINE_OPTIONS_H_
