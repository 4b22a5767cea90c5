// Case-insensitive look-ups in constant time: an index of the names of each folder the
// program looks into, folded to ASCII lower case as EqualsIgnoringAsciiCase does.
//
// A folder's index is read on first use and kept current by the program's own creations
// (Added). A change by another program is learnt of in one of two ways:
// - by the folder's change or modification time: a look-up that the index cannot answer
//   with the exact spelling, or answers with none, checks those times and reads the
//   folder again when they moved; the program's own changes take the times as they
//   leave them;
// - where the kernel offers inotify, a folder watched from just before its reading: such
//   a look-up first applies every change reported since (one read of the watch for all
//   folders, nothing to stat). The program's own changes are among them, so they cost no
//   look at the folder either. A folder that is moved or removed is read again at its
//   next look-up, and all of them are when the kernel lost reports.
// By default (FolderWatchPolicy) a folder goes by its times until they are seen to have
// moved behind the program's back: another program is changing it, and from its next
// reading on it is watched, so that further changes are applied without reading it
// again. A run in folders only it changes thus makes no inotify instance at all, whose
// closing at the program's end waits for the kernel's grace period (some 8 to 12 ms).
// Without inotify, or beyond its limit on watches, the times serve throughout.
// An exact hit is trusted without asking the file system; the operation that uses it
// finds out when the entry has gone meanwhile (the caller may then Forget the folder and
// look again).
//
// An unwatched folder's times are read through a descriptor of the folder kept from its
// reading (for up to kHeldFolders folders; the others by their paths), which costs no
// walk of its path: a folder moved away or removed shows in them (its change time, its
// link count).
//
// Limits: a watch, like that descriptor, follows the folder, not its path: a parent
// folder moved away and replaced by another that holds a folder of the same name, or a
// file system mounted over a folder, is seen only when that index is forgotten. Without
// a watch, a change by another program within the same tick of the file system's clock
// as the program's own last change to that folder leaves the times as they were and is
// seen only at the folder's next change. A name spelled exactly as on disk is always
// found, since a name the index does not know is used as it is given.
//
// The roots of the drives (the prefix's dosdevices links) and the current directory are
// looked up once per run.
#ifndef SETUP_PLATFORM_POSIX_FOLDER_CACHE_H_
#define SETUP_PLATFORM_POSIX_FOLDER_CACHE_H_

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/posix/folded_names.h"
#include "platform/posix/path_map.h"
#include "platform/posix/scoped_fd.h"

namespace setup {

class FolderIndex;

// When a folder's index is watched: from its first reading on, or only once its times
// have moved behind the program's back (see above).
enum class FolderWatchPolicy { kFromFirstRead, kOnceChangedByOthers };

// The inotify watches of every folder a FolderCache has read, through one descriptor.
class FolderWatch {
 public:
  FolderWatch() = default;
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Watches the folder at `folder`'s path for `folder`: false when it cannot (no inotify,
  // no more watches, no such folder), the folder then being left to its times.
  bool Add(FolderIndex& folder);
  // Applies every change reported since the last call to the folders watched.
  void Apply();

 private:
  void ApplyEvent(int wd, std::uint32_t mask, const char* name);

  ScopedFd fd_;
  bool tried_ = false;  // the descriptor was asked for (once per cache)
  std::unordered_map<int, std::vector<FolderIndex*>> folders_;  // by watch; a folder
                                                                // may have two paths
};

// The names of one folder.
class FolderIndex {
 public:
  // `descriptors_left`, when given, counts the descriptors that folders may still keep
  // for their times, shared by the indexes of one cache; without it the times are read
  // by the folder's path.
  explicit FolderIndex(std::string path, FolderWatch* watch = nullptr,
                       FolderWatchPolicy policy = FolderWatchPolicy::kFromFirstRead,
                       int* descriptors_left = nullptr)
      : path_(std::move(path)),
        watch_(watch),
        watch_wanted_(policy == FolderWatchPolicy::kFromFirstRead),
        descriptors_left_(descriptors_left) {}
  FolderIndex(const FolderIndex&) = delete;
  FolderIndex& operator=(const FolderIndex&) = delete;

  // The folder's path ("" for the root).
  const std::string& path() const { return path_; }

  // As FindEntry: the entry with `name`'s exact spelling, else the one entry equal to it
  // ignoring ASCII case. False when there is none or several, or when the folder cannot
  // be read (then answered by FindEntry itself).
  bool Find(const std::string& name, std::string* found);

  // Brackets a change this program makes to the folder: BeginChange brings the index up
  // to date (unless a look-up has just done so), Added records the entry made and takes
  // the folder's times as they are after the change for the index's own.
  void BeginChange();
  void Added(const std::string& name);

  // Drops what is known: the next look-up reads the folder again.
  void Forget() {
    loaded_ = false;
    watched_ = false;
  }
  // What the watch reports of the folder: an inotify event's mask and name.
  void Report(std::uint32_t mask, const char* name);

  // How often the folder has been read, and whether a watch reports its changes (for
  // the tests).
  int reads() const { return reads_; }
  bool watched() const { return watched_; }

 private:
  using Answer = FoldedNames::Answer;
  Answer Lookup(const std::string& name, std::string* found) const {
    return names_.Lookup(name, found);
  }
  bool Read();
  // True when the index may no longer hold the folder's names: its watch forgot it, or,
  // unwatched, its times, device or inode differ from those read with it.
  bool Changed();
  bool TimesChanged();
  // The folder's status, through the descriptor kept where there is one; false when it
  // cannot be had or the folder has been removed.
  bool FolderStatus(struct stat* st) const;
  // Keeps a descriptor of the folder just read (`listing`; -1 for none, as a watched
  // folder needs none) for its times, while the cache's share lasts; the previous one
  // goes.
  void KeepDescriptor(int listing);

  std::string path_;
  FolderWatch* watch_;
  bool watch_wanted_;     // the folder is watched from its next reading on
  bool watched_ = false;  // the watch reports the folder's changes
  bool loaded_ = false;
  bool checked_ = false;  // the last look-up compared the folder's times
  int reads_ = 0;
  int reports_ = 0;  // changes the watch has reported, counted to know whether one came
  struct stat times_ {};
  int* descriptors_left_;
  ScopedFd descriptor_;  // the folder read, for its times, or none
  FoldedNames names_;
};

// The indexes of every folder a run looks into, by path, and the drive roots. Answers
// the look-ups of MapWindowsPath.
class FolderCache : public EntryLookup {
 public:
  explicit FolderCache(FolderWatchPolicy policy = FolderWatchPolicy::kOnceChangedByOthers)
      : policy_(policy) {}

  // How many folders keep a descriptor for their times: numbered from 256 up, well within
  // the usual limit of 1,024 open files, which the run's other files and the components
  // it loads share.
  static constexpr int kHeldFolders = 256;

  bool Find(const std::string& dir, const std::string& name, std::string* found) override;
  std::string DriveRoot(const std::string& devices, const std::string& drive) override;
  // Asked of the system once: the program never changes its current directory.
  std::string WorkingDirectory() override;

  // The index of the folder at `path`, made on first use (reading nothing yet).
  FolderIndex& Folder(const std::string& path);

 private:
  FolderWatchPolicy policy_;
  int descriptors_left_ = kHeldFolders;  // before the indexes, which point at it
  FolderWatch watch_;
  std::unordered_map<std::string, std::unique_ptr<FolderIndex>> folders_;
  std::map<std::string, std::string> drive_roots_;
  std::string working_directory_;  // empty until asked, or while it cannot be read
};

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_FOLDER_CACHE_H_
