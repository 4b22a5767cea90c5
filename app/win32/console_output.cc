#include "app/win32/console_output.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <optional>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/windows_headers.h"

namespace setup {
namespace {

bool unattended = false;
std::optional<std::wstring> unattended_log;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// `prefix` is upper case; `text` matches it in either case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    char b = prefix[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

// The next blank-separated word at or after `*pos`, double quotes grouping blanks and
// dropped; false at the end of the line.
bool NextWord(std::string_view line, std::size_t* pos, std::string* word) {
  std::size_t i = *pos;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i >= line.size()) return false;
  word->clear();
  bool quoted = false;
  for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else {
      *word += line[i];
    }
  }
  *pos = i;
  return true;
}

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

// FileStandardInfo needs no access right: Wine's handles for inherited descriptors carry
// none that GetFileInformationByHandle would need.
bool IsDirectory(HANDLE handle) {
  FILE_STANDARD_INFO info;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) == FILE_TYPE_DISK &&
         GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info) &&
         info.Directory;
}

}  // namespace

void DropForeignStandardHandles() {
  const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  bool foreign = false;
  for (int fd = 0; fd < 3; ++fd) {
    foreign = foreign || IsDirectory(GetStdHandle(ids[fd]));
    if (!foreign) continue;
    int nul = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
    if (nul >= 0) {
      _dup2(nul, fd);
      _close(nul);
    }
    SetStdHandle(ids[fd], nullptr);
  }
}

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

void DecideUnattended(std::string_view line) {
  std::size_t pos = 0;
  std::string word;
  while (NextWord(line, &pos, &word)) {
    if (word.size() == 2 && StartsWithNoCase(word, "/S")) unattended = true;
    if (StartsWithNoCase(word, "/ANSWERS=")) unattended = true;
    if (StartsWithNoCase(word, "/LOG=") && word.size() > 5) {
      unattended_log = WideFromUtf8(std::string_view(word).substr(5));
    }
  }
}

bool IsUnattended() { return unattended; }

bool WriteToLogFile(std::string_view text) {
  if (!unattended || !unattended_log) return false;
  ScopedHandle log(CreateFileW(unattended_log->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return log.is_valid() && WriteAll(log.get(), text) && log.Close();
}

void ShowToStarter(const std::wstring& caption, std::string_view text, StarterStream stream) {
  if (WriteToStarter(text, stream)) return;
  if (unattended) {
    WriteToLogFile(text);
    return;
  }
  UINT icon = stream == StarterStream::kError ? MB_ICONERROR : MB_ICONINFORMATION;
  MessageBoxW(nullptr, WideFromUtf8(text).c_str(), caption.c_str(), MB_OK | icon);
}

}  // namespace setup
