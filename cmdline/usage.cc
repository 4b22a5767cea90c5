// The help texts of both programs and the version line. docs/manual.md describes the
// same options; keep the two in step.
#include <string>

#include "cmdline/options.h"
#include "setup_version.h"

namespace setup {

const char* NativeUsage() {
  return "Usage: setup [OPTION]...\n"
         "       setup --check [PATH]\n"
         "Runs Setup.Inf from the directory the program was started from, installing into\n"
         "a Wine prefix. At a terminal it asks for the destination first; otherwise it\n"
         "takes the default answers and writes a JSON Lines transcript to standard output.\n"
         "\n"
         "  --silent             install without asking: batch front end, default answers\n"
         "  --dest=DIR           the destination, as if typed at the prompt: a Windows path\n"
         "                       such as C:\\App, or a POSIX path\n"
         "  --answers=FILE       answer the dialogs from FILE, one line each (batch)\n"
         "  --log=FILE           write the JSON Lines transcript to FILE ('-': standard\n"
         "                       output)\n"
         "  --prefix=DIR         the Wine prefix (default: $WINEPREFIX, else ~/.wine)\n"
         "  --ui=terminal|batch  the front end (default: terminal when standard input and\n"
         "                       output are terminals, else batch)\n"
         "  --check [PATH]       check the script in PATH (a program directory or a script\n"
         "                       file; default: the program's own directory); runs nothing\n"
         "  -h, --help           show this help and exit\n"
         "  --version            show the version and exit\n"
         "\n"
         "Options win over the environment variables SETUP_UI, SETUP_ANSWERS,\n"
         "SETUP_TRANSCRIPT and WINEPREFIX. NO_COLOR turns colour off.\n"
         "Exit status: 0 the script ran to its end, 1 a command ended the run,\n"
         "2 cancelled at the destination, 3 start-up failed or the command line is wrong.\n"
         "The user's manual is docs/manual.md.\n";
}

const char* WindowsUsage() {
  return "Usage: Setup.exe [/S] [/LOG=file] [/ANSWERS=file] [/D=path]\n"
         "       Setup.exe /CHECK [path]\n"
         "\n"
         "  /S             install without asking, with the default answers\n"
         "  /D=path        the destination, as if typed in the dialog; last on the\n"
         "                 line, may hold blanks\n"
         "  /LOG=file      write the JSON Lines transcript (the install log) to file\n"
         "  /ANSWERS=file  answer the dialogs from file, one line each; no windows\n"
         "  /CHECK [path]  check the script in path (a program directory or a script\n"
         "                 file; default: the program's own directory); runs nothing\n"
         "  /?, /H, /HELP  show this help\n"
         "\n"
         "Switches are case-insensitive and win over the environment variables\n"
         "SETUP_UI, SETUP_ANSWERS and SETUP_TRANSCRIPT.\n"
         "Exit status: 0 the script ran to its end, 1 a command ended the run,\n"
         "2 cancelled, 3 start-up failed or the command line is wrong.\n";
}

std::string VersionText(std::string_view program) {
  return std::string(program) + " " SETUP_VERSION_STRING "\n";
}

}  // namespace setup
