// Text for the person who started Setup.exe (the usage, a command-line error, the
// checker's findings): on the standard handle its parent gave it (a pipe, a file, the
// terminal Wine runs in), else on the console it was started from, else in a message box;
// unattended (/S, /ANSWERS=), never in a message box: in the /LOG= file, else nowhere.
#ifndef SETUP_APP_WIN32_CONSOLE_OUTPUT_H_
#define SETUP_APP_WIN32_CONSOLE_OUTPUT_H_

#include <string>
#include <string_view>

namespace setup {

enum class StarterStream { kOutput, kError };

// Under Wine, a program started with its standard descriptors closed finds Wine's own
// descriptors in their place (its current directory first, then its server connection),
// and a write to them wedges Wine. A standard handle that is a directory marks the first
// of them: it and the ones after it become none, and the C runtime's descriptors NUL.
// Called first thing, before anything is read or written.
void DropForeignStandardHandles();

// Writes `text` (UTF-8) to the parent's standard handle or console; false when there is
// neither.
bool WriteToStarter(std::string_view text, StarterStream stream);

// Looks for /S and /ANSWERS= among the words of `line` (the command line after the program
// name, UTF-8, words as the switch parser splits them) and for the last /LOG= value, on
// their own, so that a line that fails to parse is unattended all the same. Called once,
// before anything is shown.
void DecideUnattended(std::string_view line);

// True when DecideUnattended found /S or /ANSWERS=: nobody may be asked to press a button.
bool IsUnattended();

// Unattended: writes `text` to the /LOG= file (replacing it); false without one or when
// that fails.
bool WriteToLogFile(std::string_view text);

// WriteToStarter; when there is nowhere to write, a message box with `caption`, or
// unattended the /LOG= file, else nothing.
void ShowToStarter(const std::wstring& caption, std::string_view text, StarterStream stream);

}  // namespace setup

#endif  // SETUP_APP_WIN32_CONSOLE_OUTPUT_H_
