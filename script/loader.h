// Loading the script and its pre-scan for SetupDir and WindowTitle.
#ifndef SETUP_SCRIPT_LOADER_H_
#define SETUP_SCRIPT_LOADER_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "script/arguments.h"

namespace setup {

class CommandContext;
struct SetupRun;

// Reads Setup.Inf from the program directory into the store and pre-scans it. Shows no
// message of its own (the pre-scan's token messages aside); a failure is handed up,
// named by the script's path (FailedStep::kLoadScript words it): the system's kind when
// the script cannot be opened, kTooLong at the first line that does not fit the store,
// kReadError when reading fails.
Status LoadScript(SetupRun& run);
// The same for the script at `script_path`.
Status LoadScriptFile(SetupRun& run, std::string script_path);

// The pre-scan reads SetupDir's argument cut to this many bytes, never inside a
// double-byte character.
inline constexpr std::size_t kSetupDirArgumentLimit = 511;
// A registry value read as the default destination is cut to this many bytes.
inline constexpr std::size_t kRegistryDirectoryLimit = 255;

// The registry form of SetupDir, given a copy of its argument (beginning with the word
// Registry) whose tokens it cuts in place (kRegistry's layout): the registry value, else
// the fallback; none when there is neither. Each token that could not be cut whole adds
// its fault to `faults`, when given.
std::optional<std::string> RegistrySetupDir(CommandContext& cx, char* argument,
                                            std::vector<ArgumentFault>* faults = nullptr);

}  // namespace setup

#endif  // SETUP_SCRIPT_LOADER_H_
