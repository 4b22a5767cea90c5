// Entry of Setup.exe: the search for libraries restricted to the system directory, the
// code page, the switches, the front end (windows, or batch with /S, /ANSWERS= or
// SETUP_UI=batch), the optional transcript, then start-up. The exit status is start-up's;
// 3 for a bad command line.
#include <fcntl.h>
#include <io.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "app/batch/batch_ui.h"
#include "app/check_command.h"
#include "app/package_start.h"
#include "app/product_run.h"
#include "app/transcript.h"
#include "app/ui_stack.h"
#include "app/win32/console_output.h"
#include "app/win32/win32_package.h"
#include "app/win32/win32_ui.h"
#include "base/scoped_file.h"
#include "cmdline/options.h"
#include "pack/package_system.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/windows_headers.h"
#include "script/startup.h"

// Last: it defines macros (_S1, _M1, ...) that collide with names in the C++ headers.
#include <mbctype.h>

namespace setup {
namespace {

// The program file's name without directory and extension: the message boxes' caption.
std::wstring ProgramName() {
  std::wstring path(1024, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return L"Setup";
  path.resize(n);
  std::size_t slash = path.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return name;
}

// An environment variable through the W function, so that a path keeps characters the
// ANSI code page cannot hold. Empty when unset.
std::wstring WideEnvironment(const wchar_t* name) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::wstring();
  std::wstring value(size, L'\0');
  DWORD n = GetEnvironmentVariableW(name, value.data(), size);
  if (n == 0 || n >= size) return std::wstring();
  value.resize(n);
  return value;
}

bool IsBatchMode() {
  const char* mode = std::getenv("SETUP_UI");
  return mode && std::strcmp(mode, "batch") == 0;
}

// The command line after the program's own name, which ends at the first blank outside
// quotes.
std::wstring CommandLineTail() {
  const wchar_t* line = GetCommandLineW();
  bool quoted = false;
  for (; *line != L'\0' && (quoted || (*line != L' ' && *line != L'\t')); ++line) {
    if (*line == L'"') quoted = !quoted;
  }
  return line;
}

// /CHECK: the findings go where the usage would, else into the /LOG file, else into a
// message box (unattended: nowhere). They are kept in memory: no scratch file is made.
int Check(System& system, Encoding& encoding, const Options& options,
          const std::string& first_argument, const std::wstring& caption) {
  std::string program_dir = ProgramDirectory(encoding, first_argument, false);
  std::string findings;
  int status = RunCheckCommand(system, encoding, encoding.FromUtf8(options.check_path), program_dir,
                               &findings);
  if (WriteToStarter(findings, StarterStream::kOutput)) return status;
  if (options.log) {
    ScopedFile log(_wfopen(WideFromUtf8(*options.log).c_str(), L"wb"));
    if (log && std::fwrite(findings.data(), 1, findings.size(), log.get()) == findings.size()) {
      return status;
    }
  }
  if (IsUnattended()) return status;
  // A clean script prints nothing; a message box needs some text.
  if (findings.empty()) findings = "The script has no errors and no warnings.\n";
  MessageBoxW(nullptr, WideFromUtf8(findings).c_str(), caption.c_str(),
              MB_OK | (status == 0 ? MB_ICONINFORMATION : MB_ICONERROR));
  return status;
}

// The batch front end with its answers (/ANSWERS=, else SETUP_ANSWERS); null, with the
// reason written to the starter, when the answers file is not a regular file that can be
// read whole within BatchUi::kAnswersLimit. Nobody watches a batch run: no message box.
std::unique_ptr<Ui> MakeBatchUi(Encoding& encoding, const Options& options,
                                const std::wstring& caption) {
  const char* variable = std::getenv("SETUP_ANSWERS");
  std::string answers = variable ? variable : "";
  if (options.answers) answers = encoding.FromUtf8(*options.answers);
  std::deque<std::string> lines;
  if (!BatchUi::ReadAnswers(answers, &lines)) {
    WriteToStarter(
        Utf8FromWide(caption) + ": cannot read the answers file " + encoding.ToUtf8(answers) + "\n",
        StarterStream::kError);
    return nullptr;
  }
  return std::make_unique<BatchUi>(std::move(lines), stderr);
}

// A failure of the transcript file, told to the starter; where there is no standard
// error or console, in a message box only when `may_wait` (a batch run, or the end of a
// run, must never wait for a person), else nowhere.
void ReportTranscriptFailure(const std::wstring& caption, const std::wstring& path, bool may_wait) {
  std::string text =
      Utf8FromWide(caption) + ": cannot write the transcript " + Utf8FromWide(path) + "\n";
  if (may_wait) {
    ShowToStarter(caption, text, StarterStream::kError);
  } else {
    WriteToStarter(text, StarterStream::kError);
  }
}

// The transcript's stream in `*out`: the file `path` names, opened into `*file`, else
// standard output in batch mode, else none. False when the file cannot be made.
bool OpenTranscript(const std::wstring& path, bool batch, ScopedFile* file, std::FILE** out) {
  *out = nullptr;
  if (!path.empty()) {
    file->reset(_wfopen(path.c_str(), L"wb"));
    if (!*file) return false;
    *out = file->get();
  } else if (batch) {
    // JSON Lines end with LF alone, on Windows too.
    _setmode(_fileno(stdout), _O_BINARY);
    *out = stdout;
  }
  // Buffered, so that each record (flushed whole) is one write: the C library leaves a
  // standard output that is not a console unbuffered, and writes it a byte at a time.
  if (*out) std::setvbuf(*out, nullptr, _IOFBF, 64 * 1024);
  return true;
}

// The run of the script, recorded when the program directory holds a product file.
int RunInstall(System& system, Encoding& encoding, UiStack& ui, const std::string& first_argument) {
  RunStart start;
  start.program_path = first_argument;
  start.program_dir = ProgramDirectory(encoding, first_argument, false);
  std::string windows;
  start.read_product = system.WindowsDirectory(&windows).ok();
  // This program itself, copied beside the application as its uninstaller.
  start.uninstaller_source = [] {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(self, n) : std::string();
  };
  return StartRun(system, encoding, ui, start);
}

// The install or the uninstall: the front end (windows, or batch), the transcript and the run.
int Install(HINSTANCE instance, System& system, Encoding& encoding, const Options& options,
            const std::string& first_argument, const std::wstring& caption,
            const std::string& caption_utf8) {
  bool batch = options.ui == FrontEndChoice::kBatch || IsBatchMode();
  std::unique_ptr<Ui> front_end = batch ? MakeBatchUi(encoding, options, caption)
                                        : std::make_unique<Win32Ui>(instance, caption);
  if (!front_end) return kExitStartupFailed;

  ScopedFile transcript_file;
  std::FILE* transcript_out = nullptr;
  std::wstring transcript_path =
      options.log ? WideFromUtf8(*options.log) : WideEnvironment(L"SETUP_TRANSCRIPT");
  if (!OpenTranscript(transcript_path, batch, &transcript_file, &transcript_out)) {
    ReportTranscriptFailure(caption, transcript_path, !batch);
    return kExitStartupFailed;
  }

  UiStack ui(*front_end, options.dest, transcript_out, caption_utf8);

  int status = options.uninstall
                   ? RunUninstall(system, encoding, ui, encoding.FromUtf8(*options.uninstall))
                   : RunInstall(system, encoding, ui, first_argument);
  if (transcript_out) std::fflush(transcript_out);
  if (transcript_path.empty()) return status;
  // The install log asked for by name: its failure is told once, after the run.
  bool log_whole = CloseTranscript(transcript_file.release(), !ui.transcript_failed());
  if (!log_whole) ReportTranscriptFailure(caption, transcript_path, false);
  return StatusAfterTranscript(status, log_whole);
}

// This program's own package and the layer that serves it as the program directory;
// all empty for a plain Setup.exe.
struct OwnPackage {
  std::unique_ptr<Win32FileSource> file;
  std::unique_ptr<pack::Package> package;
  Win32PrivateFolder private_folder;
  std::unique_ptr<pack::PackageSystem> system;
};

// Opens and checks the package in this program's file. False, with the reason shown to
// the starter, when it is damaged. A packed install takes the caption the program
// directory's Setup.exe shows, whatever the installer's file is called, so that it looks
// and records as the unpacked one does.
bool OpenOwnPackage(Win32System& win32_system, Encoding& encoding,
                    const std::string& first_argument, OwnPackage* own, std::wstring* caption,
                    std::string* caption_utf8) {
  own->file = Win32FileSource::OpenOwnFile();
  if (!own->file) return true;
  Status status = OpenCheckedPackage(*own->file, &own->package);
  if (!status.ok()) {
    ShowToStarter(
        *caption,
        *caption_utf8 + ": " + PackageFailureText(encoding.ToUtf8(first_argument), status) + "\n",
        StarterStream::kError);
    return false;
  }
  if (!own->package) return true;
  *caption = L"Setup";
  *caption_utf8 = "Setup";
  own->system = std::make_unique<pack::PackageSystem>(
      win32_system, *own->package, encoding, ProgramDirectory(encoding, first_argument, false),
      &own->private_folder);
  return true;
}

int Run(HINSTANCE instance) {
  // The C runtime's multibyte routines follow the system's ANSI code page, as the script
  // text does.
  _setmbcp(_MB_CP_ANSI);
  std::setlocale(LC_CTYPE, ".ACP");

  std::string first_argument;
  if (__argc > 0 && __argv && __argv[0]) first_argument = __argv[0];
  std::wstring caption = ProgramName();
  std::string caption_utf8 = Utf8FromWide(caption);

  DropForeignStandardHandles();
  // Before anything is shown: with /S or /ANSWERS= no message box may wait for a person,
  // not even for a line that fails to parse, nor a system error box for a drive.
  std::string line = Utf8FromWide(CommandLineTail());
  DecideUnattended(line);
  if (IsUnattended()) SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);

  Options options;
  std::string error;
  if (!ParseWindowsSwitches(line, &options, &error)) {
    ShowToStarter(caption, caption_utf8 + ": " + error + "\n\n" + WindowsUsage(),
                  StarterStream::kError);
    return kExitStartupFailed;
  }
  if (options.help) {
    ShowToStarter(caption, WindowsUsage(), StarterStream::kOutput);
    return kExitFinished;
  }
  Win32System win32_system;
  // The script's code page: the process's ANSI code page, as the C runtime's above.
  AnsiEncoding encoding;
  OwnPackage own;  // checked whole before anything is shown or written
  if (!OpenOwnPackage(win32_system, encoding, first_argument, &own, &caption, &caption_utf8)) {
    return kExitStartupFailed;
  }
  System& system = own.system ? static_cast<System&>(*own.system) : win32_system;
  if (options.check) return Check(system, encoding, options, first_argument, caption);

  return Install(instance, system, encoding, options, first_argument, caption, caption_utf8);
}

}  // namespace
}  // namespace setup

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything else: no library is loaded from this program's folder or the
  // current directory from here on.
  setup::RestrictLibrarySearch();
  return setup::Run(instance);
}
