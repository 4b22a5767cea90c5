#include "script/loader.h"

#include <cstring>
#include <string>

#include "script/command_context.h"
#include "script/keyword_table.h"
#include "script/lexer.h"
#include "sysquery/registry_path.h"
#include "text/text_reader.h"

namespace setup {
namespace {

void PreScanSetupDir(SetupRun& run, const char* argument) {
  CommandContext& cx = run.context;
  std::string copy(CutText(cx.encoding, argument, kSetupDirArgumentLimit));
  if (ClassifyLine(copy.c_str()) == kRegistry) {
    run.loaded.default_destination = RegistrySetupDir(cx, copy.data());
    return;
  }
  char* cursor = copy.data();
  NextToken(cx.script, &cursor, TokenForm::kReporting);
  run.loaded.default_destination = std::string(cursor);
}

void PreScanWindowTitle(SetupRun& run, char* argument) {
  char* title = argument;
  NextToken(run.context.script, &title, TokenForm::kReporting);
  run.loaded.window_title = title;
}

void PreScan(SetupRun& run, char* line) {
  char* p = SkipBlanks(line);
  const KeywordRow& row = ClassifyRow(p);
  if ((row.flags & kPreScanned) == 0) return;
  p = StepOverKeyword(p, row);
  if (row.id == kSetupDir) {
    PreScanSetupDir(run, p);
  } else {
    PreScanWindowTitle(run, p);
  }
}

}  // namespace

std::optional<std::string> RegistrySetupDir(CommandContext& cx, char* argument) {
  // The first word is the keyword Registry (or a longer word that begins with it).
  char* cursor = argument;
  char* path_token = NextToken(cx.script, &cursor, TokenForm::kReporting);
  if (path_token == nullptr) return std::nullopt;  // no registry path

  // A path that fails to cut still names the text up to the end of the line; then
  // there is no fallback.
  cursor = path_token;
  char* fallback = NextToken(cx.script, &cursor, TokenForm::kReporting);
  std::string dir;
  if (ReadRegistryDirectory(cx.system, cx.encoding, cursor, kRegistryDirectoryLimit, &dir))
    return dir;

  if (fallback == nullptr) return std::nullopt;
  cursor = fallback;
  bool has_fallback = *fallback != '\0';
  // Cut with the reporting form even when nothing is there, so that the missing
  // fallback is reported; an unquoted fallback that ends the line is reported and
  // used all the same.
  NextToken(cx.script, &cursor, TokenForm::kReporting);
  if (!has_fallback) return std::nullopt;
  return std::string(cursor);
}

Status LoadScript(SetupRun& run) {
  return LoadScriptFile(run, run.loaded.program_dir + "\\Setup.Inf");
}

Status LoadScriptFile(SetupRun& run, std::string script_path) {
  LoadedScript& loaded = run.loaded;
  CommandContext& cx = run.context;
  loaded.default_destination.reset();
  loaded.path = std::move(script_path);
  std::unique_ptr<InputFile> file;
  Status opened = cx.system.OpenForReading(loaded.path, &file);
  if (!opened.ok()) return Status(opened.kind(), loaded.path, opened.os_error());
  loaded.store.Reset();
  TextReader reader(file.get());
  char line[ScriptStore::kReadLimit];
  while (reader.ReadLine(line, sizeof line) > 0) {
    std::size_t len = std::strlen(line);  // a NUL inside the line ends it
    if (len > 0 && line[len - 1] == '\n') --len;
    char* stored = loaded.store.Append(std::string_view(line, len));
    if (stored == nullptr) {
      return Status(StatusKind::kTooLong, loaded.path).AtLine(loaded.store.line_count() + 1);
    }
    cx.line_number = loaded.store.line_count();
    PreScan(run, stored);
  }
  if (reader.error()) return Status(StatusKind::kReadError, loaded.path);
  return Status::Ok();
}

}  // namespace setup
