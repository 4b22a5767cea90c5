// The script checker on untrusted scripts: the input is Setup.Inf in D:\Dist of the fuzz
// machine. Checked beyond the sanitizers: the check writes, starts and leaves open
// nothing; its findings are in line order; and when a run of the same script stops at a
// line for a reason the script alone decides (a token, a word, a label, a limit, a
// missing destination or directory name, a comment of a program-directory text), the
// check has an error at that line. The comparison with the run is made only for scripts
// whose lines a run expands as the check does: no #define, no $$SETUPDIR$$, $$WINDOWS$$
// or $$SYSTEM$$, no SetupDir, and no ErrorExit, whose text could look like any message
// in the same plain style.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "script/run_state.h"
#include "script/startup.h"
#include "fuzz/fuzz_world.h"
#include "script/checker.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool ContainsFolded(std::string_view text, std::string_view lower_word) {
  auto it = std::search(text.begin(), text.end(), lower_word.begin(), lower_word.end(),
                        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
  return it != text.end();
}

bool ComparableWithRun(std::string_view script) {
  for (std::string_view word : {"#define", "setupdir", "$$windows$$", "$$system$$", "errorexit"}) {
    if (ContainsFolded(script, word)) return false;
  }
  return true;
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}

// The line a run's last message names, when the script alone caused it; 0 otherwise.
int ScriptFailureLine(const std::string& message, const FakeUi& ui) {
  int line = 0;
  const std::string_view prefix = "D:\\Dist\\Setup.Infの";
  if (StartsWith(message, prefix)) {
    std::size_t i = prefix.size();
    while (i < message.size() && message[i] >= '0' && message[i] <= '9' && line < 100000) {
      line = line * 10 + (message[i++] - '0');
    }
    return line;
  }
  int position = ui.positions.empty() ? 0 : ui.positions.back();
  if (StartsWith(message, "Setup script Error (") || message == "GOTO にラベルが有りません" ||
      StartsWith(message, "置換語句が多すぎます") || message == "Can't Create  file") {
    return position;
  }
  if (StartsWith(message, "D:\\Dist\\") && message.find(" /* */ Syntax Error") != std::string::npos) {
    return position;
  }
  return 0;
}

void CompareWithRun(std::string_view script, const CheckReport& report) {
  FakeSystem system;
  FakeUi ui;
  AddFuzzRegistry(system);
  AddFuzzFiles(system);
  system.AddFile(kFuzzScriptPath, std::string(script));
  auto run = std::make_unique<RunState>(system, ui);
  int status = StartSetup(*run, kFuzzProgram);
  if (ui.messages.empty()) return;
  const std::string& last = ui.messages.back();
  // The run's own messages have the plain style; a Message command's text may read like
  // any of them.
  auto box = std::find_if(ui.events.rbegin(), ui.events.rend(), [](const std::string& e) {
    return StartsWith(e, "MessageBox ");
  });
  if (box == ui.events.rend() || !StartsWith(*box, "MessageBox 0|")) return;
  if (status == kExitFinished && StartsWith(last, "Setup script Error. Nothing (")) {
    Check(report.has_error());
    return;
  }
  if (status != kExitRunFailed) return;
  int line = ScriptFailureLine(last, ui);
  if (line == 0) return;
  bool found = std::any_of(report.findings.begin(), report.findings.end(), [&](const Finding& f) {
    return f.line == line && f.severity == Finding::Severity::kError;
  });
  Check(found);
}

void CheckAndVerify(std::string_view script) {
  FakeSystem system;
  AddFuzzRegistry(system);
  AddFuzzFiles(system);
  system.AddFile(kFuzzScriptPath, std::string(script));
  auto files = system.files;
  auto directories = system.directories;

  CheckReport report = CheckProgram(system, "D:\\Dist", "");

  Check(report.script_path == kFuzzScriptPath);
  Check(system.log.empty() && system.spawned.empty() && system.open_keys == 0);
  Check(system.directories == directories);
  Check(system.files.size() == files.size());
  for (const auto& [path, file] : files) {
    Check(system.files.count(path) == 1 && system.files[path].data == file.data);
  }
  for (std::size_t i = 0; i < report.findings.size(); ++i) {
    Check(report.findings[i].line >= 0 && !report.findings[i].text.empty());
    if (i > 0) Check(report.findings[i - 1].line <= report.findings[i].line);
  }
  if (ComparableWithRun(script)) CompareWithRun(script, report);
}

}  // namespace
}  // namespace setup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 80000) return 0;
  setup::CheckAndVerify(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
