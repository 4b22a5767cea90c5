#include "sysquery/registration.h"

#include "text/message.h"

namespace setup {

bool CallRegisterServer(System& system, const std::string& path) {
  std::int32_t hresult = -1;
  return system.CallDllRegisterServer(path, &hresult) == DllRegisterResult::kCalled &&
         hresult == 0;
}

std::string RegistrationWorkingDirectory(System& system, const std::string& path) {
  std::size_t start = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  std::size_t dir_end = start;
  for (std::size_t i = start; i < path.size();) {
    if (system.IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      i += 2;
      continue;
    }
    if (path[i] == '\\' || path[i] == '/') dir_end = i + 1;
    ++i;
  }
  return std::string(CutText(system, std::string_view(path).substr(0, dir_end), 255));
}

bool RunAndWait(System& system, const MessagePump& pump_messages, const std::string& program,
                const std::string& working_dir, const std::string& arguments) {
  std::unique_ptr<Process> process = system.StartProcess(program, arguments, working_dir);
  if (!process) return false;
  while (!process->HasEnded()) {
    pump_messages();
    system.SleepMilliseconds(1);
  }
  return true;
}

bool RegisterComponent(System& system, const MessagePump& pump_messages,
                       const std::string& path) {
  if (CallRegisterServer(system, path)) return true;
  return RunAndWait(system, pump_messages, path, RegistrationWorkingDirectory(system, path),
                    "/regserver");
}

}  // namespace setup
