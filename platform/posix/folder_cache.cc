#include "platform/posix/folder_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace setup {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// Where the descriptors kept for folders' times are numbered from.
constexpr int kFirstKeptDescriptor = 256;

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool FolderIndex::Find(const std::string& name, std::string* found) {
  checked_ = false;
  if (!loaded_ && !Read()) return FindEntry(path_, name, found);
  Answer answer = Lookup(name, found);
  if (answer == Answer::kExact) return true;
  // Another program may have made the entry, or one that differs only in case.
  int reports = reports_;
  if (!Changed()) {
    checked_ = true;
    // A watch's reports may just have brought the name.
    if (watched_ && reports_ != reports) answer = Lookup(name, found);
    return answer != Answer::kNone;
  }
  if (!Read()) return FindEntry(path_, name, found);
  checked_ = true;
  return Lookup(name, found) != Answer::kNone;
}

void FolderIndex::BeginChange() {
  if (loaded_ && !checked_ && Changed()) Read();
  checked_ = false;
}

void FolderIndex::Added(const std::string& name) {
  checked_ = false;
  if (!loaded_) return;
  names_.Insert(name);
  // A watched folder's times are not needed: the watch reports this change as well.
  if (watched_) return;
  struct stat now;
  if (FolderStatus(&now)) {
    times_ = now;
  } else {
    loaded_ = false;
  }
}

bool FolderIndex::Read() {
  loaded_ = false;
  names_.Clear();
  // Watched before it is read, so that no change falls between the two.
  watched_ = watch_wanted_ && watch_ != nullptr && watch_->Add(*this);
  std::unique_ptr<DIR, DirCloser> listing(opendir(path_.empty() ? "/" : path_.c_str()));
  // The times are taken before the names, so that a change while reading shows later.
  if (!listing || fstat(dirfd(listing.get()), &times_) != 0) return false;
  KeepDescriptor(watched_ ? -1 : dirfd(listing.get()));
  while (const dirent* entry = readdir(listing.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names_.Insert(entry->d_name);
  }
  ++reads_;
  loaded_ = true;
  return true;
}

bool FolderIndex::Changed() {
  if (!watched_) {
    if (!TimesChanged()) return false;
    // Another program changes the folder: its further changes are better reported.
    watch_wanted_ = true;
    return true;
  }
  watch_->Apply();
  return !loaded_;
}

bool FolderIndex::FolderStatus(struct stat* st) const {
  if (!descriptor_.valid()) return stat(path_.empty() ? "/" : path_.c_str(), st) == 0;
  return fstat(descriptor_.get(), st) == 0 && st->st_nlink > 0;
}

void FolderIndex::KeepDescriptor(int listing) {
  if (descriptors_left_ == nullptr) return;
  if (descriptor_.valid()) {
    descriptor_.Close();
    ++*descriptors_left_;
  }
  if (listing < 0 || *descriptors_left_ <= 0) return;
  // Numbered above the run's other files, so that the listing's own number, free again
  // at once, leaves no gap among theirs: two files opened one after the other then have
  // adjacent numbers (CloseBoth). Where the limit of open files is lower, none is kept.
  descriptor_ = ScopedFd(fcntl(listing, F_DUPFD_CLOEXEC, kFirstKeptDescriptor));
  if (descriptor_.valid()) --*descriptors_left_;
}

bool FolderIndex::TimesChanged() {
  struct stat now;
  if (!FolderStatus(&now)) return true;
  return now.st_dev != times_.st_dev || now.st_ino != times_.st_ino ||
         !SameTime(now.st_mtim, times_.st_mtim) || !SameTime(now.st_ctim, times_.st_ctim);
}

void FolderIndex::Report(std::uint32_t mask, const char* name) {
  if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT | IN_Q_OVERFLOW)) {
    Forget();
    return;
  }
  if (!loaded_ || name == nullptr || *name == '\0') return;
  ++reports_;
  if (mask & (IN_CREATE | IN_MOVED_TO)) names_.Insert(name);
  if (mask & (IN_DELETE | IN_MOVED_FROM)) names_.Erase(name);
}

namespace {
constexpr std::uint32_t kWatchedChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                          IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Room for many events; a read that fills it is followed by another.
constexpr std::size_t kEventBuffer = 64 * 1024;
constexpr std::size_t kLargestEvent = sizeof(inotify_event) + NAME_MAX + 1;
}  // namespace

bool FolderWatch::Add(FolderIndex& folder) {
  if (!tried_) {
    tried_ = true;
    fd_ = ScopedFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  }
  if (!fd_.valid()) return false;
  const std::string& path = folder.path();
  int wd = inotify_add_watch(fd_.get(), path.empty() ? "/" : path.c_str(), kWatchedChanges);
  if (wd < 0) return false;
  std::vector<FolderIndex*>& watched = folders_[wd];
  if (std::find(watched.begin(), watched.end(), &folder) == watched.end()) {
    watched.push_back(&folder);
  }
  return true;
}

void FolderWatch::Apply() {
  if (!fd_.valid()) return;
  alignas(inotify_event) static char buffer[kEventBuffer];
  while (true) {
    ssize_t n = read(fd_.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // EAGAIN: nothing more reported
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      const char* name = event.len > 0 ? buffer + at + sizeof event : nullptr;
      ApplyEvent(event.wd, event.mask, name);
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
    if (static_cast<std::size_t>(n) + kLargestEvent <= sizeof buffer) return;
  }
}

void FolderWatch::ApplyEvent(int wd, std::uint32_t mask, const char* name) {
  if (mask & IN_Q_OVERFLOW) {
    // Reports were lost: every folder is read again at its next look-up.
    for (auto& [ignored, folders] : folders_) {
      for (FolderIndex* folder : folders) folder->Forget();
    }
    return;
  }
  auto it = folders_.find(wd);
  if (it == folders_.end()) return;
  for (FolderIndex* folder : it->second) folder->Report(mask, name);
  // The kernel dropped the watch (the folder is gone): a new one comes with a new read.
  if (mask & IN_IGNORED) folders_.erase(it);
}

bool FolderCache::Find(const std::string& dir, const std::string& name, std::string* found) {
  return Folder(dir).Find(name, found);
}

std::string FolderCache::DriveRoot(const std::string& devices, const std::string& drive) {
  std::string key = devices + "/" + drive;
  auto it = drive_roots_.find(key);
  if (it != drive_roots_.end()) return it->second;
  std::string found;
  if (!FindEntry(devices, drive, &found)) return key;  // not kept: the drive may yet appear
  return drive_roots_[key] = devices + "/" + found;
}

std::string FolderCache::WorkingDirectory() {
  if (working_directory_.empty()) working_directory_ = CurrentDirectory();
  return working_directory_;
}

FolderIndex& FolderCache::Folder(const std::string& path) {
  std::unique_ptr<FolderIndex>& folder = folders_[path];
  if (!folder) {
    folder = std::make_unique<FolderIndex>(path, &watch_, policy_, &descriptors_left_);
  }
  return *folder;
}

}  // namespace setup
