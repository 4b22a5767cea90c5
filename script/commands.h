// The command handlers that RunScript dispatches to, one per keyword-table row.
// Each receives the cursor on its first argument inside the macro-expanded work line
// (which it may cut in place) and the run's LanguageMode.
#ifndef SETUP_SCRIPT_COMMANDS_H_
#define SETUP_SCRIPT_COMMANDS_H_

namespace setup {

struct SetupApp;

struct CommandResult {
  enum Status { kDone, kFailed, kHolds };
  Status status;
  char* rest;  // kHolds: the rest of the line, run as a new command

  static CommandResult Done() { return {kDone, nullptr}; }
  static CommandResult Failed() { return {kFailed, nullptr}; }
  static CommandResult Holds(char* rest) { return {kHolds, rest}; }
};

using CommandHandler = CommandResult (*)(SetupApp& app, char* args, int language_mode);

// Actions (script/actions.cc).
CommandResult DoDefine(SetupApp& app, char* args, int language_mode);
CommandResult DoBinCopy(SetupApp& app, char* args, int language_mode);
CommandResult DoMakeDir(SetupApp& app, char* args, int language_mode);
CommandResult DoDiskCheck(SetupApp& app, char* args, int language_mode);
CommandResult DoMessageBox(SetupApp& app, char* args, int language_mode);
CommandResult DoMessage(SetupApp& app, char* args, int language_mode);
CommandResult DoErrorExit(SetupApp& app, char* args, int language_mode);

// Text copies (textcopy/text_commands.cc).
CommandResult DoTextCopy(SetupApp& app, char* args, int language_mode);
CommandResult DoJapanCopy(SetupApp& app, char* args, int language_mode);
CommandResult DoEnglishCopy(SetupApp& app, char* args, int language_mode);

// Conditions (script/conditions.cc).
CommandResult DoIfFileVersion(SetupApp& app, char* args, int language_mode);
CommandResult DoIfProductVersion(SetupApp& app, char* args, int language_mode);
CommandResult DoIfFileDate(SetupApp& app, char* args, int language_mode);
CommandResult DoIfFileFind(SetupApp& app, char* args, int language_mode);
CommandResult DoDefineRegistry(SetupApp& app, char* args, int language_mode);
CommandResult DoIfString(SetupApp& app, char* args, int language_mode);
CommandResult DoIfRegistryFind(SetupApp& app, char* args, int language_mode);

// Component registration (sysquery/registration.cc).
CommandResult DoRegsvr(SetupApp& app, char* args, int language_mode);

}  // namespace setup

#endif  // SETUP_SCRIPT_COMMANDS_H_
