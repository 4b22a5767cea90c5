#include "script/loader.h"

#include <cstring>

#include "script/lexer.h"
#include "script/run_state.h"
#include "script/text_reader.h"
#include "sysquery/registry_path.h"

namespace setup {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

void PreScanSetupDir(RunState& app, const char* argument) {
  // The destination buffer takes 511 bytes; a longer argument is cut there.
  std::string_view arg = CutText(app.system, argument, sizeof app.destination_buffer - 1);
  std::memcpy(app.destination_buffer, arg.data(), arg.size());
  app.destination_buffer[arg.size()] = '\0';
  char* copy = app.destination_buffer;
  if (ClassifyLine(copy) == kRegistry) {
    app.default_destination = RegistrySetupDir(app, copy);
    return;
  }
  char* cursor = copy;
  NextToken(app, &cursor, TokenForm::kReporting);
  app.default_destination = cursor;
}

void PreScanWindowTitle(RunState& app, char* argument) {
  char* title = argument;
  NextToken(app, &title, TokenForm::kReporting);
  app.window_title = title;
}

void PreScan(RunState& app, char* line) {
  char* p = SkipBlanks(line);
  KeywordId id = ClassifyLine(p);
  if (id != kSetupDir && id != kWindowTitle) return;
  while (IsAsciiLetter(*p) || *p == '#') ++p;
  p = SkipBlanks(p);
  if (id == kSetupDir) {
    PreScanSetupDir(app, p);
  } else {
    PreScanWindowTitle(app, p);
  }
}

}  // namespace

bool LoadScript(RunState& app) {
  app.default_destination = nullptr;
  app.script_path = app.program_dir + "\\Setup.Inf";
  std::unique_ptr<InputFile> file = app.system.OpenForReading(app.script_path);
  if (!file) {
    app.ShowMessage("Can't Open %s file.", {app.script_path});
    return false;
  }
  app.store.Reset();
  TextReader reader(file.get());
  char line[ScriptStore::kReadLimit];
  while (reader.ReadLine(line, sizeof line) > 0) {
    std::size_t len = std::strlen(line);  // a NUL inside the line ends it
    if (len > 0 && line[len - 1] == '\n') line[--len] = '\0';
    if (!app.store.HasRoom(len)) {
      app.ShowMessage("%s file is too large.", {app.script_path});
      return false;
    }
    char* stored = app.store.write_end();
    std::memcpy(stored, line, len + 1);
    app.line_number = app.store.line_count() + 1;
    PreScan(app, stored);
    app.store.CommitLine(len);
  }
  if (reader.error()) {
    app.ShowMessage("Can't read %s file", {app.script_path});
    return false;
  }
  return true;
}

}  // namespace setup
