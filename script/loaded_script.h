// LoadedScript: the script as start-up and the loader leave it, fixed from then on: where
// it came from, its stored lines and what the pre-scan found. Commands read it; none
// changes it.
#ifndef SETUP_SCRIPT_LOADED_SCRIPT_H_
#define SETUP_SCRIPT_LOADED_SCRIPT_H_

#include <optional>
#include <string>
#include <vector>

#include "script/arguments.h"
#include "script/keyword_table.h"
#include "script/script_store.h"

namespace setup {

struct LoadedScript {
  // The folder the program was started from, without its trailing separator.
  std::string program_dir;
  // The script's path as the messages name it.
  std::string path;
  ScriptStore store;
  // Results of the pre-scan: the window title, and the default destination before
  // expansion, if any.
  std::string window_title;
  std::optional<std::string> default_destination;
  // The pre-scanned tokens that could not be cut whole, each shown to the user as the
  // run shows it, in the order met: the line, its keyword (SetupDir or WindowTitle) and
  // why.
  struct PreScanFault {
    int line;
    KeywordId keyword;
    ArgumentFault fault;
  };
  std::vector<PreScanFault> prescan_faults;
};

}  // namespace setup

#endif  // SETUP_SCRIPT_LOADED_SCRIPT_H_
