#include "platform/win32/temp_files.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

namespace setup {

// The registry of live temporary files: an intrusive list, so that the console control
// handler, which runs on a thread of its own, walks it under the lock without allocating.
struct LiveTempAccess {
  static LiveTemp*& head() {
    static LiveTemp* list = nullptr;
    return list;
  }
  static LiveTemp*& next(LiveTemp* temp) { return temp->next_; }
  static HANDLE& handle(LiveTemp* temp) { return temp->handle_; }
  static BOOL* cancel(LiveTemp* temp) { return temp->cancel_; }
};

namespace {

// How long the handler waits for a copy it cancelled to return and remove its file: less
// than the five seconds Windows grants a console close before it ends the process anyway.
constexpr DWORD kStopWaitMs = 4000;
constexpr DWORD kStopPollMs = 20;

SRWLOCK registry_lock = SRWLOCK_INIT;
// Held shared by each rename through a handle, and exclusively by the console handler
// while it removes the live files, so that it never removes one that has become a
// destination; the registry's own lock is then never held across a rename, and the
// threads that prepare copies ahead register theirs while the run renames.
SRWLOCK rename_lock = SRWLOCK_INIT;
volatile LONG stop_requested = 0;
volatile LONG handler_installed = 0;

class RegistryLock {
 public:
  RegistryLock() { AcquireSRWLockExclusive(&registry_lock); }
  ~RegistryLock() { ReleaseSRWLockExclusive(&registry_lock); }
  RegistryLock(const RegistryLock&) = delete;
  RegistryLock& operator=(const RegistryLock&) = delete;
};

class RenameLock {
 public:
  explicit RenameLock(bool exclusive) : exclusive_(exclusive) {
    if (exclusive_) {
      AcquireSRWLockExclusive(&rename_lock);
    } else {
      AcquireSRWLockShared(&rename_lock);
    }
  }
  ~RenameLock() {
    if (exclusive_) {
      ReleaseSRWLockExclusive(&rename_lock);
    } else {
      ReleaseSRWLockShared(&rename_lock);
    }
  }
  RenameLock(const RenameLock&) = delete;
  RenameLock& operator=(const RenameLock&) = delete;

 private:
  bool exclusive_;
};

class ScopedFind {
 public:
  explicit ScopedFind(HANDLE find) : find_(find) {}
  ~ScopedFind() {
    if (find_ != INVALID_HANDLE_VALUE) FindClose(find_);
  }
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;
  HANDLE get() const { return find_; }

 private:
  HANDLE find_;
};

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Removes or cancels every live temporary file it can; true while one of them still
// needs its writer (a copy that must return before its file can go).
bool DiscardLiveTemps() {
  RenameLock no_rename(true);
  RegistryLock lock;
  bool pending = false;
  for (LiveTemp* t = LiveTempAccess::head(); t; t = LiveTempAccess::next(t)) {
    HANDLE& handle = LiveTempAccess::handle(t);
    if (handle) {
      FILE_DISPOSITION_INFO dispose = {TRUE};
      if (SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose)) {
        continue;
      }
    }
    if (BOOL* cancel = LiveTempAccess::cancel(t)) {
      InterlockedExchange(reinterpret_cast<volatile LONG*>(cancel), TRUE);
    }
    DeleteFileA(t->path().c_str());
    pending = true;
  }
  return pending;
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: break;
    default: return FALSE;
  }
  InterlockedExchange(&stop_requested, 1);
  for (DWORD waited = 0; DiscardLiveTemps() && waited < kStopWaitMs; waited += kStopPollMs) {
    Sleep(kStopPollMs);
  }
  // Not handled: the default handler ends the process as before.
  return FALSE;
}

void InstallHandlerOnce() {
  if (InterlockedCompareExchange(&handler_installed, 1, 0) == 0) {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  }
}

void RemoveLeftover(const std::string& path, DWORD attributes) {
  if (DeleteFileA(path.c_str())) return;
  // A copy of a read-only source is read-only from its start.
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0 || GetLastError() != ERROR_ACCESS_DENIED) return;
  if (SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) &&
      !DeleteFileA(path.c_str())) {
    SetFileAttributesA(path.c_str(), attributes);
  }
}

}  // namespace

