// The commands TextCopy, JapanCopy and EnglishCopy: `<keyword> source destination`,
// copied through the text filter (see command.h).
#ifndef SETUP_SCRIPT_TEXT_COMMANDS_H_
#define SETUP_SCRIPT_TEXT_COMMANDS_H_

#include "script/command.h"

namespace setup {

CommandResult DoTextCopy(RunState& run, char* args, LanguageMode language_mode);
// Runs only in a Japanese run; otherwise its arguments are not looked at.
CommandResult DoJapanCopy(RunState& run, char* args, LanguageMode language_mode);
// Runs only in an English run; otherwise its arguments are not looked at.
CommandResult DoEnglishCopy(RunState& run, char* args, LanguageMode language_mode);

}  // namespace setup

#endif  // SETUP_SCRIPT_TEXT_COMMANDS_H_
