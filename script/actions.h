// The action commands: #define, BinCopy, MakeDir, DiskCheck, MessageBox, Message,
// ErrorExit and Regsvr (see command.h).
#ifndef SETUP_SCRIPT_ACTIONS_H_
#define SETUP_SCRIPT_ACTIONS_H_

#include "script/command.h"

namespace setup {

CommandResult DoDefine(RunState& run, char* args, LanguageMode language_mode);
CommandResult DoBinCopy(RunState& run, char* args, LanguageMode language_mode);
CommandResult DoMakeDir(RunState& run, char* args, LanguageMode language_mode);
CommandResult DoDiskCheck(RunState& run, char* args, LanguageMode language_mode);
CommandResult DoMessageBox(RunState& run, char* args, LanguageMode language_mode);
CommandResult DoMessage(RunState& run, char* args, LanguageMode language_mode);
CommandResult DoErrorExit(RunState& run, char* args, LanguageMode language_mode);
// Registers the component named by its one token; " '%s' registration can't be done"
// when it cannot be.
CommandResult DoRegsvr(RunState& run, char* args, LanguageMode language_mode);

}  // namespace setup

#endif  // SETUP_SCRIPT_ACTIONS_H_
