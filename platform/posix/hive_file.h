// Writing a change into a Wine prefix's hive file without losing the registry.
//
// While a Wine server runs for a prefix it holds the whole registry in memory and writes
// it over the hive files when it saves, so a change made to the file meanwhile would be
// lost. The server holds an fcntl write lock on the file "lock" in its directory while
// it runs: /tmp/.wine-<uid>/server-<dev>-<inode>/ (the prefix's device and inode in hex),
// or, where Debian's Wine keeps it, /tmp/<name>/server-<dev>-<inode>/ with <name> read
// from the prefix's file "wineserver". A server that starts while another process holds
// that lock gives up and its client tries again, so the lock is also what keeps a server
// from starting while the file is rewritten.
//
// So: when the lock can be taken, the file is read, changed by ApplyHiveEdits, written
// to a temporary file beside it (the file's mode kept) and renamed over it, and the lock
// let go. When a server holds it, the changes go through Wine's own tool in that prefix,
// which the server applies and saves itself: `wine reg import FILE /reg:64` (the file
// written into the prefix's C:\windows\temp) for keys and values, `wine reg delete KEY
// /f /reg:64` for each key deleted, which the import does not do.
#ifndef SETUP_PLATFORM_POSIX_HIVE_FILE_H_
#define SETUP_PLATFORM_POSIX_HIVE_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "platform/posix/reg_hive_edit.h"

namespace setup {

// The locks of the server directories of one prefix, taken for as long as this lives.
class WineServerLock {
 public:
  explicit WineServerLock(const std::string& prefix);
  ~WineServerLock();
  WineServerLock(const WineServerLock&) = delete;
  WineServerLock& operator=(const WineServerLock&) = delete;

  // True when a server holds a lock (or a lock file is there and cannot be opened, which
  // is taken as a server running: the careful answer).
  bool server_running() const { return server_running_; }

 private:
  std::vector<int> fds_;
  bool server_running_ = false;
};

// The server directories a prefix may have, whether or not they exist.
std::vector<std::string> WineServerDirectories(const std::string& prefix);

// The time now in 100-ns ticks since 1601, as the hive files stamp their keys.
std::uint64_t FileTimeNow();

// Applies `edits` in order (ApplyHiveEdits) to `<prefix>/<file>` (file: "system.reg" for
// HKEY_LOCAL_MACHINE, "user.reg" for HKEY_CURRENT_USER; `root` names that root for Wine's
// tool: "HKLM", "HKCU"), in one rewrite of the file or one run of Wine's tool. kNotFound
// when the hive file is missing, kCorrupt when it is not a hive, the tool's failure as
// kFailed with its exit status in os_error, kUnsupported when it cannot be started.
Status WriteHiveChanges(const std::string& prefix, const std::string& file, const std::string& root,
                        const std::vector<HiveEdit>& edits);

// The key `names` under `root` as the Wine server running for the prefix holds it, with
// its values and the keys beneath it, as hive text (`wine reg export KEY FILE /y /reg:64`
// turned by RegExportToHiveText): what a server has changed it saves to the hive file
// only some 30 s later. An empty text when no server runs; kNotFound when the server has
// no such key, and only then: Wine that cannot be started (kUnsupported) or fails
// otherwise (kFailed, its exit status in os_error), an export that cannot be read
// (kReadError) or is no registration file (kCorrupt) are failures of their own.
Status ExportFromServer(const std::string& prefix, const std::string& root,
                        const std::vector<std::u16string>& names, std::string* hive_text);

// The text of a file `reg export` wrote (already UTF-8) as hive text for ParseRegHive:
// Wine's header in place of regedit's, each "[ROOT\A\B]" as "[A\\B]" (the path from the
// root, its backslashes escaped); the values, written alike in both, as they are. Empty
// when the text is not such a file.
std::string RegExportToHiveText(std::string_view exported);

// The registration file (as `reg import` reads it, before its byte-order mark) that makes
// `edits` under `root`: sections "[KEY]" making a key, with "name"=hex(1|2):... strings,
// dword: numbers and "name"=- deletions, and "[-KEY]" for a key deleted (which Wine's
// import ignores: those go through `wine reg delete` instead).
std::u16string RegImportText(const std::string& root, const std::vector<HiveEdit>& edits);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_HIVE_FILE_H_
