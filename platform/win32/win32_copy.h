// Setup.exe's byte copy: its own loop from the source into a temporary file beside the
// destination, which is renamed onto the destination only when complete.
#ifndef SETUP_PLATFORM_WIN32_WIN32_COPY_H_
#define SETUP_PLATFORM_WIN32_WIN32_COPY_H_

#include <cstddef>
#include <string>

namespace setup {

class CopyWatcher;

// The piece the copy reads and writes at a time: few system calls for a large file, a
// console close seen between two pieces, and a buffer that stays in the processor's cache
// (under Wine a 1 MiB piece cost half as much CPU again as 256 KiB).
constexpr std::size_t kCopyChunk = std::size_t{1} << 18;

// Copies `source` over `destination` through a fresh temporary file beside it, so that a
// failed or interrupted copy leaves the old destination as it was and no temporary file.
// The copy gets the source's bytes, modification time and attributes (read-only, hidden,
// system, archive), as CopyFileA gives them, set once on the finished file, which is then
// renamed onto the destination through its own handle. Refuses what MayReplace
// (win32_files.h) refuses, and a file copied onto itself (ERROR_SHARING_VIOLATION, as
// CopyFileA). Removes the folder's leftovers first (temp_files.h). A console close,
// Ctrl-C or Ctrl-Break stops it between two pieces. Not reentrant: one copy at a time.
// A `watcher` (system.h) sees every piece of a source of at most watcher->limit() bytes
// once it is written, and `*watched` says so.
bool CopyWin32File(const std::string& source, const std::string& destination,
                   CopyWatcher* watcher = nullptr, bool* watched = nullptr);

// The NT name of a Win32 path for a rename through a handle: \??\C:\dir\name,
// \??\UNC\server\share\name. Empty when this program builds none: a device path (\\.\),
// a name the code page does not hold both ways, or one GetFullPathNameW refuses.
std::wstring NtPathName(const std::string& path);

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_WIN32_COPY_H_
