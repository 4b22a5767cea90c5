// The run driver and the interpreter loop.
#ifndef SETUP_SCRIPT_INTERPRETER_H_
#define SETUP_SCRIPT_INTERPRETER_H_

#include <string>

#include "text/language_mode.h"

namespace setup {

struct SetupRun;

// The run driver: defines $$SETUPDIR$$ as `destination`, runs the script with the
// progress bar and shows FinishDialog when it reached its end. True when the script ran
// to its end, false when a command ended it.
bool RunSetup(SetupRun& run, const std::string& destination, LanguageMode language_mode);

// The interpreter loop over the stored script: true at its end, false when a command
// ended it.
bool RunScript(SetupRun& run, LanguageMode language_mode);

}  // namespace setup

#endif  // SETUP_SCRIPT_INTERPRETER_H_
