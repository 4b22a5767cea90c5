#include "script/actions.h"

#include <cstring>
#include <string>

#include "script/lexer.h"
#include "script/run_state.h"
#include "sysquery/registration.h"

namespace setup {

CommandResult DoDefine(RunState& run, char* args, LanguageMode) {
  char* name = args;
  char* value = NextToken(run.script, &name, TokenForm::kReporting);
  if (!value) return CommandResult::Failed();
  return run.DefineMacro(name, value) ? CommandResult::Done() : CommandResult::Failed();
}

CommandResult DoBinCopy(RunState& run, char* args, LanguageMode) {
  char* source = args;
  char* destination = NextToken(run.script, &source, TokenForm::kReporting);
  if (!destination) return CommandResult::Failed();
  NextToken(run.script, &destination, TokenForm::kSilent);
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
  char* dir = args;
  NextToken(run.script, &dir, TokenForm::kSilent);
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
  char* file = args;
  char* prompt = NextToken(run.script, &file, TokenForm::kReporting);
  if (!prompt) return CommandResult::Failed();
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
  char* text = args;
  NextToken(run.script, &text, TokenForm::kSilent);
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
  char* path = args;
  if (!NextToken(run.script, &path, TokenForm::kReporting)) return CommandResult::Failed();
  if (!RegisterComponent(run.system, [&run] { run.ui.PumpMessages(); }, path)) {
    run.reporter.Show(" '%s' registration can't be done", {path}, kMbTopmost, kNoLimit);
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

}  // namespace setup
