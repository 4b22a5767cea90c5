// Entry of Setup.exe: the code page, the front end (windows, or batch with SETUP_UI=batch),
// the optional transcript, then start-up. The exit status is start-up's.
#include <fcntl.h>
#include <io.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/batch/batch_ui.h"
#include "app/setup_app.h"
#include "app/transcript.h"
#include "app/win32/win32_ui.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/windows_headers.h"

// Last: it defines macros (_S1, _M1, ...) that collide with names in the C++ headers.
#include <mbctype.h>

namespace setup {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<std::FILE, FileCloser>;

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

int Run(HINSTANCE instance) {
  // The C runtime's multibyte routines follow the system's ANSI code page, as the script
  // text does.
  _setmbcp(_MB_CP_ANSI);
  std::setlocale(LC_CTYPE, ".ACP");

  std::string first_argument;
  if (__argc > 0 && __argv && __argv[0]) first_argument = __argv[0];
  std::wstring caption = ProgramName();
  bool batch = IsBatchMode();

  std::unique_ptr<Ui> front_end;
  if (batch) {
    front_end = std::make_unique<BatchUi>(BatchUi::ReadAnswers(std::getenv("SETUP_ANSWERS")),
                                          stderr);
  } else {
    front_end = std::make_unique<Win32Ui>(instance, caption);
  }

  ScopedFile transcript_file;
  std::FILE* transcript_out = nullptr;
  std::wstring transcript_path = WideEnvironment(L"SETUP_TRANSCRIPT");
  if (!transcript_path.empty()) {
    transcript_file.reset(_wfopen(transcript_path.c_str(), L"wb"));
    if (!transcript_file) {
      std::fprintf(stderr, "setup: cannot write the transcript %s\n",
                   Utf8FromWide(transcript_path).c_str());
    }
    transcript_out = transcript_file.get();
  } else if (batch) {
    // JSON Lines end with LF alone, on Windows too.
    _setmode(_fileno(stdout), _O_BINARY);
    transcript_out = stdout;
  }
  // Buffered, so that each record (flushed whole) is one write: the C library leaves a
  // standard output that is not a console unbuffered, and writes it a byte at a time.
  if (transcript_out) std::setvbuf(transcript_out, nullptr, _IOFBF, 64 * 1024);

  std::unique_ptr<TranscriptUi> transcript;
  Ui* ui = front_end.get();
  if (transcript_out) {
    transcript = std::make_unique<TranscriptUi>(*front_end, transcript_out, Utf8FromWide(caption));
    ui = transcript.get();
  }

  Win32System system;
  SetupApp app(system, *ui);
  int status = app.Start(first_argument);
  if (transcript_out) std::fflush(transcript_out);
  return status;
}

}  // namespace
}  // namespace setup

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return setup::Run(instance); }
