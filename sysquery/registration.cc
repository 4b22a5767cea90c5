#include "sysquery/registration.h"

#include "script/run_state.h"
#include "script/commands.h"
#include "script/lexer.h"

namespace setup {

bool CallRegisterServer(RunState& app, const std::string& path) {
  std::int32_t hresult = -1;
  return app.system.CallDllRegisterServer(path, &hresult) == DllRegisterResult::kCalled &&
         hresult == 0;
}

std::string RegistrationWorkingDirectory(RunState& app, const std::string& path) {
  std::size_t start = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  std::size_t dir_end = start;
  for (std::size_t i = start; i < path.size();) {
    if (app.system.IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      i += 2;
      continue;
    }
    if (path[i] == '\\' || path[i] == '/') dir_end = i + 1;
    ++i;
  }
  return std::string(CutText(app.system, std::string_view(path).substr(0, dir_end), 255));
}

bool RunAndWait(RunState& app, const std::string& program, const std::string& working_dir,
                const std::string& arguments) {
  std::unique_ptr<Process> process = app.system.StartProcess(program, arguments, working_dir);
  if (!process) return false;
  while (!process->HasEnded()) {
    app.ui.PumpMessages();
    app.system.SleepMilliseconds(1);
  }
  return true;
}

bool RegisterComponent(RunState& app, const std::string& path) {
  if (CallRegisterServer(app, path)) return true;
  if (RunAndWait(app, path, RegistrationWorkingDirectory(app, path), "/regserver")) return true;
  app.ShowMessage(" '%s' registration can't be done", {path}, kMbTopmost, kNoLimit);
  return false;
}

CommandResult DoRegsvr(RunState& app, char* args, int) {
  char* path = args;
  if (!NextToken(app, &path, TokenForm::kReporting)) return CommandResult::Failed();
  return RegisterComponent(app, path) ? CommandResult::Done() : CommandResult::Failed();
}

}  // namespace setup
