// Start-up: the program directory, the built-in macros, the script and SetupDialog.
#include <cstring>
#include <vector>

#include "app/setup_app.h"

namespace setup {
namespace {

constexpr std::size_t kDirBufferSize = 256;

// Expands `text` with the macros known now and cuts it to 255 bytes, never inside a
// double-byte character.
std::string ExpandDefaultDestination(SetupApp& app, const char* text) {
  std::vector<char> out(std::strlen(text) * MacroTable::kFieldSize + 1);
  app.macros.Expand(text, out.data(), out.size());
  return std::string(CutText(app.system, out.data(), kDirBufferSize - 1));
}

}  // namespace

std::string ProgramDirectory(System& system, std::string_view path, bool strip_slash) {
  std::string_view drive;
  if (path.size() >= 2 && path[1] == ':') {
    drive = path.substr(0, 2);
    path.remove_prefix(2);
  }
  // The directory runs to the last separator, found character by character so that the
  // second byte of a double-byte character is never taken for one.
  std::size_t dir_end = 0;
  for (std::size_t i = 0; i < path.size();) {
    if (system.IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      i += 2;
      continue;
    }
    if (path[i] == '\\' || path[i] == '/') dir_end = i + 1;
    ++i;
  }
  std::string_view dir = path.substr(0, dir_end);
  if (!dir.empty() && (dir.back() == '\\' || (strip_slash && dir.back() == '/'))) {
    dir.remove_suffix(1);
  }
  return std::string(drive) + std::string(dir);
}

int SetupApp::Start(std::string_view first_argument) {
  macros.Clear();
  std::string dir;
  if (!system.WindowsDirectory(&dir)) {
    ShowMessage("Install Windows System in the destination than it is'nt installed", {});
    return kExitStartupFailed;
  }
  DefineMacro("$$WINDOWS$$", dir);
  if (!system.SystemDirectory(&dir)) {
    ShowMessage("Install Windows System in the destination than it is'nt installed", {});
    return kExitStartupFailed;
  }
  DefineMacro("$$SYSTEM$$", dir);
  program_dir = ProgramDirectory(system, first_argument, strip_trailing_slash);
  DefineMacro("$$FD$$", program_dir);
  window_title = "Setup";
  if (!LoadScript(*this)) return kExitStartupFailed;

  std::string destination = ExpandDefaultDestination(*this, default_destination ? default_destination : "C:\\");
  int status = kExitCancelled;
  ui.ShowSetupDialog(system.ToUtf8(window_title), system.ToUtf8(destination),
                     [&](const std::string& typed) {
                       status = RunSetup(*this, system.FromUtf8(typed), kLanguageJapanese) == 0
                                    ? kExitFinished
                                    : kExitRunFailed;
                     });
  return status;
}

}  // namespace setup