ScopedHandle CreateTempFile(const std::string& prefix, std::string* path) {
  std::uint32_t seed = TempNameSeed();
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    *path = prefix + TempFileName(TempNameNumber(seed, attempt));
    ScopedHandle file(CreateFileA(path->c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.is_valid()) return file;
    DWORD error = GetLastError();
    // The name is another file's: try the next one, and leave that file alone.
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  path->clear();
  return ScopedHandle();
}

void DeleteTempFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) RemoveLeftover(path, attributes);
}

std::string TempFileName(std::uint32_t number) {
  char name[24];
  std::snprintf(name, sizeof name, "~stp%08lX.tmp", static_cast<unsigned long>(number));
  return name;
}

std::uint32_t TempNameSeed() {
  // Spread by a count of the calls as well, so that the threads preparing copies side by
  // side in one folder (copy_ahead.h) do not try the same names.
  static LONG calls = 0;
  std::uint32_t call = static_cast<std::uint32_t>(InterlockedIncrement(&calls));
  return static_cast<std::uint32_t>(GetTickCount() ^ (GetCurrentProcessId() << 16)) +
         call * 0x9E3779B1u;
}

std::uint32_t TempNameNumber(std::uint32_t seed, int attempt) {
  return seed + static_cast<std::uint32_t>(attempt) * 7919u;
}

bool IsTempFileName(std::string_view name) {
  constexpr std::string_view kHead = "~stp";
  constexpr std::string_view kTail = ".tmp";
  constexpr std::size_t kDigits = 8;
  if (name.size() != kHead.size() + kDigits + kTail.size()) return false;
  if (name.substr(0, kHead.size()) != kHead || name.substr(name.size() - kTail.size()) != kTail) {
    return false;
  }
  for (std::size_t i = kHead.size(); i < kHead.size() + kDigits; ++i) {
    if (!IsHexDigit(name[i])) return false;
  }
  return true;
}

void RemoveLeftoverTemps(const std::string& prefix) {
  {
    static std::set<std::string> cleaned;
    RegistryLock lock;
    if (!cleaned.insert(prefix).second) return;
  }
  struct Found {
    std::string name;
    DWORD attributes;
  };
  std::vector<Found> found;
  WIN32_FIND_DATAA data;
  ScopedFind find(FindFirstFileA((prefix + "~stp*.tmp").c_str(), &data));
  if (find.get() == INVALID_HANDLE_VALUE) return;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsTempFileName(data.cFileName)) {
      found.push_back({data.cFileName, data.dwFileAttributes});
    }
  } while (FindNextFileA(find.get(), &data));
  for (const Found& f : found) RemoveLeftover(prefix + f.name, f.attributes);
}

bool TempStopRequested() { return InterlockedCompareExchange(&stop_requested, 0, 0) != 0; }

LiveTemp::LiveTemp(std::string path, HANDLE handle, BOOL* cancel)
    : path_(std::move(path)), handle_(handle), cancel_(cancel) {
  InstallHandlerOnce();
  RegistryLock lock;
  next_ = LiveTempAccess::head();
  LiveTempAccess::head() = this;
}

LiveTemp::~LiveTemp() {
  RegistryLock lock;
  for (LiveTemp** link = &LiveTempAccess::head(); *link; link = &(*link)->next_) {
    if (*link == this) {
      *link = next_;
      break;
    }
  }
}

void LiveTemp::ForgetHandle() {
  RegistryLock lock;
  handle_ = nullptr;
}

bool LiveTemp::RenameOnto(const std::wstring& nt_destination) {
  // FILE_RENAME_INFO ends in the name; a vector of pointers keeps its alignment.
  std::size_t name_bytes = nt_destination.size() * sizeof(wchar_t);
  std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t);
  std::vector<void*> storage((size + sizeof(void*) - 1) / sizeof(void*), nullptr);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(info->FileName, nt_destination.data(), name_bytes);
  RenameLock renaming(false);
  if (!handle_ || TempStopRequested()) return false;
  if (!SetFileInformationByHandle(handle_, FileRenameInfo, info, static_cast<DWORD>(size))) {
    return false;
  }
  handle_ = nullptr;
  return true;
}

}  // namespace setup
