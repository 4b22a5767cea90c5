// What a command handler is: RunScript dispatches each keyword-table row to one. A
// handler receives what a command works with (its CommandContext, the run's LanguageMode
// among it) and the cursor on its first argument inside the macro-expanded work line
// (which it may cut in place). The handlers live beside this file: actions.h,
// conditions.h, text_commands.h.
#ifndef SETUP_SCRIPT_COMMAND_H_
#define SETUP_SCRIPT_COMMAND_H_

namespace setup {

class CommandContext;

struct CommandResult {
  enum Status { kDone, kFailed, kHolds };
  Status status;
  char* rest;  // kHolds: the rest of the line, run as a new command

  static CommandResult Done() { return {kDone, nullptr}; }
  static CommandResult Failed() { return {kFailed, nullptr}; }
  static CommandResult Holds(char* rest) { return {kHolds, rest}; }
};

using CommandHandler = CommandResult (*)(CommandContext& cx, char* args);

}  // namespace setup

#endif  // SETUP_SCRIPT_COMMAND_H_
