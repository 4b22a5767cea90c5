#include "script/actions.h"

#include <cstring>
#include <string>

#include "script/arguments.h"
#include "script/lexer.h"
#include "script/run_state.h"
#include "sysquery/registration.h"

namespace setup {

CommandResult DoDefine(RunState& run, char* args, LanguageMode) {
  Arguments a;
  if (!CutArguments(run.script, kDefine, args, &a)) return CommandResult::Failed();
  return run.DefineMacro(a.token[0], a.rest) ? CommandResult::Done() : CommandResult::Failed();
}

CommandResult DoBinCopy(RunState& run, char* args, LanguageMode) {
  Arguments a;
  if (!CutArguments(run.script, kBinCopy, args, &a)) return CommandResult::Failed();
  const char* source = a.token[0];
  const char* destination = a.token[1];
  if (!*destination) {
    run.script.ReportAtLine("%sの%d行目にコピー先の指定が有りません");
    return CommandResult::Failed();
  }
  if (!run.system.CopyFileBytes(source, destination)) {
    run.reporter.Show("It failed in the copy form %s to %s", {source, destination});
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

CommandResult DoMakeDir(RunState& run, char* args, LanguageMode) {
  Arguments a;
  CutArguments(run.script, kMakeDir, args, &a);
  const char* dir = a.token[0];
  if (!*dir) {
    run.script.ReportAtLine("%sの%d行目にディレクトリー名が有りません");
    return CommandResult::Failed();
  }
  if (run.system.MakeDirectory(dir) == MakeDirResult::kFailed) {
    run.reporter.Show("The '%s' directroy can not be make", {dir});
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

CommandResult DoDiskCheck(RunState& run, char* args, LanguageMode) {
  Arguments a;
  if (!CutArguments(run.script, kDiskCheck, args, &a)) return CommandResult::Failed();
  const char* file = a.token[0];
  const char* prompt = a.rest;
  // The path must fit 255 bytes; a longer one is a file that cannot be opened.
  std::string path = run.program_dir + "\\" + file;
  bool fits = path.size() <= 255;
  std::string text;
  for (;;) {
    if (fits && run.system.OpenForReading(path)) return CommandResult::Done();
    if (text.empty()) text = FormatMessage(run.system, "Cheng at '%s'", {prompt}, kNoLimit);
    if (run.ui.ShowDiskDialog(run.system.ToUtf8(run.window_title), text) == kIdCancel) {
      run.reporter.Show("Making a setup was stopped.", {});
      return CommandResult::Failed();
    }
  }
}

CommandResult DoMessageBox(RunState& run, char* args, LanguageMode) {
  Arguments a;
  CutArguments(run.script, kMessageBox, args, &a);
  char* text = a.token[0];
  for (char* p = text; *p; ++p) {
    if (*p == '\x01') *p = '\n';
  }
  int answer = run.ui.ShowMessageDialog(run.system.ToUtf8(text));
  return answer == kIdOk ? CommandResult::Done() : CommandResult::Failed();
}

// Message and ErrorExit show their text as every message is shown: cut to 255 bytes.
CommandResult DoMessage(RunState& run, char* args, LanguageMode) {
  run.ui.ShowMessageBox(run.system.ToUtf8(CutText(run.system, args, kMessageLimit)),
                        kMbInformationTopmost);
  return CommandResult::Done();
}

CommandResult DoErrorExit(RunState& run, char* args, LanguageMode) {
  run.ui.ShowMessageBox(run.system.ToUtf8(CutText(run.system, args, kMessageLimit)), kMbOk);
  return CommandResult::Failed();
}

CommandResult DoRegsvr(RunState& run, char* args, LanguageMode) {
  Arguments a;
  if (!CutArguments(run.script, kRegsvr, args, &a)) return CommandResult::Failed();
  const char* path = a.token[0];
  if (!RegisterComponent(run.system, [&run] { run.ui.PumpMessages(); }, path)) {
    run.reporter.Show(" '%s' registration can't be done", {path}, kMbTopmost, kNoLimit);
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

}  // namespace setup
