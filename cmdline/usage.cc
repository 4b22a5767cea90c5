// The help texts of both programs and the version line. docs/manual.md describes the
// same options; keep the two in step.
#include <string>

#include "cmdline/options.h"
#include "setup_version.h"

namespace setup {

const char* NativeUsage() {
  return "Usage: setup [OPTION]... [DIR]\n"
         "  or:  setup [OPTION]... FILE.exe\n"
         "  or:  setup --check [PATH]\n"
         "  or:  setup --pack DIR -o FILE.exe [--win64] [--loader=FILE]\n"
         "Runs Setup.Inf from the program directory DIR, installing into a Wine prefix.\n"
         "An installer FILE.exe made by --pack is its own program directory.\n"
         "Without DIR, the program directory is the directory of the path the program was\n"
         "started by (a link to it placed in a program directory names that directory);\n"
         "started through PATH, the current directory when it holds Setup.Inf. At a\n"
         "terminal it asks for the destination first; otherwise it takes the default\n"
         "answers and writes a JSON Lines transcript to standard output.\n"
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
         "                       file; default: the program directory); runs nothing\n"
         "  --uninstall=ID       remove the product ID as its install record holds it\n"
         "  --pack DIR           check DIR's script, then pack DIR into one installer:\n"
         "                       Setup.exe with the files inside, written to -o FILE\n"
         "  -o, --output=FILE    the installer --pack writes\n"
         "  --win64              --pack takes the 64-bit Setup.exe\n"
         "  --loader=FILE        --pack takes this stripped Setup.exe\n"
         "  -h, --help           show this help and exit\n"
         "  --version            show the version and exit\n"
         "\n"
         "Options win over the environment variables SETUP_UI, SETUP_ANSWERS,\n"
         "SETUP_TRANSCRIPT and WINEPREFIX. NO_COLOR turns colour off.\n"
         "Exit status: 0 the script ran to its end without a script error, 1 a command\n"
         "ended the run or the run showed a script error, 2 cancelled at the destination\n"
         "or at an uninstall's question, 3 start-up failed or the command line is wrong,\n"
         "4 the run finished but the log named by --log could not be written whole.\n"
         "Full documentation: man setup, and " SETUP_DOC_DIR "/manual.md.\n";
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
         "  /UNINSTALL=ID  remove the product ID as its install record holds it\n"
         "  /?, /H, /HELP  show this help\n"
         "\n"
         "Switches are case-insensitive and win over the environment variables\n"
         "SETUP_UI, SETUP_ANSWERS and SETUP_TRANSCRIPT.\n"
         "Exit status: 0 the script ran to its end, 1 a command ended the run,\n"
         "2 cancelled, 3 start-up failed or the command line is wrong, 4 the run\n"
         "finished but the log named by /LOG could not be written whole, 3010 an\n"
         "uninstall left a file in use to be deleted at the next restart.\n";
}

std::string VersionText(std::string_view program) {
  return std::string(program) + " " SETUP_VERSION_STRING "\n" SETUP_COPYRIGHT "\n";
}

}  // namespace setup
