#include "platform/posix/folder_cache.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>

namespace setup {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

std::string FoldAsciiCase(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

bool FolderIndex::Find(const std::string& name, std::string* found) {
  checked_ = false;
  if (!loaded_ && !Read()) return FindEntry(path_, name, found);
  Answer answer = Lookup(name, found);
  if (answer == Answer::kExact) return true;
  // Another program may have made the entry, or one that differs only in case.
  if (!Changed()) {
    checked_ = true;
    return answer == Answer::kFolded;
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
  Insert(name);
  struct stat now;
  if (stat(path_.empty() ? "/" : path_.c_str(), &now) == 0) {
    times_ = now;
  } else {
    loaded_ = false;
  }
}

FolderIndex::Answer FolderIndex::Lookup(const std::string& name, std::string* found) const {
  auto it = names_.find(FoldAsciiCase(name));
  if (it == names_.end()) return Answer::kNone;
  const Spellings& spellings = it->second;
  if (spellings.first == name ||
      std::find(spellings.more.begin(), spellings.more.end(), name) != spellings.more.end()) {
    *found = name;
    return Answer::kExact;
  }
  if (!spellings.more.empty()) return Answer::kNone;
  *found = spellings.first;
  return Answer::kFolded;
}

bool FolderIndex::Read() {
  loaded_ = false;
  names_.clear();
  std::unique_ptr<DIR, DirCloser> listing(opendir(path_.empty() ? "/" : path_.c_str()));
  // The times are taken before the names, so that a change while reading shows later.
  if (!listing || fstat(dirfd(listing.get()), &times_) != 0) return false;
  while (const dirent* entry = readdir(listing.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    Insert(entry->d_name);
  }
  ++reads_;
  loaded_ = true;
  return true;
}

bool FolderIndex::Changed() {
  struct stat now;
  if (stat(path_.empty() ? "/" : path_.c_str(), &now) != 0) return true;
  return now.st_dev != times_.st_dev || now.st_ino != times_.st_ino ||
         !SameTime(now.st_mtim, times_.st_mtim) || !SameTime(now.st_ctim, times_.st_ctim);
}

void FolderIndex::Insert(std::string name) {
  auto [it, added] = names_.try_emplace(FoldAsciiCase(name));
  Spellings& spellings = it->second;
  if (added) {
    spellings.first = std::move(name);
    return;
  }
  if (spellings.first == name ||
      std::find(spellings.more.begin(), spellings.more.end(), name) != spellings.more.end()) {
    return;
  }
  spellings.more.push_back(std::move(name));
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

FolderIndex& FolderCache::Folder(const std::string& path) {
  std::unique_ptr<FolderIndex>& folder = folders_[path];
  if (!folder) folder = std::make_unique<FolderIndex>(path);
  return *folder;
}

}  // namespace setup
