// Registration of COM components: a library through its DllRegisterServer export, or a
// program started with "/regserver".
#ifndef SETUP_SYSQUERY_REGISTRATION_H_
#define SETUP_SYSQUERY_REGISTRATION_H_

#include <string>

namespace setup {

struct RunState;

// True when the component was registered (or its registration program was started and
// has ended); otherwise " '%s' registration can't be done" has been shown.
bool RegisterComponent(RunState& app, const std::string& path);

// True when the library loaded, exports DllRegisterServer, and that returned exactly 0.
bool CallRegisterServer(RunState& app, const std::string& path);

// Drive and directory of `path` with the trailing separator kept; empty for a bare name.
std::string RegistrationWorkingDirectory(RunState& app, const std::string& path);

// Starts `program` with `arguments` in `working_dir` and waits for it, keeping the
// windows alive. False when it cannot be started; its exit code is not read.
bool RunAndWait(RunState& app, const std::string& program, const std::string& working_dir,
                const std::string& arguments);

}  // namespace setup

#endif  // SETUP_SYSQUERY_REGISTRATION_H_
