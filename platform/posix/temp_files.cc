#include "platform/posix/temp_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <set>

namespace setup {
namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The registry: a slot is free, being filled (its path not yet whole), or live. The
// handler reads only live slots, so it never sees half a path. A run has one or two
// temporary files at a time; a file that finds no slot is left to the next run's sweep.
constexpr int kSlots = 16;
enum SlotState : int { kFree, kFilling, kLive };
struct Slot {
  std::atomic<int> state{kFree};
  int fd = -1;  // the file the path must name to be removed, or -1: whatever it names
  char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the slots' state");
Slot slots[kSlots];

void RemoveAndEnd(int signal_number) {
  RemoveLiveTempFiles();
  signal(signal_number, SIG_DFL);
  raise(signal_number);  // delivered when the handler returns, the signal being blocked in it
}

sigset_t EndingSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kEndingSignals) sigaddset(&set, s);
  return set;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// Removes `name` in the folder `dir_fd` when it is a regular file that nobody holds
// locked; the lock is taken before the removal, so a run that is still writing the file
// keeps it. The name is checked to be the file locked once the lock is held.
bool RemoveIfUnlocked(int dir_fd, const char* name) {
  struct stat before;
  if (fstatat(dir_fd, name, &before, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(before.st_mode)) {
    return false;
  }
  ScopedFd fd(openat(dir_fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened, now;
  if (!fd.valid() || fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) return false;
  if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
  if (fstatat(dir_fd, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(now, opened)) {
    return false;
  }
  return unlinkat(dir_fd, name, 0) == 0;
}

// Locks a file just made. False when another run's sweep took it between its creation
// and the lock (the sweep then removes it): the caller makes another. A sweep unlinks
// only what it holds locked, so a file locked here and still linked keeps its name: no
// one else renames a temporary file. A file system without flock gives no lock to
// anyone, so the file is kept unlocked there.
bool LockAsOwnFile(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno != EWOULDBLOCK;
  struct stat mine;
  return fstat(fd, &mine) == 0 && mine.st_nlink > 0;
}

}  // namespace

bool IsTempFileName(std::string_view name) {
  constexpr std::size_t kPrefix = sizeof kTempNamePrefix - 1;
  constexpr std::size_t kSuffix = sizeof kTempNameSuffix - 1;
  if (name.size() != kPrefix + 6 + kSuffix || name.substr(0, kPrefix) != kTempNamePrefix ||
      name.substr(kPrefix + 6) != kTempNameSuffix) {
    return false;
  }
  for (char c : name.substr(kPrefix, 6)) {
    bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return true;
}

ScopedFd CreateTempFile(const std::string& dir, std::string* path) {
  // A few tries: each fails only when a concurrent sweep removed the fresh file.
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::string name = dir + kTempNamePrefix + "XXXXXX" + kTempNameSuffix;
    ScopedFd fd(mkostemps(name.data(), sizeof kTempNameSuffix - 1, O_CLOEXEC));
    if (!fd.valid()) return ScopedFd();
    if (LockAsOwnFile(fd.get())) {
      *path = std::move(name);
      return fd;
    }
  }
  return ScopedFd();
}

int RegisterTempFile(const char* path, int fd) {
  std::size_t length = strnlen(path, PATH_MAX);
  if (length >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(slots[i].path, path, length + 1);
    slots[i].fd = fd;
    slots[i].state.store(kLive, std::memory_order_release);
    return i;
  }
  return -1;
}

void UnregisterTempFile(int slot) {
  if (slot >= 0 && slot < kSlots) slots[slot].state.store(kFree, std::memory_order_release);
}

void RemoveLiveTempFiles() {
  for (Slot& slot : slots) {
    if (slot.state.load(std::memory_order_acquire) != kLive) continue;
    // Only the file held, under the name it was given: nobody else renames a temporary
    // file or links one of ours, so a name that still shows our file is ours to remove.
    struct stat held, named;
    if (slot.fd >= 0 &&
        (fstat(slot.fd, &held) != 0 || lstat(slot.path, &named) != 0 || !SameFile(held, named))) {
      continue;
    }
    unlink(slot.path);
  }
}

std::string NewTempFileName(const std::string& dir) {
  // Names need only differ between tries and runs: a generator seeded once per process
  // from the kernel. A name already taken fails its link and another is drawn.
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::uint64_t state = 0;
  if (state == 0) {
    std::uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != sizeof seed) {
      seed = 0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(getpid());
    }
    state = seed | 1;
  }
  char random[7] = {};
  for (int i = 0; i < 6; ++i) {
    state ^= state << 13;  // xorshift64
    state ^= state >> 7;
    state ^= state << 17;
    random[i] = kAlphabet[state % (sizeof kAlphabet - 1)];
  }
  return dir + kTempNamePrefix + random + kTempNameSuffix;
}

namespace {
// Whether linkat may take the descriptor itself (AT_EMPTY_PATH), until it is seen not to.
// That needs a privilege (CAP_DAC_READ_SEARCH), which the kernel checks before it looks
// at either path, answering ENOENT (EPERM on some kernels) without it.
bool empty_path_links = true;
}  // namespace

bool LinkUnnamedFile(int fd, const std::string& path) {
  // The descriptor itself where the process may: each link then walks no path through
  // /proc. Any other error is the destination's own, which a link through /proc meets too.
  bool tried = empty_path_links;
  if (tried) {
    if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT && errno != EPERM) return false;
  }
  char proc_path[40];
  std::snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd);
  if (linkat(AT_FDCWD, proc_path, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
  // Linked through /proc where the descriptor itself was refused: the privilege is missing.
  if (tried) empty_path_links = false;
  return true;
}

bool UnnamedFilesLinkable() {
  static const bool kLinkable = access("/proc/self/fd", F_OK) == 0 || geteuid() == 0;
  return kLinkable;
}

void InstallTempFileCleanup() {
  struct sigaction action {};
  action.sa_handler = RemoveAndEnd;
  action.sa_mask = EndingSignalSet();
  for (int s : kEndingSignals) {
    struct sigaction previous {};
    if (sigaction(s, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
}

namespace {
// How many holds of this thread are alive; only the outermost one changes the mask.
thread_local int hold_depth = 0;
}  // namespace

EndingSignalsHeld::EndingSignalsHeld() {
  if (hold_depth++ > 0) return;
  sigset_t set = EndingSignalSet();
  held_ = pthread_sigmask(SIG_BLOCK, &set, &saved_) == 0;
}

EndingSignalsHeld::~EndingSignalsHeld() {
  --hold_depth;
  if (held_) pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

int RemoveLeftoverTempFiles(const std::string& dir) {
  static std::set<std::string> swept;
  if (!swept.insert(dir).second) return 0;
  std::unique_ptr<DIR, DirCloser> listing(opendir(dir.empty() ? "." : dir.c_str()));
  if (!listing) return 0;
  int removed = 0;
  while (const dirent* entry = readdir(listing.get())) {
    if (IsTempFileName(entry->d_name) && RemoveIfUnlocked(dirfd(listing.get()), entry->d_name)) {
      ++removed;
    }
  }
  return removed;
}

}  // namespace setup
