// The action commands: #define, BinCopy, MakeDir, DiskCheck, MessageBox, Message and
// ErrorExit.
#include <cstring>
#include <string>

#include "app/setup_app.h"
#include "script/commands.h"
#include "script/lexer.h"

namespace setup {

CommandResult DoDefine(SetupApp& app, char* args, int) {
  char* name = args;
  char* value = NextToken(app, &name, TokenForm::kReporting);
  if (!value) return CommandResult::Failed();
  return app.DefineMacro(name, value) ? CommandResult::Done() : CommandResult::Failed();
}

CommandResult DoBinCopy(SetupApp& app, char* args, int) {
  char* source = args;
  char* destination = NextToken(app, &source, TokenForm::kReporting);
  if (!destination) return CommandResult::Failed();
  NextToken(app, &destination, TokenForm::kSilent);
  if (!*destination) {
    app.ShowMessage("%sの%d行目にコピー先の指定が有りません", {app.script_path, app.line_number});
    return CommandResult::Failed();
  }
  if (!app.system.CopyFileBytes(source, destination)) {
    app.ShowMessage("It failed in the copy form %s to %s", {source, destination});
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

CommandResult DoMakeDir(SetupApp& app, char* args, int) {
  char* dir = args;
  NextToken(app, &dir, TokenForm::kSilent);
  if (!*dir) {
    app.ShowMessage("%sの%d行目にディレクトリー名が有りません", {app.script_path, app.line_number});
    return CommandResult::Failed();
  }
  if (app.system.MakeDirectory(dir) == MakeDirResult::kFailed) {
    app.ShowMessage("The '%s' directroy can not be make", {dir});
    return CommandResult::Failed();
  }
  return CommandResult::Done();
}

CommandResult DoDiskCheck(SetupApp& app, char* args, int) {
  char* file = args;
  char* prompt = NextToken(app, &file, TokenForm::kReporting);
  if (!prompt) return CommandResult::Failed();
  // The path must fit 255 bytes; a longer one is a file that cannot be opened.
  std::string path = app.program_dir + "\\" + file;
  bool fits = path.size() <= 255;
  std::string text;
  for (;;) {
    if (fits && app.system.OpenForReading(path)) return CommandResult::Done();
    if (text.empty()) text = FormatMessage(app.system, "Cheng at '%s'", {prompt}, kNoLimit);
    if (app.ui.ShowDiskDialog(app.system.ToUtf8(app.window_title), text) == kIdCancel) {
      app.ShowMessage("Making a setup was stopped.", {});
      return CommandResult::Failed();
    }
  }
}

CommandResult DoMessageBox(SetupApp& app, char* args, int) {
  char* text = args;
  NextToken(app, &text, TokenForm::kSilent);
  for (char* p = text; *p; ++p) {
    if (*p == '\x01') *p = '\n';
  }
  int answer = app.ui.ShowMessageDialog(app.system.ToUtf8(text));
  return answer == kIdOk ? CommandResult::Done() : CommandResult::Failed();
}

// Message and ErrorExit show their text as every message is shown: cut to 255 bytes.
CommandResult DoMessage(SetupApp& app, char* args, int) {
  app.ui.ShowMessageBox(app.system.ToUtf8(CutText(app.system, args, kMessageLimit)),
                        kMbInformationTopmost);
  return CommandResult::Done();
}

CommandResult DoErrorExit(SetupApp& app, char* args, int) {
  app.ui.ShowMessageBox(app.system.ToUtf8(CutText(app.system, args, kMessageLimit)), kMbOk);
  return CommandResult::Failed();
}

}  // namespace setup
