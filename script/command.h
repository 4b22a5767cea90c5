// What a command handler is: RunScript dispatches each keyword-table row to one. A
// handler receives the cursor on its first argument inside the macro-expanded work line
// (which it may cut in place) and the run's LanguageMode. The handlers live beside this
// file: actions.h, conditions.h, text_commands.h.
#ifndef SETUP_SCRIPT_COMMAND_H_
#define SETUP_SCRIPT_COMMAND_H_

#include "text/language_mode.h"

namespace setup {

struct RunState;

struct CommandResult {
  enum Status { kDone, kFailed, kHolds };
  Status status;
  char* rest;  // kHolds: the rest of the line, run as a new command

  static CommandResult Done() { return {kDone, nullptr}; }
  static CommandResult Failed() { return {kFailed, nullptr}; }
  static CommandResult Holds(char* rest) { return {kHolds, rest}; }
};

using CommandHandler = CommandResult (*)(RunState& run, char* args,
                                         LanguageMode language_mode);

}  // namespace setup

#endif  // SETUP_SCRIPT_COMMAND_H_
