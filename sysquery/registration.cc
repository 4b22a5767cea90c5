#include "sysquery/registration.h"

#include "base/code_page_text.h"
#include "text/message.h"

namespace setup {

bool CallRegisterServer(ComponentRegistrar& registrar, const std::string& path) {
  std::int32_t hresult = -1;
  return registrar.CallDllRegisterServer(path, &hresult).ok() && hresult == 0;
}

std::string RegistrationWorkingDirectory(const Encoding& encoding, const std::string& path) {
  std::size_t start = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  std::string_view after_drive = std::string_view(path).substr(start);
  std::size_t dir_end = start + DirectoryLength(LeadByteOf(encoding), after_drive);
  return std::string(CutText(encoding, std::string_view(path).substr(0, dir_end), 255));
}

Status RunAndWait(ComponentRegistrar& registrar, const MessagePump& pump_messages,
                  const std::string& program, const std::string& working_dir,
                  const std::string& arguments) {
  std::unique_ptr<Process> process;
  Status started = registrar.StartProcess(program, arguments, working_dir, &process);
  if (!started.ok()) return started;
  while (!process->HasEnded()) {
    pump_messages();
    registrar.SleepMilliseconds(1);
  }
  return Status::Ok();
}

Status RegisterComponent(ComponentRegistrar& registrar, const Encoding& encoding,
                         const MessagePump& pump_messages, const std::string& path) {
  if (CallRegisterServer(registrar, path)) return Status::Ok();
  Status ran = RunAndWait(registrar, pump_messages, path,
                          RegistrationWorkingDirectory(encoding, path), "/regserver");
  if (ran.ok()) return ran;
  // Named by the component, whichever path the start failed on (its working directory).
  return Status(ran.kind(), path, ran.os_error());
}

}  // namespace setup
