// The run driver and the interpreter loop.
#ifndef SETUP_SCRIPT_INTERPRETER_H_
#define SETUP_SCRIPT_INTERPRETER_H_

#include <string>

namespace setup {

struct RunState;

// The run driver: defines $$SETUPDIR$$ as `destination`, runs the script with the
// progress bar and shows FinishDialog when it reached its end. 0 when the script ran to
// its end, 1 when a command ended it.
int RunSetup(RunState& run, const std::string& destination, int language_mode);

// The interpreter loop over the stored script: 0 at its end, 1 when a command ended it.
int RunScript(RunState& run, int language_mode);

}  // namespace setup

#endif  // SETUP_SCRIPT_INTERPRETER_H_
