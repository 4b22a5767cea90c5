// Registration of COM components: a library through its DllRegisterServer export, or a
// program started with "/regserver". Nothing here shows a message.
#ifndef SETUP_SYSQUERY_REGISTRATION_H_
#define SETUP_SYSQUERY_REGISTRATION_H_

#include <functional>
#include <string>

#include "base/encoding.h"
#include "platform/system_roles.h"

namespace setup {

// Called while a registration program runs, to keep the windows alive.
using MessagePump = std::function<void()>;

// Succeeds when the component was registered (or its registration program was started
// and has ended); otherwise the status of starting the program, named by its path.
Status RegisterComponent(ComponentRegistrar& registrar, const Encoding& encoding,
                         const MessagePump& pump_messages, const std::string& path);

// True when the library loaded, exports DllRegisterServer, and that returned exactly 0.
bool CallRegisterServer(ComponentRegistrar& registrar, const std::string& path);

// Drive and directory of `path` with the trailing separator kept; empty for a bare name.
std::string RegistrationWorkingDirectory(const Encoding& encoding, const std::string& path);

// Starts `program` with `arguments` in `working_dir` and waits for it, calling
// `pump_messages` before each pause of a millisecond. Fails when it cannot be started;
// its exit code is not read.
Status RunAndWait(ComponentRegistrar& registrar, const MessagePump& pump_messages,
                  const std::string& program, const std::string& working_dir,
                  const std::string& arguments);

}  // namespace setup

#endif  // SETUP_SYSQUERY_REGISTRATION_H_
