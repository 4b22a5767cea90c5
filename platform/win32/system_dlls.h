// The libraries Setup.exe loads at run time. It runs elevated, often from a folder the
// user does not control (a downloads folder), where anyone may leave a library named
// like a system one. So it imports statically only KnownDLLs, which Windows always takes
// from the system directory, and every other system library it needs is loaded here,
// from the system directory alone, after the search for libraries has been restricted
// to that directory. This is the one place that takes functions from system libraries.
#ifndef SETUP_PLATFORM_WIN32_SYSTEM_DLLS_H_
#define SETUP_PLATFORM_WIN32_SYSTEM_DLLS_H_

#include <cstdint>
#include <string>

#include "platform/win32/windows_headers.h"

namespace setup {

// Takes the program's folder and the current directory out of the search for every
// library loaded later, by this program and by the system libraries it uses: only the
// system directory is searched. Called first thing, before anything may load a library.
void RestrictLibrarySearch();

// The functions of version.dll; all null when it cannot be loaded. The library is loaded
// on first use and kept until the program ends.
struct VersionFunctions {
  decltype(&::GetFileVersionInfoSizeA) get_file_version_info_size = nullptr;
  decltype(&::GetFileVersionInfoA) get_file_version_info = nullptr;
  decltype(&::VerQueryValueA) ver_query_value = nullptr;
};
const VersionFunctions& VersionLibrary();

// Registers the progress bar's window class of comctl32.dll (the version the manifest
// asks for), which stays loaded until the program ends; false when it cannot.
bool InitProgressControl();

// Loads a component named by a script for its registration. `path` is found where
// LoadLibraryA would find it (the program's folder, the system directories, the Windows
// directory, the current directory, PATH; ".dll" added to a name without extension);
// the libraries the component imports are then searched for in its own folder and the
// system directory only. Null when it cannot be loaded.
HMODULE LoadComponent(const std::string& path);

// What calling one of a component's exports came to.
enum class ExportCall {
  kCalled,     // `*hresult` holds the export's answer
  kNotLoaded,  // LoadComponent failed, `*error` holds the loader's error
  kNoExport,   // the component loaded but has no export of that name
};

// Loads the component at `path` (as LoadComponent), calls its export `name`, a function
// of no arguments answering an HRESULT (DllRegisterServer, DllUnregisterServer), and
// unloads it. The caller turns the outcome into the Status its contract names.
ExportCall CallComponentExport(const std::string& path, const char* name, std::int32_t* hresult,
                               DWORD* error);

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_SYSTEM_DLLS_H_
