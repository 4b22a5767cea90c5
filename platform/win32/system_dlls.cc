#include "platform/win32/system_dlls.h"

#include <commctrl.h>

#include <vector>

#include "base/code_page_text.h"
#include "platform/win32/scoped_handle.h"

namespace setup {
namespace {

// A function of `module` as the type it has; null when the module or the name is absent.
template <typename Function>
Function FindFunction(HMODULE module, const char* name) {
  FARPROC found = module ? GetProcAddress(module, name) : nullptr;
  // Through the generic function pointer type, which converts to any other.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

std::wstring SystemDirectoryWide() {
  std::wstring dir(MAX_PATH, L'\0');
  UINT n = GetSystemDirectoryW(dir.data(), static_cast<UINT>(dir.size()));
  if (n >= dir.size()) {
    dir.resize(n);
    n = GetSystemDirectoryW(dir.data(), static_cast<UINT>(dir.size()));
  }
  dir.resize(n < dir.size() ? n : 0);
  return dir;
}

// A system library from the system directory alone. A system without the
// LOAD_LIBRARY_SEARCH_ flags (Windows 7 before KB2533623) refuses them as an invalid
// parameter: it gets the library's full path, and the libraries that one imports are
// searched for beside it first.
HMODULE LoadSystemLibrary(const wchar_t* name) {
  HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  std::wstring path = SystemDirectoryWide();
  if (path.empty()) return nullptr;
  path += L'\\';
  path += name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The text a query of the form `query(buffer, size)` leaves, which answers its length
// (or the size it needs); empty on failure.
template <typename Query>
std::string AnsiText(Query query) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD n = query(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(static_cast<std::size_t>(n) + 1);
  }
  return std::string();
}

// The directories LoadLibraryA searches for a library named without a full path, in
// its order, as a list for SearchPathA.
std::string LibrarySearchList() {
  std::vector<char> module(32768);
  DWORD n = GetModuleFileNameA(nullptr, module.data(), static_cast<DWORD>(module.size()));
  std::string program(module.data(), n < module.size() ? n : 0);
  // The program's directory without its last separator, never cut at the second byte
  // of a double-byte character.
  auto is_lead_byte = [](unsigned char c) { return IsDBCSLeadByte(c) != FALSE; };
  std::size_t dir = DirectoryLength(is_lead_byte, program);
  program.resize(dir == 0 ? 0 : dir - 1);
  std::string system = AnsiText([](char* b, DWORD s) { return GetSystemDirectoryA(b, s); });
  std::string windows = AnsiText([](char* b, DWORD s) { return GetWindowsDirectoryA(b, s); });
  std::string path =
      AnsiText([](char* b, DWORD s) { return GetEnvironmentVariableA("PATH", b, s); });
  std::string list = program + ";" + system + ";" + windows + "\\system;" + windows + ";.";
  if (!path.empty()) list += ";" + path;
  return list;
}

}  // namespace

void RestrictLibrarySearch() {
  SetDllDirectoryW(L"");
  // Present from Windows 8 on, and in Windows 7 with KB2533623.
  using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
  auto set_default = FindFunction<SetDefaultDirectories>(GetModuleHandleW(L"kernel32.dll"),
                                                         "SetDefaultDllDirectories");
  if (set_default) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

const VersionFunctions& VersionLibrary() {
  static const ScopedLibrary library(LoadSystemLibrary(L"version.dll"));
  static const VersionFunctions functions = [] {
    VersionFunctions found;
    HMODULE module = library.get();
    found.get_file_version_info_size =
        FindFunction<decltype(found.get_file_version_info_size)>(module, "GetFileVersionInfoSizeA");
    found.get_file_version_info =
        FindFunction<decltype(found.get_file_version_info)>(module, "GetFileVersionInfoA");
    found.ver_query_value = FindFunction<decltype(found.ver_query_value)>(module, "VerQueryValueA");
    if (!found.get_file_version_info_size || !found.get_file_version_info ||
        !found.ver_query_value) {
      found = VersionFunctions();
    }
    return found;
  }();
  return functions;
}

bool InitProgressControl() {
  // By name: the activation context of the manifest maps it to Common Controls 6.
  static const ScopedLibrary library(LoadSystemLibrary(L"comctl32.dll"));
  auto init =
      FindFunction<decltype(&::InitCommonControlsEx)>(library.get(), "InitCommonControlsEx");
  if (!init) return false;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  return init(&controls) != FALSE;
}

HMODULE LoadComponent(const std::string& path) {
  std::string list = LibrarySearchList();
  std::string full = AnsiText([&](char* b, DWORD s) {
    return SearchPathA(list.c_str(), path.c_str(), ".dll", s, b, nullptr);
  });
  if (full.empty()) return nullptr;
  HMODULE module = LoadLibraryExA(full.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  return LoadLibraryExA(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

ExportCall CallComponentExport(const std::string& path, const char* name, std::int32_t* hresult,
                               DWORD* error) {
  ScopedLibrary library(LoadComponent(path));
  if (!library.get()) {
    *error = GetLastError();
    return ExportCall::kNotLoaded;
  }
  using ServerEntry = HRESULT(STDAPICALLTYPE*)();
  auto entry = FindFunction<ServerEntry>(library.get(), name);
  if (!entry) return ExportCall::kNoExport;
  *hresult = static_cast<std::int32_t>(entry());
  return ExportCall::kCalled;
}

}  // namespace setup
