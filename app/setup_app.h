// SetupApp, the application object: it owns every long-lived structure of the program
// (the program directory, the macro table, the script store with its path, the current
// line number, the text filter) and runs start-up.
#ifndef SETUP_APP_SETUP_APP_H_
#define SETUP_APP_SETUP_APP_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "app/ui.h"
#include "platform/system.h"
#include "script/macro_table.h"
#include "script/message.h"
#include "script/script_store.h"

namespace setup {

class TextFilter;

// Exit status of the process.
inline constexpr int kExitFinished = 0;
inline constexpr int kExitRunFailed = 1;
inline constexpr int kExitCancelled = 2;
inline constexpr int kExitStartupFailed = 3;

inline constexpr int kLanguageJapanese = 1;
inline constexpr int kLanguageEnglish = 0;

struct SetupApp {
  SetupApp(System& system, Ui& ui);
  ~SetupApp();
  SetupApp(const SetupApp&) = delete;
  SetupApp& operator=(const SetupApp&) = delete;

  // Start-up: program directory from `first_argument` (code-page bytes, the path by
  // which the program was started), the built-in macros, the script, SetupDialog.
  // Returns the exit status.
  int Start(std::string_view first_argument);

  // Shows a formatted message in a message box (see FormatMessage).
  void ShowMessage(std::string_view format_utf8, std::initializer_list<MessageArg> args,
                   std::uint32_t style = kMbOk, std::size_t limit = kMessageLimit);

  // Defines a macro, names and values cut to 299 bytes without splitting a double-byte
  // character. False when the table is full; its message has then been shown.
  bool DefineMacro(std::string_view name, std::string_view value);

  // The text filter, made on first use and kept for the life of the program.
  TextFilter& text_filter();

  System& system;
  Ui& ui;
  std::string program_dir;
  // On POSIX a trailing slash of the program directory is removed as well.
  bool strip_trailing_slash = false;
  MacroTable macros;
  ScriptStore store;
  std::string script_path;
  int line_number = 0;
  std::string window_title;

  // Result of the pre-scan: none (nullptr) or a text inside one of the two buffers.
  const char* default_destination = nullptr;
  char destination_buffer[512] = {};
  char registry_value[256] = {};

 private:
  std::unique_ptr<TextFilter> text_filter_;
};

// Drive and directory of `first_argument` without its trailing separator (a backslash,
// or on POSIX also a slash).
std::string ProgramDirectory(System& system, std::string_view first_argument, bool strip_slash);

// The script line's message for text that does not fit the interpreter's buffers.
inline constexpr const char* kLineTooLong = "%sの%d行目が長すぎます";

// Reads Setup.Inf from the program directory into the store and pre-scans it. False
// when it cannot be read; its message has been shown.
bool LoadScript(SetupApp& app);
// The same for the script at `script_path`, which the messages name.
bool LoadScriptFile(SetupApp& app, std::string script_path);

// The run driver and the interpreter loop: 0 when the script ran to its end, 1 when a
// command ended it.
int RunSetup(SetupApp& app, const std::string& destination, int language_mode);
int RunScript(SetupApp& app, int language_mode);

}  // namespace setup

#endif  // SETUP_APP_SETUP_APP_H_
