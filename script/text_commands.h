// The commands TextCopy, JapanCopy and EnglishCopy: `<keyword> source destination`,
// copied through the text filter (see command.h).
#ifndef SETUP_SCRIPT_TEXT_COMMANDS_H_
#define SETUP_SCRIPT_TEXT_COMMANDS_H_

#include "script/command.h"

namespace setup {

CommandResult DoTextCopy(CommandContext& cx, char* args);
// Runs only in a Japanese run; otherwise its arguments are not looked at.
CommandResult DoJapanCopy(CommandContext& cx, char* args);
// Runs only in an English run; otherwise its arguments are not looked at.
CommandResult DoEnglishCopy(CommandContext& cx, char* args);

}  // namespace setup

#endif  // SETUP_SCRIPT_TEXT_COMMANDS_H_
