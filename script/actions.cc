#include "script/actions.h"

#include <cstring>
#include <string>

#include "script/arguments.h"
#include "script/command_context.h"
#include "script/lexer.h"
#include "sysquery/registration.h"
#include "text/status_text.h"

namespace setup {

CommandResult DoDefine(CommandContext& cx, char* args) {
  Arguments a;
  if (!CutArguments(cx.script, kDefine, args, &a)) return CommandResult::Failed();
  return cx.DefineMacro(a.token[0], a.rest) ? CommandResult::Done() : CommandResult::Failed();
}

CommandResult DoBinCopy(CommandContext& cx, char* args) {
  Arguments a;
  if (!CutArguments(cx.script, kBinCopy, args, &a)) return CommandResult::Failed();
  const char* source = a.token[0];
  const char* destination = a.token[1];
  if (!*destination) {
    cx.script.ReportAtLine("%sの%d行目にコピー先の指定が有りません");
    return CommandResult::Failed();
  }
  Status copied = cx.system.CopyFileBytes(source, destination);
  if (!copied.ok()) {
    ShowStatus(cx.reporter, FailedStep::kCopyBytes, copied);
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

CommandResult DoMakeDir(CommandContext& cx, char* args) {
  Arguments a;
  CutArguments(cx.script, kMakeDir, args, &a);
  const char* dir = a.token[0];
  if (!*dir) {
    cx.script.ReportAtLine("%sの%d行目にディレクトリー名が有りません");
    return CommandResult::Failed();
  }
  Status made = cx.system.MakeDirectory(dir);
  // An existing entry of that name is no failure, as CreateDirectoryA's
  // ERROR_ALREADY_EXISTS never was for this command.
  if (!made.ok() && !made.Is(StatusKind::kAlreadyExists)) {
    ShowStatus(cx.reporter, FailedStep::kMakeDirectory, made);
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

CommandResult DoDiskCheck(CommandContext& cx, char* args) {
  Arguments a;
  if (!CutArguments(cx.script, kDiskCheck, args, &a)) return CommandResult::Failed();
  const char* file = a.token[0];
  const char* prompt = a.rest;
  std::string path = cx.loaded.program_dir + "\\" + file;
  bool fits = path.size() <= kDiskCheckPathLimit;
  std::string text;
  for (;;) {
    std::unique_ptr<InputFile> file;
    if (fits && cx.system.OpenForReading(path, &file).ok()) return CommandResult::Done();
    if (text.empty()) text = FormatMessage(cx.encoding, "Cheng at '%s'", {prompt}, kNoLimit);
    if (cx.ui.ShowDiskDialog(cx.encoding.ToUtf8(cx.loaded.window_title), text) == kIdCancel) {
      cx.reporter.Show("Making a setup was stopped.", {});
      return CommandResult::Failed();
    }
  }
}

CommandResult DoMessageBox(CommandContext& cx, char* args) {
  Arguments a;
  CutArguments(cx.script, kMessageBox, args, &a);
  char* text = a.token[0];
  for (char* p = text; *p; ++p) {
    if (*p == '\x01') *p = '\n';
  }
  int answer = cx.ui.ShowMessageDialog(cx.encoding.ToUtf8(text));
  return answer == kIdOk ? CommandResult::Done() : CommandResult::Failed();
}

// Message and ErrorExit show their text as every message is shown: cut to 255 bytes.
CommandResult DoMessage(CommandContext& cx, char* args) {
  cx.ui.ShowMessageBox(cx.encoding.ToUtf8(CutText(cx.encoding, args, kMessageLimit)),
                       kMbInformationTopmost);
  return CommandResult::Done();
}

CommandResult DoErrorExit(CommandContext& cx, char* args) {
  cx.ui.ShowMessageBox(cx.encoding.ToUtf8(CutText(cx.encoding, args, kMessageLimit)), kMbOk);
  return CommandResult::Failed();
}

CommandResult DoRegsvr(CommandContext& cx, char* args) {
  Arguments a;
  if (!CutArguments(cx.script, kRegsvr, args, &a)) return CommandResult::Failed();
  const char* path = a.token[0];
  Status registered = RegisterComponent(
      cx.system, cx.encoding, [&cx] { cx.ui.PumpMessages(); }, path);
  if (!registered.ok()) {
    ShowStatus(cx.reporter, FailedStep::kRegister, registered);
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

}  // namespace setup
