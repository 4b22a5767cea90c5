#include "script/loader.h"

#include <cstring>
#include <string>

#include "script/keyword_table.h"
#include "script/lexer.h"
#include "script/run_state.h"
#include "sysquery/registry_path.h"
#include "text/text_reader.h"

namespace setup {
namespace {

void PreScanSetupDir(RunState& run, const char* argument) {
  std::string copy(CutText(run.system, argument, kSetupDirArgumentLimit));
  if (ClassifyLine(copy.c_str()) == kRegistry) {
    run.default_destination = RegistrySetupDir(run, copy.data());
    return;
  }
  char* cursor = copy.data();
  NextToken(run.script, &cursor, TokenForm::kReporting);
  run.default_destination = std::string(cursor);
}

void PreScanWindowTitle(RunState& run, char* argument) {
  char* title = argument;
  NextToken(run.script, &title, TokenForm::kReporting);
  run.window_title = title;
}

void PreScan(RunState& run, char* line) {
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

std::optional<std::string> RegistrySetupDir(RunState& run, char* argument) {
  // The first word is the keyword Registry (or a longer word that begins with it).
  char* cursor = argument;
  char* path_token = NextToken(run.script, &cursor, TokenForm::kReporting);
  if (path_token == nullptr) return std::nullopt;  // no registry path

  // A path that fails to cut still names the text up to the end of the line; then
  // there is no fallback.
  cursor = path_token;
  char* fallback = NextToken(run.script, &cursor, TokenForm::kReporting);
  std::string dir;
  if (ReadRegistryDirectory(run.system, cursor, kRegistryDirectoryLimit, &dir)) return dir;

  if (fallback == nullptr) return std::nullopt;
  cursor = fallback;
  bool has_fallback = *fallback != '\0';
  // Cut with the reporting form even when nothing is there, so that the missing
  // fallback is reported; an unquoted fallback that ends the line is reported and
  // used all the same.
  NextToken(run.script, &cursor, TokenForm::kReporting);
  if (!has_fallback) return std::nullopt;
  return std::string(cursor);
}

bool LoadScript(RunState& run) { return LoadScriptFile(run, run.program_dir + "\\Setup.Inf"); }

bool LoadScriptFile(RunState& run, std::string script_path) {
  run.default_destination.reset();
  run.script_path = std::move(script_path);
  std::unique_ptr<InputFile> file = run.system.OpenForReading(run.script_path);
  if (!file) {
    run.reporter.Show("Can't Open %s file.", {run.script_path});
    return false;
  }
  run.store.Reset();
  TextReader reader(file.get());
  char line[ScriptStore::kReadLimit];
  while (reader.ReadLine(line, sizeof line) > 0) {
    std::size_t len = std::strlen(line);  // a NUL inside the line ends it
    if (len > 0 && line[len - 1] == '\n') --len;
    char* stored = run.store.Append(std::string_view(line, len));
    if (stored == nullptr) {
      run.reporter.Show("%s file is too large.", {run.script_path});
      return false;
    }
    run.line_number = run.store.line_count();
    PreScan(run, stored);
  }
  if (reader.error()) {
    run.reporter.Show("Can't read %s file", {run.script_path});
    return false;
  }
  return true;
}

}  // namespace setup
