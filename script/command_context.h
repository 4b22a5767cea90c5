// CommandContext: what a command works with, and no more: the two seams, the reporter,
// the macro table, the text filter, the language mode and the line being run, beside a
// read-only view of the loaded script. A record of the changes a run makes, when one is
// kept, belongs here too, beside the seams it watches.
#ifndef SETUP_SCRIPT_COMMAND_CONTEXT_H_
#define SETUP_SCRIPT_COMMAND_CONTEXT_H_

#include <memory>
#include <string_view>

#include "platform/system.h"
#include "platform/ui.h"
#include "record/change_record.h"
#include "script/loaded_script.h"
#include "script/script_context.h"
#include "text/language_mode.h"
#include "text/macro_table.h"
#include "text/reporter.h"

namespace setup {

class TextFilter;

class CommandContext {
 public:
  // `loaded` outlives the context; the line-numbered messages name its path.
  CommandContext(System& system, Ui& ui, Encoding& encoding, const LoadedScript& loaded);
  ~CommandContext();
  CommandContext(const CommandContext&) = delete;
  CommandContext& operator=(const CommandContext&) = delete;

  // Defines a macro, names and values cut to 299 bytes without splitting a double-byte
  // character. False when the table is full; its message has then been shown.
  bool DefineMacro(std::string_view name, std::string_view value);

  // The text filter, made on first use and kept for the life of the context.
  TextFilter& text_filter();

  System& system;
  Ui& ui;
  // The code page of the script's bytes: every walk over them and every conversion for
  // the user interface goes through it.
  Encoding& encoding;
  Reporter reporter;
  MacroTable macros;
  LanguageMode language_mode = LanguageMode::kJapanese;
  // The line being loaded, run or checked, counted from 1.
  int line_number = 0;
  const LoadedScript& loaded;
  // The lexer's and the handlers' view: the script's path and line_number above.
  ScriptContext script;
  // The record of the run's changes, told as each command completes; null when none is
  // kept (no product file).
  ChangeRecord* change_record = nullptr;

 private:
  std::unique_ptr<TextFilter> text_filter_;
};

// One setup run: the script it loads and what its commands work with.
struct SetupRun {
  SetupRun(System& system, Ui& ui, Encoding& encoding) : context(system, ui, encoding, loaded) {}
  SetupRun(const SetupRun&) = delete;
  SetupRun& operator=(const SetupRun&) = delete;

  LoadedScript loaded;
  CommandContext context;
};

}  // namespace setup

#endif  // SETUP_SCRIPT_COMMAND_CONTEXT_H_
