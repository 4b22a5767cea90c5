// The command handlers that RunScript dispatches to, one per keyword-table row.
// Each receives the cursor on its first argument inside the macro-expanded work line
// (which it may cut in place) and the run's LanguageMode.
#ifndef SETUP_SCRIPT_COMMANDS_H_
#define SETUP_SCRIPT_COMMANDS_H_

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

using CommandHandler = CommandResult (*)(RunState& app, char* args, int language_mode);

// Actions (script/actions.cc).
CommandResult DoDefine(RunState& app, char* args, int language_mode);
CommandResult DoBinCopy(RunState& app, char* args, int language_mode);
CommandResult DoMakeDir(RunState& app, char* args, int language_mode);
CommandResult DoDiskCheck(RunState& app, char* args, int language_mode);
CommandResult DoMessageBox(RunState& app, char* args, int language_mode);
CommandResult DoMessage(RunState& app, char* args, int language_mode);
CommandResult DoErrorExit(RunState& app, char* args, int language_mode);

// Text copies (textcopy/text_commands.cc).
CommandResult DoTextCopy(RunState& app, char* args, int language_mode);
CommandResult DoJapanCopy(RunState& app, char* args, int language_mode);
CommandResult DoEnglishCopy(RunState& app, char* args, int language_mode);

// Conditions (script/conditions.cc).
CommandResult DoIfFileVersion(RunState& app, char* args, int language_mode);
CommandResult DoIfProductVersion(RunState& app, char* args, int language_mode);
CommandResult DoIfFileDate(RunState& app, char* args, int language_mode);
CommandResult DoIfFileFind(RunState& app, char* args, int language_mode);
CommandResult DoDefineRegistry(RunState& app, char* args, int language_mode);
CommandResult DoIfString(RunState& app, char* args, int language_mode);
CommandResult DoIfRegistryFind(RunState& app, char* args, int language_mode);

// Component registration (sysquery/registration.cc).
CommandResult DoRegsvr(RunState& app, char* args, int language_mode);

}  // namespace setup

#endif  // SETUP_SCRIPT_COMMANDS_H_
