// The whole program over the fakes: start-up, SetupDialog answered OK, the run of the
// script and FinishDialog. The input's first line (when a line feed ends it within its
// first 32 bytes) sets the scene, one letter each:
//   O, C   the next MessageDialog, DiskDialog or FinishDialog answers OK or CANCEL
//   T, L   SetupDialog hands over C:\App, or a destination of 300 bytes
//   D      the disk holds 16 bytes more; F every output fails to commit
//   R      D:\Dist\Readme.txt fails to read after 10 bytes
//   S      single-byte code page; M the directory C:\App\Refused cannot be made
// The rest of the input is Setup.Inf. Checked beyond the sanitizers: the exit status,
// FinishDialog exactly for a run that reached its end (status 0 unless a script error
// was shown), the progress positions, the macro table's
// bounds and that no registry key stays open.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/fuzz_world.h"
#include "script/command_context.h"
#include "script/startup.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

constexpr std::size_t kMaxOptions = 32;

// Splits off the options line and applies it; returns the script.
std::string_view ApplyOptions(std::string_view input, FakeSystem& system, FakeUi& ui) {
  std::size_t end = input.substr(0, kMaxOptions).find('\n');
  if (end == std::string_view::npos) return input;
  ui.answers.push_back(kIdOk);  // SetupDialog
  for (char c : input.substr(0, end)) {
    switch (c) {
      case 'O': ui.answers.push_back(kIdOk); break;
      case 'C': ui.answers.push_back(kIdCancel); break;
      case 'T':
        ui.type_destination = true;
        ui.typed_destination = "C:\\App";
        break;
      case 'L':
        ui.type_destination = true;
        ui.typed_destination = "C:\\" + std::string(297, 'd');
        break;
      case 'D': system.disk_space = 16; break;
      case 'F': system.fail_commit = true; break;
      case 'R':
        system.fail_read_path = "D:\\Dist\\Readme.txt";
        system.fail_read_after = 10;
        break;
      case 'S': system.encoding.lead_bytes_932 = false; break;
      case 'M': system.refuse_directory.insert("C:\\App\\Refused"); break;
      default: break;
    }
  }
  return input.substr(end + 1);
}

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

void RunAndCheck(std::string_view input) {
  FakeSystem system;
  FakeUi ui;
  AddFuzzRegistry(system);
  AddFuzzFiles(system);
  std::string_view script = ApplyOptions(input, system, ui);
  system.AddFile(kFuzzScriptPath, std::string(script));
  if (ui.answers.empty()) ui.answers.push_back(kIdOk);
  auto app = std::make_unique<SetupRun>(system, ui, system.encoding);
  int status = StartSetup(*app, kFuzzProgram);

  Check(system.open_keys == 0);
  if (status == kExitStartupFailed) {
    // The only way start-up fails here: the script does not fit the store.
    Check(script.size() > ScriptStore::kSize);
    Check(!ui.messages.empty() && ui.messages.back() == "D:\\Dist\\Setup.Inf file is too large.");
    return;
  }
  Check(status == kExitFinished || status == kExitRunFailed);

  // FinishDialog closes a run that reached its end and only that; such a run answers
  // "finished" exactly when it showed no script error.
  int finish_dialogs = 0;
  for (const std::string& event : ui.events) finish_dialogs += StartsWith(event, "FinishDialog ");
  Check(finish_dialogs <= 1);
  const bool reached_end = finish_dialogs == 1;
  Check((status == kExitFinished) == (reached_end && !app->context.script.error_shown()));
  if (reached_end) Check(StartsWith(ui.events.back(), "FinishDialog "));

  // Progress: 0, then one position per stored line taken (1, 2, ...), then the line
  // count when the run reached its end.
  const int lines = app->loaded.store.line_count();
  Check(!ui.positions.empty() && ui.positions[0] == 0);
  std::size_t taken = ui.positions.size() - 1 - (reached_end ? 1 : 0);
  for (std::size_t i = 1; i <= taken; ++i) Check(ui.positions[i] == static_cast<int>(i));
  if (reached_end) Check(ui.positions.back() == lines);

  // The macro table stays within its rows and fields.
  Check(app->context.macros.count() >= 3 && app->context.macros.count() <= MacroTable::kMaxRows);
  for (int i = 0; i < app->context.macros.count(); ++i) {
    Check(strnlen(app->context.macros.row(i).name, MacroTable::kFieldSize) <
          MacroTable::kFieldSize);
    Check(strnlen(app->context.macros.row(i).value, MacroTable::kFieldSize) <
          MacroTable::kFieldSize);
  }
}

}  // namespace
}  // namespace setup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  setup::RunAndCheck(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
