#include "script/startup.h"

#include <cstring>
#include <vector>

#include "base/code_page_text.h"
#include "script/interpreter.h"
#include "script/loader.h"
#include "script/run_state.h"

namespace setup {
namespace {

// SetupDialog's edit field starts with at most this many bytes of the default destination.
constexpr std::size_t kDefaultDestinationLimit = 255;

// Expands `text` with the macros known now and cuts it to 255 bytes, never inside a
// double-byte character.
std::string ExpandDefaultDestination(RunState& run, const char* text) {
  std::vector<char> out(std::strlen(text) * MacroTable::kFieldSize + 1);
  run.macros.Expand(text, out.data(), out.size());
  return std::string(CutText(run.system, out.data(), kDefaultDestinationLimit));
}

}  // namespace

std::string ProgramDirectory(System& system, std::string_view path, bool strip_slash) {
  std::string_view drive;
  if (path.size() >= 2 && path[1] == ':') {
    drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  std::string_view dir = path.substr(0, DirectoryLength(SystemLeadByte(system), path));
  if (!dir.empty() && (dir.back() == '\\' || (strip_slash && dir.back() == '/'))) {
    dir.remove_suffix(1);
  }
  return std::string(drive) + std::string(dir);
}

int StartSetup(RunState& run, std::string_view first_argument) {
  run.macros.Clear();
  std::string dir;
  if (!run.system.WindowsDirectory(&dir)) {
    run.reporter.Show("Install Windows System in the destination than it is'nt installed", {});
    return kExitStartupFailed;
  }
  run.DefineMacro("$$WINDOWS$$", dir);
  if (!run.system.SystemDirectory(&dir)) {
    run.reporter.Show("Install Windows System in the destination than it is'nt installed", {});
    return kExitStartupFailed;
  }
  run.DefineMacro("$$SYSTEM$$", dir);
  run.program_dir = ProgramDirectory(run.system, first_argument, run.strip_trailing_slash);
  run.DefineMacro("$$FD$$", run.program_dir);
  run.window_title = "Setup";
  if (!LoadScript(run)) return kExitStartupFailed;

  std::string destination = ExpandDefaultDestination(
      run, run.default_destination ? run.default_destination->c_str() : "C:\\");
  int status = kExitCancelled;
  int answer = run.ui.ShowSetupDialog(
      run.system.ToUtf8(run.window_title), run.system.ToUtf8(destination),
      [&](const std::string& typed) {
        status = RunSetup(run, run.system.FromUtf8(typed), LanguageMode::kJapanese)
                     ? kExitFinished
                     : kExitRunFailed;
      });
  // A dialog that never opened was not cancelled by anyone.
  return answer == kIdFailed ? kExitStartupFailed : status;
}

}  // namespace setup
