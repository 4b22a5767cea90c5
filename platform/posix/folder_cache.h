// Case-insensitive look-ups in constant time: an index of the names of each folder the
// program looks into, folded to ASCII lower case as EqualsIgnoringAsciiCase does.
//
// A folder's index is read on first use and kept current by the program's own creations
// (Added). A change by another program shows in the folder's change or modification
// time: a look-up that the index cannot answer with the exact spelling, or answers with
// none, checks those times and reads the folder again when they moved. An exact hit is
// trusted without asking the file system; the operation that uses it finds out when the
// entry has gone meanwhile (the caller may then Forget the folder and look again).
//
// Limit: a change by another program within the same tick of the file system's clock as
// the program's own last change to that folder leaves the times as they were and is seen
// only at the folder's next change. A name spelled exactly as on disk is always found,
// since a name the index does not know is used as it is given.
//
// The roots of the drives (the prefix's dosdevices links) are looked up once per run.
#ifndef SETUP_PLATFORM_POSIX_FOLDER_CACHE_H_
#define SETUP_PLATFORM_POSIX_FOLDER_CACHE_H_

#include <sys/stat.h>

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/posix/path_map.h"

namespace setup {

// The names of one folder.
class FolderIndex {
 public:
  explicit FolderIndex(std::string path) : path_(std::move(path)) {}
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
  void Forget() { loaded_ = false; }

  // How often the folder has been read (for the tests).
  int reads() const { return reads_; }

 private:
  enum class Answer { kExact, kFolded, kNone };
  Answer Lookup(const std::string& name, std::string* found) const;
  bool Read();
  // True when the folder's times, device or inode differ from those read with it.
  bool Changed();
  void Insert(std::string name);

  std::string path_;
  bool loaded_ = false;
  bool checked_ = false;  // the last look-up compared the folder's times
  int reads_ = 0;
  struct stat times_ {};
  // The spellings of a folded name: more than one only where names differ only in case.
  struct Spellings {
    std::string first;
    std::vector<std::string> more;
  };
  std::unordered_map<std::string, Spellings> names_;
};

// The indexes of every folder a run looks into, by path, and the drive roots. Answers
// the look-ups of MapWindowsPath.
class FolderCache : public EntryLookup {
 public:
  bool Find(const std::string& dir, const std::string& name, std::string* found) override;
  std::string DriveRoot(const std::string& devices, const std::string& drive) override;

  // The index of the folder at `path`, made on first use (reading nothing yet).
  FolderIndex& Folder(const std::string& path);

 private:
  std::unordered_map<std::string, std::unique_ptr<FolderIndex>> folders_;
  std::map<std::string, std::string> drive_roots_;
};

// The ASCII case folding of a name, as EqualsIgnoringAsciiCase compares.
std::string FoldAsciiCase(const std::string& name);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_FOLDER_CACHE_H_
