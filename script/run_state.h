// RunState, the state of one setup run: every long-lived structure of the core (the
// program directory, the macro table, the script store with its path, the current line
// number, the window title, the pre-scan results, the text filter) and the two seams it
// works through.
#ifndef SETUP_SCRIPT_RUN_STATE_H_
#define SETUP_SCRIPT_RUN_STATE_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/system.h"
#include "platform/ui.h"
#include "script/script_context.h"
#include "script/script_store.h"
#include "text/macro_table.h"
#include "text/reporter.h"

namespace setup {

class TextFilter;

struct RunState {
  RunState(System& system, Ui& ui);
  ~RunState();
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  // Defines a macro, names and values cut to 299 bytes without splitting a double-byte
  // character. False when the table is full; its message has then been shown.
  bool DefineMacro(std::string_view name, std::string_view value);

  // The text filter, made on first use and kept for the life of the program.
  TextFilter& text_filter();

  System& system;
  Ui& ui;
  Reporter reporter;
  std::string program_dir;
  // On POSIX a trailing slash of the program directory is removed as well.
  bool strip_trailing_slash = false;
  MacroTable macros;
  ScriptStore store;
  std::string script_path;
  int line_number = 0;
  // The lexer's and the handlers' view of the run: script_path and line_number above.
  ScriptContext script;
  std::string window_title;

  // Result of the pre-scan: the default destination before expansion, if any.
  std::optional<std::string> default_destination;

 private:
  std::unique_ptr<TextFilter> text_filter_;
};

}  // namespace setup

#endif  // SETUP_SCRIPT_RUN_STATE_H_
