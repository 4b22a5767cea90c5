#include "script/startup.h"

#include <cstring>
#include <vector>

#include "base/code_page_text.h"
#include "script/command_context.h"
#include "script/interpreter.h"
#include "script/loader.h"
#include "text/status_text.h"

namespace setup {
namespace {

// SetupDialog's edit field starts with at most this many bytes of the default destination.
constexpr std::size_t kDefaultDestinationLimit = 255;

// Expands `text` with the macros known now and cuts it to 255 bytes, never inside a
// double-byte character.
std::string ExpandDefaultDestination(CommandContext& run, const char* text) {
  std::vector<char> out(std::strlen(text) * MacroTable::kFieldSize + 1);
  run.macros.Expand(text, out.data(), out.size());
  return std::string(CutText(run.encoding, out.data(), kDefaultDestinationLimit));
}

// `text` (UTF-8) as a message format that shows it as it is: every '%' doubled.
std::string LiteralFormat(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// The destination typed in SetupDialog as the code page holds it, or false, with the
// message said, when the code page cannot hold it: converted back it would not be the
// same text (a character replaced by '?' or by a look-alike), and the run would write
// somewhere else than the person named.
bool DestinationInCodePage(CommandContext& run, const std::string& typed,
                           std::string* destination) {
  *destination = run.encoding.FromUtf8(typed);
  if (run.encoding.ToUtf8(*destination) == typed) return true;
  run.reporter.Show("The destination '" + LiteralFormat(typed) +
                        "' has characters that this system's code page cannot hold",
                    {});
  return false;
}

}  // namespace

std::string ProgramDirectory(const Encoding& encoding, std::string_view path, bool strip_slash) {
  std::string_view drive;
  if (path.size() >= 2 && path[1] == ':') {
    drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  std::string_view dir = path.substr(0, DirectoryLength(LeadByteOf(encoding), path));
  if (!dir.empty() && (dir.back() == '\\' || (strip_slash && dir.back() == '/'))) {
    dir.remove_suffix(1);
  }
  return std::string(drive) + std::string(dir);
}

int StartSetup(SetupRun& setup, std::string_view first_argument, const StartOptions& options) {
  CommandContext& run = setup.context;
  LoadedScript& loaded = setup.loaded;
  run.macros.Clear();
  run.script.ForgetErrors();
  std::string dir;
  Status found = run.system.WindowsDirectory(&dir);
  if (!found.ok()) {
    ShowStatus(run.reporter, FailedStep::kFindWindows, found);
    return kExitStartupFailed;
  }
  run.DefineMacro("$$WINDOWS$$", dir);
  found = run.system.SystemDirectory(&dir);
  if (!found.ok()) {
    ShowStatus(run.reporter, FailedStep::kFindWindows, found);
    return kExitStartupFailed;
  }
  run.DefineMacro("$$SYSTEM$$", dir);
  loaded.program_dir = ProgramDirectory(run.encoding, first_argument, options.strip_trailing_slash);
  run.DefineMacro("$$FD$$", loaded.program_dir);
  loaded.window_title = "Setup";
  Status script = LoadScript(setup);
  if (!script.ok()) {
    ShowStatus(run.reporter, FailedStep::kLoadScript, script);
    return kExitStartupFailed;
  }

  std::string destination = ExpandDefaultDestination(
      run, loaded.default_destination ? loaded.default_destination->c_str() : "C:\\");
  int status = kExitCancelled;
  int answer = run.ui.ShowSetupDialog(
      run.encoding.ToUtf8(loaded.window_title), run.encoding.ToUtf8(destination),
      [&](const std::string& typed) {
        std::string chosen;
        if (!DestinationInCodePage(run, typed, &chosen)) return false;
        if (options.hooks != nullptr && !options.hooks->BeforeRun(loaded, chosen)) {
          status = kExitRunFailed;
          options.hooks->AfterRun(false);
          return true;
        }
        bool finished = RunSetup(setup, chosen, LanguageMode::kJapanese);
        // A run that showed a script error and went on to the end skipped what the
        // script asked for: it did not finish as written.
        status = finished && !run.script.error_shown() ? kExitFinished : kExitRunFailed;
        if (options.hooks != nullptr) options.hooks->AfterRun(status == kExitFinished);
        return true;
      });
  // A dialog that never opened, or a batch run whose destination was refused, was not
  // cancelled by anyone.
  return answer == kIdFailed ? kExitStartupFailed : status;
}

}  // namespace setup
