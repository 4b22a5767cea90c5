// The Windows view of a Wine prefix: how a path as a script writes it names a POSIX file.
#ifndef SETUP_PLATFORM_POSIX_PATH_MAP_H_
#define SETUP_PLATFORM_POSIX_PATH_MAP_H_

#include <string>
#include <string_view>

namespace setup {

// Maps a Windows-syntax path, already converted to UTF-8, to a POSIX path:
// - '\' and '/' both separate; empty components and "." are dropped, ".." removes the
//   component before it but never climbs above the drive or the root;
// - "X:" (either case) at the start names the drive through `prefix`/dosdevices/x:, the
//   symbolic link Wine keeps for it; "X:name" is taken as "X:\name". Without a prefix a
//   drive path maps to the empty text, which names no file;
// - a path that begins with a separator is a POSIX path from the root (Wine's Z: drive);
// - any other path is relative to the current directory.
// Each component of the given path is normalised as Win32 does it
// (NormalizeWin32Component); a component that Windows refuses makes the whole path map
// to the empty text.
// A component that does not exist with its exact spelling is looked up ignoring ASCII
// case in its directory and takes the one entry that matches; with no match, or with
// several, it keeps its spelling, so that a new file can be created under it.
// A trailing separator is kept as '/'. The text ends at the first NUL byte; the empty
// path maps to the empty text, which names no file.
std::string MapWindowsPath(std::string_view path, const std::string& prefix);

// What mapping a path asks of the file system, so that a caller can answer from what it
// keeps (folder_cache.h). The plain answers read the file system every time.
class EntryLookup {
 public:
  virtual ~EntryLookup() = default;
  // As FindEntry.
  virtual bool Find(const std::string& dir, const std::string& name, std::string* found);
  // The folder a drive stands for: `devices`/`drive` ("c:"), the entry found for it
  // ignoring case when there is one.
  virtual std::string DriveRoot(const std::string& devices, const std::string& drive);
  // The directory a relative path starts at (CurrentDirectory).
  virtual std::string WorkingDirectory();
};

// Where the last component of a mapped path stands.
struct MappedLeaf {
  std::string folder;      // the mapped path of its folder ("" for "/")
  std::string name;        // as found in the folder, or as given
  bool in_folder = false;  // the path has a last component and its folder was found
  bool found = false;      // ... and the component was found in it
};

// MapWindowsPath with `lookup` answering every look-up; `leaf`, when given, receives
// where the last component stands.
std::string MapWindowsPath(std::string_view path, const std::string& prefix, EntryLookup& lookup,
                           MappedLeaf* leaf);

// Normalises one component of a Windows path as Win32 does before it reaches the file
// system: the last component loses all its trailing blanks and dots ("b.txt. " names
// "b.txt"), any other loses one trailing dot. "." and ".." are not passed here. False,
// leaving `out` unspecified, when the component holds a character Windows refuses in a
// name: < > : " | ? * or a control character (1 to 31). A colon is refused too: Windows
// would take "a:b" for a stream of "a", and Wine for a file of that name.
bool NormalizeWin32Component(std::string_view name, bool last, std::string* out);

// Finds `name` in `dir`: true with `*found` set to the exact entry name when the entry
// exists with that spelling or when exactly one entry matches it ignoring ASCII case.
bool FindEntry(const std::string& dir, const std::string& name, std::string* found);

// The current directory, or the empty text when it cannot be read (deleted, say).
std::string CurrentDirectory();

// True when `a` and `b` are equal after folding ASCII A-Z to a-z.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_PATH_MAP_H_
