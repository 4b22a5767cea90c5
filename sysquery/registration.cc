#include "sysquery/registration.h"

#include "base/code_page_text.h"
#include "text/message.h"

namespace setup {

bool CallRegisterServer(System& system, const std::string& path) {
  std::int32_t hresult = -1;
  return system.CallDllRegisterServer(path, &hresult) == DllRegisterResult::kCalled && hresult == 0;
}

std::string RegistrationWorkingDirectory(const Encoding& encoding, const std::string& path) {
  std::size_t start = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  std::string_view after_drive = std::string_view(path).substr(start);
  std::size_t dir_end = start + DirectoryLength(LeadByteOf(encoding), after_drive);
  return std::string(CutText(encoding, std::string_view(path).substr(0, dir_end), 255));
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

bool RegisterComponent(System& system, const Encoding& encoding, const MessagePump& pump_messages,
                       const std::string& path) {
  if (CallRegisterServer(system, path)) return true;
  return RunAndWait(system, pump_messages, path, RegistrationWorkingDirectory(encoding, path),
                    "/regserver");
}

}  // namespace setup
