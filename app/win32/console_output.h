// Text for the person who started Setup.exe (the usage, a command-line error, the
// checker's findings): on the standard handle its parent gave it (a pipe, a file, the
// terminal Wine runs in), else on the console it was started from, else in a message box.
#ifndef SETUP_APP_WIN32_CONSOLE_OUTPUT_H_
#define SETUP_APP_WIN32_CONSOLE_OUTPUT_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace setup {

enum class StarterStream { kOutput, kError };

// Writes `text` (UTF-8) to the parent's standard handle or console; false when there is
// neither.
bool WriteToStarter(std::string_view text, StarterStream stream);

// WriteToStarter, or when there is nowhere to write, a message box with `caption`.
void ShowToStarter(const std::wstring& caption, std::string_view text, StarterStream stream);

// A temporary file that deletes itself when closed, for text to be shown afterwards.
// Null when none can be made.
std::FILE* OpenScratchFile();

// Everything written to `file` so far.
std::string ReadScratchFile(std::FILE* file);

}  // namespace setup

#endif  // SETUP_APP_WIN32_CONSOLE_OUTPUT_H_
