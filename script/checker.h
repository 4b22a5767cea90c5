// The script checker: reads a script the way a run does (the same loader, lexer, macro
// table, argument cutting and text filter, with the same limits) and reports what would
// fail when a line is reached, and what is often a mistake, without running a command or
// writing anything. A condition is decided as the run decides it when what it tests is
// known, and followed both ways otherwise; what only a run knows ($$SETUPDIR$$,
// $$WINDOWS$$, $$SYSTEM$$, registry values, files outside the program directory) counts
// as unknown. An error means that every run reaching the line fails there; a warning,
// that a run may. The texts of the findings are the words of docs/script.md.
#ifndef SETUP_SCRIPT_CHECKER_H_
#define SETUP_SCRIPT_CHECKER_H_

#include <string>
#include <string_view>
#include <vector>

namespace setup {

class Encoding;
class System;

struct Finding {
  enum class Severity { kWarning, kError };
  int line;  // as an editor counts lines; 0 for the whole script
  Severity severity;
  std::string text;  // UTF-8, control bytes escaped (\t, \r, \n, \xNN)

  bool operator==(const Finding&) const = default;
};

struct CheckReport {
  std::string script_path;        // code-page bytes, as the findings name the script
  std::vector<Finding> findings;  // in line order
  bool has_error() const;
};

// Checks the script of `path` (code-page bytes): a program directory, whose Setup.Inf is
// checked, or a script file, whose directory is the program directory. An empty `path`
// is `program_dir`. The script path joins a directory and Setup.Inf with a backslash
// when the directory is written with backslashes, else with a slash.
CheckReport CheckProgram(System& system, Encoding& encoding, std::string_view path,
                         std::string_view program_dir);

}  // namespace setup

#endif  // SETUP_SCRIPT_CHECKER_H_
