// Loading the script and its pre-scan for SetupDir and WindowTitle.
#ifndef SETUP_SCRIPT_LOADER_H_
#define SETUP_SCRIPT_LOADER_H_

namespace setup {

struct RunState;

// Reads Setup.Inf from the program directory into the store and pre-scans it. False
// when it cannot be read; its message has been shown.
bool LoadScript(RunState& run);

// The registry form of SetupDir, given the copy of its argument in the destination
// buffer (beginning with the word Registry): returns the default destination, inside
// the destination buffer or run.registry_value, or nullptr for none.
const char* RegistrySetupDir(RunState& run, char* argument);

}  // namespace setup

#endif  // SETUP_SCRIPT_LOADER_H_
