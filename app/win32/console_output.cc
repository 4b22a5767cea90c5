#include "app/win32/console_output.h"

#include <algorithm>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_headers.h"

namespace setup {
namespace {

bool IsUsable(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool WriteAll(HANDLE handle, std::string_view text) {
  while (!text.empty()) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 20));
    if (!WriteFile(handle, text.data(), chunk, &written, nullptr) || written == 0) return false;
    text.remove_prefix(written);
  }
  return true;
}

}  // namespace

bool WriteToStarter(std::string_view text, StarterStream stream) {
  HANDLE standard =
      GetStdHandle(stream == StarterStream::kError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (IsUsable(standard)) {
    DWORD mode = 0;
    if (!GetConsoleMode(standard, &mode)) return WriteAll(standard, text);
    std::wstring wide = WideFromUtf8(text);
    DWORD written = 0;
    return WriteConsoleW(standard, wide.data(), static_cast<DWORD>(wide.size()), &written,
                         nullptr) != 0;
  }
  // A window program started from a console has no standard handles: borrow the console.
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  ScopedHandle console(CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
  bool written_all = false;
  if (console.is_valid()) {
    // On a new line: the prompt of the shell has already come back.
    std::wstring wide = L"\r\n" + WideFromUtf8(text);
    DWORD written = 0;
    written_all = WriteConsoleW(console.get(), wide.data(), static_cast<DWORD>(wide.size()),
                                &written, nullptr) != 0;
  }
  FreeConsole();
  return written_all;
}

void ShowToStarter(const std::wstring& caption, std::string_view text, StarterStream stream) {
  if (WriteToStarter(text, stream)) return;
  UINT icon = stream == StarterStream::kError ? MB_ICONERROR : MB_ICONINFORMATION;
  MessageBoxW(nullptr, WideFromUtf8(text).c_str(), caption.c_str(), MB_OK | icon);
}

std::FILE* OpenScratchFile() {
  wchar_t dir[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0 || n > MAX_PATH) return nullptr;
  if (GetTempFileNameW(dir, L"stp", 0, name) == 0) return nullptr;
  // "D": the C runtime deletes the file when it is closed.
  return _wfopen(name, L"w+bD");
}

std::string ReadScratchFile(std::FILE* file) {
  std::string text;
  std::fflush(file);
  std::rewind(file);
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

}  // namespace setup
