// The script checker on untrusted scripts (Setup.Inf in D:\Dist of the fuzz machine).
// Beyond the sanitizers: the check writes, starts and leaves open nothing, its findings
// are in line order, and where a run of the same script stops at a line for a reason the
// script alone decides, the check has a finding at that line (an error unless the line
// runs under a condition the check cannot decide). Only scripts whose lines a
// run expands as the check does are compared: no #define, no $$SETUPDIR$$, $$WINDOWS$$ or
// $$SYSTEM$$, no SetupDir, and no ErrorExit, whose text could read like any message.
// The same bytes also choose a generated program directory (tests/unit/check_property.h):
// a run of it that ends 0 has no error on a line it ran, and a run stopped by its script
// has a finding at the line it stopped at.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/fuzz_world.h"
#include "script/checker.h"
#include "script/command_context.h"
#include "script/startup.h"
#include "tests/unit/check_property.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

bool ComparableWithRun(std::string_view script) {
  for (std::string_view word : {"#define", "setupdir", "$$windows$$", "$$system$$", "errorexit"}) {
    if (std::search(script.begin(), script.end(), word.begin(), word.end(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == b;
        }) != script.end()) {
      return false;
    }
  }
  return true;
}

// The line a run's last message names when the script alone caused it; 0 otherwise.
int ScriptFailureLine(const std::string& message, const FakeUi& ui) {
  const std::string_view prefix = "D:\\Dist\\Setup.Infの";
  if (StartsWith(message, prefix)) {
    int line = 0;  // stays 0 when the number does not fit
    std::from_chars(message.data() + prefix.size(), message.data() + message.size(), line);
    return line > 0 ? line : 0;
  }
  bool positioned =
      StartsWith(message, "Setup script Error (") || message == "GOTO にラベルが有りません" ||
      StartsWith(message, "置換語句が多すぎます") || message == "Can't Create  file" ||
      (StartsWith(message, "D:\\Dist\\") &&
       message.find(" /* */ Syntax Error") != std::string::npos);
  return positioned && !ui.positions.empty() ? ui.positions.back() : 0;
}

void CompareWithRun(std::string_view script, const CheckReport& report) {
  FakeSystem system;
  FakeUi ui;
  AddFuzzRegistry(system);
  AddFuzzFiles(system);
  system.AddFile(kFuzzScriptPath, std::string(script));
  auto run = std::make_unique<SetupRun>(system, ui, system.encoding);
  int status = StartSetup(*run, kFuzzProgram);
  if (ui.messages.empty()) return;
  // A Message command's text may read like any of the run's own plain-style messages.
  auto box = std::find_if(ui.events.rbegin(), ui.events.rend(),
                          [](const std::string& e) { return StartsWith(e, "MessageBox "); });
  if (box == ui.events.rend() || !StartsWith(*box, "MessageBox 0|")) return;
  const std::string& last = ui.messages.back();
  // A run that reached its end shows FinishDialog, even after a script error (status 1).
  bool reached_end = std::any_of(ui.events.begin(), ui.events.end(), [](const std::string& e) {
    return StartsWith(e, "FinishDialog ");
  });
  // A Goto that only a condition the check cannot decide runs has a warning, not an error.
  if (reached_end && StartsWith(last, "Setup script Error. Nothing (")) {
    return Check(std::any_of(report.findings.begin(), report.findings.end(), [](const Finding& f) {
      return StartsWith(f.text, "Goto: no label ");
    }));
  }
  int line = status == kExitRunFailed && !reached_end ? ScriptFailureLine(last, ui) : 0;
  if (line == 0) return;
  // The run counts the stored lines, the findings the editor's, and say where they differ;
  // under a condition the check cannot decide, the finding is a warning.
  const std::string run_line =
      "(the run's messages count this line as line " + std::to_string(line) + ")";
  Check(std::any_of(report.findings.begin(), report.findings.end(), [&](const Finding& f) {
    return f.line == line || f.text.find(run_line) != std::string::npos;
  }));
}

void CheckAndVerify(std::string_view script) {
  FakeSystem system;
  AddFuzzRegistry(system);
  AddFuzzFiles(system);
  system.AddFile(kFuzzScriptPath, std::string(script));
  auto files = system.files;
  auto directories = system.directories;
  CheckReport report = CheckProgram(system, system.encoding, "D:\\Dist", "");
  Check(report.script_path == kFuzzScriptPath);
  Check(system.log.empty() && system.spawned.empty() && system.open_keys == 0);
  Check(system.directories == directories && system.files.size() == files.size());
  for (const auto& [path, file] : files)
    Check(system.files.count(path) == 1 && system.files[path].data == file.data);
  for (std::size_t i = 0; i < report.findings.size(); ++i) {
    Check(report.findings[i].line >= 0 && !report.findings[i].text.empty());
    Check(i == 0 || report.findings[i - 1].line <= report.findings[i].line);
  }
  if (ComparableWithRun(script)) CompareWithRun(script, report);
}

}  // namespace
}  // namespace setup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (size <= 80000) setup::CheckAndVerify(bytes);
  setup::Check(setup::CheckAgainstRun(setup::GenerateProgram(bytes)).empty());
  return 0;
}
