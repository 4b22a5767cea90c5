// The program's temporary files on POSIX: one name pattern, ".~stpXXXXXX.tmp" (the six X
// are letters and digits), made beside a destination and renamed over it when complete.
//
// None outlives the program: each live one is listed in a registry of fixed size that a
// handler of SIGINT, SIGTERM, SIGHUP and SIGQUIT empties, unlinking every file, before
// it ends the program by the signal's default action. What a kill -9 leaves, the next run
// removes: each live temporary file holds an exclusive flock, and the first temporary
// file a run makes in a folder removes every regular file of the pattern there that it
// can lock, so the live file of a concurrent run is never taken.
//
// Where the file system has unnamed files (O_TMPFILE), a byte copy writes into one of
// those instead: it is linked in under its final name when complete, or, when something
// stands there, under a name of the pattern (locked and registered before it has the
// name) that is then renamed over the destination. An unnamed file is never seen and
// outlives no end of the program.
#ifndef SETUP_PLATFORM_POSIX_TEMP_FILES_H_
#define SETUP_PLATFORM_POSIX_TEMP_FILES_H_

#include <signal.h>

#include <string>
#include <string_view>

#include "platform/posix/scoped_fd.h"

namespace setup {

// The pattern's fixed parts; mkostemps fills the six characters between them.
inline constexpr char kTempNamePrefix[] = ".~stp";
inline constexpr char kTempNameSuffix[] = ".tmp";

// True when `name` (a name, not a path) has the pattern: the prefix, six characters of
// [A-Za-z0-9], the suffix.
bool IsTempFileName(std::string_view name);

// A new temporary file of the pattern in `dir` ("" for the current directory, else ending
// in '/'), created exclusively, mode 0600, close-on-exec, and locked. Returns the path in
// `*path`; an invalid descriptor when no file can be made there. The caller registers it
// (with the ending signals held, so that no signal falls between the two).
ScopedFd CreateTempFile(const std::string& dir, std::string* path);

// Registers a live temporary file for removal by the handler: returns its slot, or -1
// when the registry is full or the path too long (the file is then left to the next
// run's sweep). With `fd`, a descriptor of the file, the handler unlinks the path only
// while it names that very file: a slot published before its name exists, or left a
// moment after a rename took the name away, never removes another file. Needs no
// signal held: the slot becomes visible to the handler whole, in one atomic store.
int RegisterTempFile(const char* path, int fd = -1);
// Takes the file out of the registry; -1 is accepted and ignored.
void UnregisterTempFile(int slot);

// A fresh name of the pattern in `dir` (as for CreateTempFile), not yet looked at.
std::string NewTempFileName(const std::string& dir);

// Gives the unnamed file `fd` (an O_TMPFILE) the name `path`. Nothing is replaced: false,
// errno EEXIST, when an entry has the name already.
bool LinkUnnamedFile(int fd, const std::string& path);

// Whether this process can give unnamed files a name (through /proc/self/fd, or with
// the privilege AT_EMPTY_PATH asks for); read once.
bool UnnamedFilesLinkable();

// Unlinks every registered file. Async-signal-safe: no allocation, no lock.
void RemoveLiveTempFiles();

// Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the live temporary files, then end the
// program with the signal's default action. A signal the program was started ignoring
// stays ignored.
void InstallTempFileCleanup();

// Holds back those four signals while it lives, so that a rename or unlink and the
// registry's update happen together. Signals that arrive meanwhile are delivered after.
// Holds nest: one made while another of the same thread lives costs nothing and
// changes nothing.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld();
  ~EndingSignalsHeld();
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
  sigset_t saved_;
  bool held_ = false;
};

// Removes, from the folder `dir` (as for CreateTempFile), every regular file of the
// pattern that no live process holds locked. Answers how many were removed. Each folder
// is swept once per run; a later call for the same folder answers 0 at once.
int RemoveLeftoverTempFiles(const std::string& dir);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_TEMP_FILES_H_
