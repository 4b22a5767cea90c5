// The action commands: #define, BinCopy, MakeDir, DiskCheck, MessageBox, Message,
// ErrorExit and Regsvr (see command.h).
#ifndef SETUP_SCRIPT_ACTIONS_H_
#define SETUP_SCRIPT_ACTIONS_H_

#include <cstddef>

#include "script/command.h"

namespace setup {

// DiskCheck's path (the program directory, a backslash and the file) must fit this many
// bytes; a longer one is a file that cannot be opened, so the disk is never found.
inline constexpr std::size_t kDiskCheckPathLimit = 255;

CommandResult DoDefine(CommandContext& cx, char* args);
CommandResult DoBinCopy(CommandContext& cx, char* args);
CommandResult DoMakeDir(CommandContext& cx, char* args);
CommandResult DoDiskCheck(CommandContext& cx, char* args);
CommandResult DoMessageBox(CommandContext& cx, char* args);
CommandResult DoMessage(CommandContext& cx, char* args);
CommandResult DoErrorExit(CommandContext& cx, char* args);
// Registers the component named by its one token; " '%s' registration can't be done"
// when it cannot be.
CommandResult DoRegsvr(CommandContext& cx, char* args);

}  // namespace setup

#endif  // SETUP_SCRIPT_ACTIONS_H_
