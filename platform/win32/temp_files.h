// The temporary files this program writes beside a destination before renaming them onto
// it: their names, the ones being written now (removed on a console close, Ctrl-C,
// Ctrl-Break or log-off), and the leftovers of earlier runs.
#ifndef SETUP_PLATFORM_WIN32_TEMP_FILES_H_
#define SETUP_PLATFORM_WIN32_TEMP_FILES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32/scoped_handle.h"
#include "platform/win32/windows_headers.h"

namespace setup {

// Attempts at a fresh temporary name before giving up.
constexpr int kTempNameAttempts = 64;

// "~stpXXXXXXXX.tmp": `number` as eight upper-case hex digits.
std::string TempFileName(std::uint32_t number);

// The number for attempt `attempt` at a fresh name: spread from the time and the process,
// so that two runs seldom try the same names.
std::uint32_t TempNameNumber(std::uint32_t seed, int attempt);
std::uint32_t TempNameSeed();

// True for exactly the names TempFileName makes: "~stp", eight hex digits (either case),
// ".tmp". Only such names are removed as leftovers.
bool IsTempFileName(std::string_view name);

// Removes the leftovers of this program's temporary-file pattern in the folder that
// `prefix` (DirectoryPrefix of a destination) names, once per folder per run. Best effort:
// a temporary file another running Setup.exe still has open cannot be deleted (they are
// opened without FILE_SHARE_DELETE) and is left alone.
void RemoveLeftoverTemps(const std::string& prefix);

// Creates a fresh temporary file in the folder `prefix` (DirectoryPrefix of a destination)
// names, trying kTempNameAttempts names; its name goes to `path`. The handle has write and
// DELETE access (so that a console close can mark the file for deletion) and shares
// nothing (so that no other run deletes it while it is written). Invalid, with the
// error of the last attempt, when none could be created.
ScopedHandle CreateTempFile(const std::string& prefix, std::string* path);

// Deletes the temporary file `path`, read-only or not; best effort.
void DeleteTempFile(const std::string& path);

// True once a console close, Ctrl-C, Ctrl-Break or log-off has begun to end the program:
// no temporary file is renamed onto a destination from then on.
bool TempStopRequested();

// A temporary file being written, known to the console control handler while this object
// lives, which removes the file on such an event. `handle`, when given, must have DELETE
// access: the handler marks it for deletion, effective when it is closed (at the latest
// when the process ends). `cancel`, when given, is the pbCancel flag of CopyFileExA writing
// the file; the handler sets it and waits a little for the copy to return.
class LiveTemp {
 public:
  LiveTemp(std::string path, HANDLE handle, BOOL* cancel);
  ~LiveTemp();
  LiveTemp(const LiveTemp&) = delete;
  LiveTemp& operator=(const LiveTemp&) = delete;

  // Before the handle is closed: the handler then deletes the file by name instead.
  void ForgetHandle();

  // Renames the file through its handle onto `nt_destination`, an NT name such as
  // \??\C:\dir\name, replacing a file there, unless a console event has begun to end
  // the program. Checked and done under a lock the handler takes exclusively, so that it never
  // deletes a file that has become the destination. False when stopped or when the rename
  // fails, the file then left where it was.
  bool RenameOnto(const std::wstring& nt_destination);
  const std::string& path() const { return path_; }

 private:
  friend struct LiveTempAccess;
  std::string path_;
  HANDLE handle_;
  BOOL* cancel_;
  LiveTemp* next_ = nullptr;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_TEMP_FILES_H_
