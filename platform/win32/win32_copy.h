// Setup.exe's byte copy: its own loop from the source into a temporary file beside the
// destination, which is renamed onto the destination only when complete.
#ifndef SETUP_PLATFORM_WIN32_WIN32_COPY_H_
#define SETUP_PLATFORM_WIN32_WIN32_COPY_H_

#include <cstddef>
#include <memory>
#include <string>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/temp_files.h"

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
// Ctrl-C or Ctrl-Break stops it between two pieces. Not reentrant: one copy at a time
// (PreparedCopy's may run on other threads beside it, each with its own buffer).
// A `watcher` (system.h) sees every piece of a source of at most watcher->limit() bytes
// once it is written, and `*watched` says so.
bool CopyWin32File(const std::string& source, const std::string& destination,
                   CopyWatcher* watcher = nullptr, bool* watched = nullptr);

// One such copy in two steps: Prepare writes the temporary file, complete with the
// source's time and attributes, and Commit renames it onto the destination. The steps
// may run on different threads; a copy prepared and never committed leaves nothing
// behind (Discard, or the destructor, removes its temporary file).
class PreparedCopy {
 public:
  PreparedCopy() = default;
  ~PreparedCopy();
  PreparedCopy(const PreparedCopy&) = delete;
  PreparedCopy& operator=(const PreparedCopy&) = delete;

  // Every step of CopyWin32File short of the rename, through `buffer` (kCopyChunk
  // bytes); false, with the last error of the step that failed and nothing left behind,
  // when one fails.
  bool Prepare(const std::string& source, const std::string& destination, char* buffer,
               CopyWatcher* watcher, bool* watched);
  // Renames the prepared file onto its destination and closes it, or hands its handle
  // (which shares nothing) to `*open_file` when given; false, with the rename's error
  // and the temporary file removed, when that fails or nothing was prepared.
  bool Commit(ScopedHandle* open_file = nullptr);
  void Discard();

 private:
  std::string destination_;
  std::wstring nt_destination_;  // its NtPathName, found while preparing
  std::string temp_;
  ScopedHandle file_;
  std::unique_ptr<LiveTemp> live_;
};

// The NT name of a Win32 path for a rename through a handle: \??\C:\dir\name,
// \??\UNC\server\share\name. Empty when this program builds none: a device path (\\.\),
// a name the code page does not hold both ways, or one GetFullPathNameW refuses.
std::wstring NtPathName(const std::string& path);

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_WIN32_COPY_H_
