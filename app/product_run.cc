#include "app/product_run.h"

#include <ctime>

#include "app/transcript.h"
#include "script/command_context.h"
#include "script/loaded_script.h"

namespace setup {
namespace {

const char* ActionName(UndoStep::Action action) {
  switch (action) {
    case UndoStep::Action::kRemoved: return "removed";
    case UndoStep::Action::kRestored: return "restored";
    case UndoStep::Action::kFolderRemoved: return "folder removed";
    case UndoStep::Action::kUnregistered: return "unregistered";
    case UndoStep::Action::kEntryRemoved: return "entry removed";
    case UndoStep::Action::kRemovedAtRestart: return "removed at restart";
    case UndoStep::Action::kKept: return "kept";
  }
  return "kept";
}

void NoteStep(UiStack& stack, Encoding& encoding, const UndoStep& step) {
  std::string line = "{\"event\":\"Undo\",\"action\":" + JsonString(ActionName(step.action)) +
                     ",\"path\":" + JsonString(encoding.ToUtf8(step.path));
  if (step.action == UndoStep::Action::kKept) line += ",\"reason\":" + JsonString(step.reason);
  stack.Note(line + "}");
}

// {"event":"Rollback",...} and {"event":"RolledBack",...}: what opens and closes the Undo
// records of a rollback.
std::string RollbackLine(const std::string& id, const char* cause) {
  return "{\"event\":\"Rollback\",\"id\":" + JsonString(id) + ",\"cause\":\"" + cause + "\"}";
}

std::string RolledBackLine(const std::string& id, const UndoTally& tally) {
  return "{\"event\":\"RolledBack\",\"id\":" + JsonString(id) +
         ",\"kept\":" + std::to_string(tally.kept) + "}";
}

// The words for a record that cannot be used.
std::string RecordFault(Encoding& encoding, const Status& status) {
  std::string path = encoding.ToUtf8(status.path());
  if (status.Is(StatusKind::kCorrupt)) {
    return "The install record " + path + " is damaged; nothing was changed";
  }
  return "The install record " + path + " cannot be written; nothing was installed";
}

}  // namespace

bool ReadProduct(System& system, Encoding& encoding, Ui& ui, const std::string& program_dir,
                 ProductFile* file, bool* found) {
  Status read = ReadProductFile(system, ProductFilePath(program_dir), file);
  *found = !read.Is(StatusKind::kNotFound);
  if (!*found) return true;
  if (!read.ok()) file->faults.push_back({0, "the product file cannot be read"});
  if (file->faults.empty()) return true;
  std::string text = FormatProductFaults(encoding.ToUtf8(file->path), *file);
  text.pop_back();  // the last line feed
  ui.ShowMessageBox(text, kMbOk);
  return false;
}

ProductRun::ProductRun(RecordingLayer& layer, Encoding& encoding, UiStack& stack,
                       ProductInfo product)
    : layer_(layer),
      encoding_(encoding),
      stack_(stack),
      session_(layer, encoding, std::move(product)) {}

void ProductRun::Step(const UndoStep& step) { NoteStep(stack_, encoding_, step); }

void ProductRun::SayRecordFault(const Status& status) {
  stack_.top().ShowMessageBox(RecordFault(encoding_, status), kMbOk);
}

bool ProductRun::Recover() {
  const std::string& id = session_.product().id;
  bool rolled_back = false;
  UndoTally tally;
  bool announced = false;
  UndoSink sink = [&](const UndoStep& step) {
    if (!announced) {
      stack_.Note(RollbackLine(id, "interrupted"));
      announced = true;
    }
    Step(step);
  };
  Status status = session_.Recover(sink, &rolled_back, &tally);
  if (!status.ok()) {
    SayRecordFault(status);
    return false;
  }
  if (rolled_back) {
    if (!announced) stack_.Note(RollbackLine(id, "interrupted"));
    stack_.Note(RolledBackLine(id, tally));
  }
  return true;
}

bool ProductRun::BeforeRun(const LoadedScript& loaded, const std::string& destination) {
  if (session_.product().name.empty()) {
    session_.product().name = encoding_.ToUtf8(loaded.window_title);
  }
  entry_.install_location = destination;
  std::time_t now = std::time(nullptr);
  char date[16];
  if (const std::tm* day = std::localtime(&now)) {
    if (std::strftime(date, sizeof date, "%Y%m%d", day) == 8) entry_.install_date = date;
  }
  Status status = session_.Begin(destination);
  if (status.ok()) return true;
  SayRecordFault(status);
  return false;
}

void ProductRun::PlaceUninstaller() {
  if (uninstaller_source_.empty()) return;
  std::string record = RecordPathFor(encoding_, entry_.install_location);
  std::string target =
      record.substr(0, record.size() - std::string(kRecordFileName).size()) + kUninstallerName;
  if (!layer_.CopyFileBytes(uninstaller_source_, target).ok()) return;
  layer_.CommandCompleted();
  const std::string& id = session_.product().id;
  entry_.uninstall_string = "\"" + target + "\" /UNINSTALL=" + id;
  entry_.quiet_uninstall_string = entry_.uninstall_string + " /S";
  entry_.display_icon = target;
}

void ProductRun::AfterRun(bool finished) {
  if (finished && session_.began()) PlaceUninstaller();
  const std::string& id = session_.product().id;
  bool rolling_back = !finished && session_.product().rollback && session_.began();
  if (rolling_back) stack_.Note(RollbackLine(id, "failed"));
  bool rolled_back = false;
  UndoTally tally;
  Status ended = session_.Finish(
      finished, entry_, [&](const UndoStep& step) { Step(step); }, &rolled_back, &tally);
  // The files are in place, but the record or the entry that takes them back is not
  // whole: said, never passed over in silence.
  if (finished && !ended.ok()) {
    stack_.top().ShowMessageBox(
        "The install finished, but its install record or its entry in "
        "Programs and Features could not be completed: " +
            encoding_.ToUtf8(ended.path()),
        kMbOk);
  }
  if (rolled_back) stack_.Note(RolledBackLine(id, tally));
}

int StartRun(System& system, Encoding& encoding, UiStack& ui, const RunStart& start) {
  ProductFile product;
  bool has_product = false;
  if (start.read_product &&
      !ReadProduct(system, encoding, ui.top(), start.program_dir, &product, &has_product)) {
    return kExitStartupFailed;
  }
  if (!has_product) {
    auto run = std::make_unique<SetupRun>(system, ui.top(), encoding);
    return StartSetup(*run, start.program_path, start.options);
  }
  RecordingLayer layer(system);
  auto run = std::make_unique<SetupRun>(layer, ui.top(), encoding);
  run->context.change_record = &layer;
  ProductRun hooks(layer, encoding, ui, product.info);
  if (start.uninstaller_source) hooks.set_uninstaller_source(start.uninstaller_source());
  if (!hooks.Recover()) return kExitStartupFailed;
  StartOptions options = start.options;
  options.hooks = &hooks;
  return StartSetup(*run, start.program_path, options);
}

int RunUninstall(System& system, Encoding& encoding, UiStack& stack, const std::string& id) {
  std::string record_path;
  Status located = ReadLocator(system, id, &record_path);
  if (!located.ok()) {
    stack.top().ShowMessageBox(located.Is(StatusKind::kNotFound)
                                   ? "No install of " + id + " is recorded"
                                   : RecordFault(encoding, located),
                               kMbOk);
    return kExitRunFailed;
  }
  std::string question = "Remove " + id + ", recorded in " + encoding.ToUtf8(record_path) + "?";
  if (stack.top().ShowMessageDialog(question) != kIdOk) {
    return kExitCancelled;
  }
  stack.Note("{\"event\":\"Uninstall\",\"id\":" + JsonString(id) + "}");
  UndoTally tally;
  Status status = UninstallProduct(
      system, encoding, id, [&](const UndoStep& step) { NoteStep(stack, encoding, step); }, &tally);
  if (!status.ok()) {
    stack.top().ShowMessageBox(RecordFault(encoding, status), kMbOk);
    return kExitRunFailed;
  }
  stack.Note("{\"event\":\"Uninstalled\",\"id\":" + JsonString(id) +
             ",\"kept\":" + std::to_string(tally.kept) +
             ",\"restart\":" + (tally.restart ? "true" : "false") + "}");
  return tally.restart ? kExitRestartNeeded : kExitFinished;
}

}  // namespace setup
