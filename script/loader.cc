#include "script/loader.h"

#include <cstring>
#include <string>

#include "script/arguments.h"
#include "script/command_context.h"
#include "script/keyword_table.h"
#include "script/lexer.h"
#include "sysquery/registry_path.h"
#include "text/text_reader.h"

namespace setup {
namespace {

// Cuts the one argument of a pre-scanned keyword (`id`'s layout), the whole rest of the
// line when it is not a complete token; a fault goes to `faults`.
std::string PreScannedToken(const ScriptContext& script, KeywordId id, char* argument,
                            std::vector<ArgumentFault>* faults) {
  Arguments a;
  if (!CutArguments(script, id, argument, &a) && faults != nullptr) faults->push_back(a.fault);
  return a.count > 0 ? std::string(a.token[0]) : std::string();
}

void PreScan(SetupRun& run, char* line) {
  char* p = SkipBlanks(line);
  const KeywordRow& row = ClassifyRow(p);
  if ((row.flags & kPreScanned) == 0) return;
  p = StepOverKeyword(p, row);
  CommandContext& cx = run.context;
  std::vector<ArgumentFault> faults;
  if (row.id == kWindowTitle) {
    run.loaded.window_title = PreScannedToken(cx.script, kWindowTitle, p, &faults);
  } else {
    std::string copy(CutText(cx.encoding, p, kSetupDirArgumentLimit));
    run.loaded.default_destination =
        ClassifyLine(copy.c_str()) == kRegistry
            ? RegistrySetupDir(cx, copy.data(), &faults)
            : PreScannedToken(cx.script, kSetupDir, copy.data(), &faults);
  }
  for (ArgumentFault fault : faults) {
    run.loaded.prescan_faults.push_back({cx.line_number, row.id, fault});
  }
}

}  // namespace

std::optional<std::string> RegistrySetupDir(CommandContext& cx, char* argument,
                                            std::vector<ArgumentFault>* faults) {
  // The first word is the keyword Registry (or a longer word that begins with it). A
  // path that fails to cut still names the text up to the end of the line; then there
  // is no fallback.
  Arguments a;
  bool cut = CutArguments(cx.script, kRegistry, argument, &a);
  if (!cut && faults != nullptr) faults->push_back(a.fault);
  if (a.count < 2) return std::nullopt;  // no registry path
  std::string dir;
  if (ReadRegistryDirectory(cx.system, cx.encoding, a.token[1], kRegistryDirectoryLimit, &dir)) {
    return dir;
  }
  if (!cut) return std::nullopt;
  // The fallback is cut as SetupDir's own argument, even when nothing is there, so that
  // the missing fallback is reported; an unquoted fallback that ends the line is
  // reported and used all the same.
  bool has_fallback = *a.rest != '\0';
  std::string fallback = PreScannedToken(cx.script, kSetupDir, a.rest, faults);
  if (!has_fallback) return std::nullopt;
  return fallback;
}

Status LoadScript(SetupRun& run) {
  return LoadScriptFile(run, run.loaded.program_dir + "\\Setup.Inf");
}

Status LoadScriptFile(SetupRun& run, std::string script_path) {
  LoadedScript& loaded = run.loaded;
  CommandContext& cx = run.context;
  loaded.default_destination.reset();
  loaded.prescan_faults.clear();
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
