// Loading and pre-scanning the script: the input is Setup.Inf in D:\Dist, start-up runs
// as D:\Dist\SETUP.EXE and SetupDialog is cancelled, so nothing of the script runs.
// Checked beyond the sanitizers: the exit status, the stored lines against a reference
// reader, that every message is one of NextToken's naming a line that exists, the
// default destination's limit, and that no registry key stays open.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_world.h"
#include "script/command_context.h"
#include "script/loader.h"
#include "script/startup.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// The stored lines as text-mode line reads of at most 1023 bytes make them: a CR
// directly before an LF is dropped, the first 0x1A ends the input, each line ends at its
// first NUL and loses its LF.
std::vector<std::string> ReferenceLines(std::string_view data) {
  std::string text;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == 0x1A) break;
    if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') continue;
    text += data[i];
  }
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t n = 0;
    while (pos + n < text.size() && n < ScriptStore::kReadLimit - 1) {
      if (text[pos + n++] == '\n') break;
    }
    std::string line = text.substr(pos, n);
    pos += n;
    line.resize(std::strlen(line.c_str()));
    if (!line.empty() && line.back() == '\n') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The lines NextLine hands out, checked against the reference: each is a reference
// line, except that a WindowTitle line may come as two, split where the cut of its
// title wrote a NUL over a closing quote or a blank.
void CheckStoredLines(SetupRun& app, const std::vector<std::string>& reference) {
  std::vector<std::string> got;
  char buffer[ScriptStore::kReadLimit];
  for (;;) {
    ScriptStore::LineResult r = app.loaded.store.NextLine(buffer, sizeof buffer);
    if (r == ScriptStore::LineResult::kEnd) break;
    Check(r == ScriptStore::LineResult::kLine);
    got.emplace_back(buffer);
  }
  std::size_t j = 0;
  for (const std::string& line : reference) {
    Check(j < got.size());
    const std::string& first = got[j++];
    Check(line.compare(0, first.size(), first) == 0);
    if (first.size() == line.size()) continue;
    char cut = line[first.size()];
    Check(cut == '"' || cut == ' ' || cut == '\t');
    Check(j < got.size());
    Check(got[j++] == line.substr(first.size() + 1));
  }
  Check(j == got.size());
}

void LoadAndCheck(std::string_view script) {
  FakeSystem system;
  FakeUi ui;
  AddFuzzRegistry(system);
  system.AddFile(kFuzzScriptPath, std::string(script));
  ui.answers = {kIdCancel};
  auto app = std::make_unique<SetupRun>(system, ui, system.encoding);
  int status = StartSetup(*app, kFuzzProgram);

  std::vector<std::string> reference = ReferenceLines(script);
  std::size_t stored = 0;
  for (const std::string& line : reference) stored += line.size() + 1;
  Check(system.open_keys == 0);

  if (stored > ScriptStore::kSize) {
    Check(status == kExitStartupFailed);
    Check(!ui.messages.empty() && ui.messages.back() == "D:\\Dist\\Setup.Inf file is too large.");
    for (const std::string& event : ui.events) Check(event.rfind("MessageBox ", 0) == 0);
    return;
  }
  Check(status == kExitCancelled);
  Check(app->loaded.store.line_count() == static_cast<int>(reference.size()));
  Check(app->context.macros.count() == 3);  // a cancelled dialog runs nothing

  // Messages: only NextToken's, for lines that exist; then SetupDialog, once, last.
  Check(!ui.events.empty());
  for (std::size_t i = 0; i + 1 < ui.events.size(); ++i) {
    Check(ui.events[i].rfind("MessageBox 0|", 0) == 0);
  }
  for (const std::string& message : ui.messages) {
    int line = 0;
    Check(IsTokenMessage(message, &line));
    Check(line >= 1 && line <= static_cast<int>(reference.size()));
  }
  const std::string dialog =
      "SetupDialog " + system.encoding.ToUtf8(app->loaded.window_title) + "|";
  Check(ui.events.back().rfind(dialog, 0) == 0);
  // The field shows at most 255 bytes of the code page.
  Check(system.encoding.FromUtf8(ui.events.back().substr(dialog.size())).size() <= 255);

  // The default destination comes from an argument cut to 511 bytes or a registry value
  // cut to 255, and holds no NUL.
  if (app->loaded.default_destination) {
    Check(app->loaded.default_destination->size() <= kSetupDirArgumentLimit);
    Check(app->loaded.default_destination->find('\0') == std::string::npos);
  }

  CheckStoredLines(*app, reference);
}

}  // namespace
}  // namespace setup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  setup::LoadAndCheck(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
