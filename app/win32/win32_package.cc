#include "app/win32/win32_package.h"

#include <string>
#include <vector>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_headers.h"

// After windows.h, which it needs.
#include <sddl.h>

namespace setup {
namespace {

// A number in decimal digits, as std::to_wstring writes it, but without the wide printf
// that std::to_wstring brings into the loader.
std::wstring WideDecimal(unsigned long n) {
  std::string digits = std::to_string(n);
  return std::wstring(digits.begin(), digits.end());
}

// "D:P(A;OICI;FA;;;<the user's SID>)": a protected list that grants the user all access,
// inherited by what is made inside, and nothing to anybody else.
std::wstring UserOnlyDescriptor() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return std::wstring();
  ScopedHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
    return std::wstring();
  }
  wchar_t* sid = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
    return std::wstring();
  }
  std::wstring descriptor = std::wstring(L"D:P(A;OICI;FA;;;") + sid + L")";
  LocalFree(sid);
  return descriptor;
}

}  // namespace

std::unique_ptr<Win32FileSource> Win32FileSource::OpenOwnFile() {
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return nullptr;
  path.resize(n);
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size;
  if (!file.is_valid() || !GetFileSizeEx(file.get(), &size)) return nullptr;
  return std::unique_ptr<Win32FileSource>(
      new Win32FileSource(std::move(file), static_cast<std::uint64_t>(size.QuadPart)));
}

bool Win32FileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  auto* p = static_cast<char*>(buffer);
  while (size > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xffffffff);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD got = 0;
    if (!ReadFile(file_.get(), p, want, &got, &at) || got == 0) return false;
    p += got;
    offset += got;
    size -= got;
  }
  return true;
}

bool Win32PrivateFolder::Create(std::string* path) {
  wchar_t temp[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  std::wstring descriptor = UserOnlyDescriptor();
  if (n == 0 || n > MAX_PATH || descriptor.empty()) return false;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor.c_str(), SDDL_REVISION_1,
                                                            &sd, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
  bool made = false;
  for (unsigned attempt = 0; attempt < 100 && !made; ++attempt) {
    std::wstring folder = std::wstring(temp) + L"setup-" + WideDecimal(GetCurrentProcessId()) +
                          L"-" + WideDecimal(GetTickCount() + attempt);
    if (CreateDirectoryW(folder.c_str(), &attributes)) {
      *path = AnsiFromWide(folder);
      made = WideFromAnsi(*path) == folder;  // a path the code page cannot hold is no use
      if (!made) RemoveDirectoryW(folder.c_str());
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  LocalFree(sd);
  return made;
}

void Win32PrivateFolder::Remove(const std::string& path) {
  std::wstring folder = WideFromAnsi(path);
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") DeleteFileW((folder + L"\\" + name).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace setup
