// Files on POSIX: binary input, and output that replaces its destination only when
// committed. Paths here are POSIX paths (UTF-8), already mapped.
#ifndef SETUP_PLATFORM_POSIX_POSIX_FILE_H_
#define SETUP_PLATFORM_POSIX_POSIX_FILE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

#include "platform/posix/scoped_fd.h"
#include "platform/system.h"

namespace setup {

// Null when `path` cannot be opened or is not a file that can be read as a stream
// (a directory, for one); errno then says why. Failures of this file's functions leave
// errno set as the failed step or check found it, for the caller's StatusFromErrno.
std::unique_ptr<InputFile> OpenInputFile(const std::string& path);

// How a TempFile's data waits for its commit.
enum class TempKind {
  // A file of the program's pattern (temp_files.h), locked and registered while it lives.
  kNamed,
  // Where the folder's file system has unnamed files (O_TMPFILE) and closing there cannot
  // report a write error: an unnamed file, which nothing sees and a kill leaves nowhere.
  // The commit links it in at the destination when nothing stands there, else links it
  // in under a name of the pattern, locked and registered, and renames that over the
  // destination. Elsewhere, a named file.
  kUnnamedWhereSupported,
};

// A temporary file in the directory of a destination, removed when destroyed
// uncommitted. Commit() puts it in the destination's place. A symbolic link at the
// destination is replaced by the new file itself, as install(1) does: nothing is written
// through a link this program did not make, and the link's target is left alone.
class TempFile {
 public:
  // Null when the destination's directory does not exist, the destination is a directory
  // or a link to one, a device, FIFO or socket, may not be replaced (MayReplace), is the
  // file `source` describes (when given), or the file cannot be made. An unnamed file is
  // made with `mode` less the umask (a named one with 0600), so that a commit with that
  // mode changes nothing.
  static std::unique_ptr<TempFile> Create(const std::string& destination,
                                          const struct stat* source = nullptr,
                                          TempKind kind = TempKind::kNamed, mode_t mode = 0600);
  // The same for a destination known to be missing from its folder, which is not
  // looked at again. Should another program make it meanwhile, the commit replaces a
  // file or fails on a directory.
  static std::unique_ptr<TempFile> CreateNew(const std::string& destination,
                                             TempKind kind = TempKind::kNamed, mode_t mode = 0600);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_.get(); }
  // The destination that Commit() replaces.
  const std::string& target() const { return target_; }
  // The temporary file's path; empty while the file has no name.
  const std::string& path() const { return temp_path_; }
  bool unnamed() const { return unnamed_; }
  // Gives the file `mode`, closes it and renames it over the destination. False when
  // any step fails; the destination is then unchanged and the temporary file removed.
  // `close_with`, when given, may be closed together with the file once it is committed
  // (CloseBoth); otherwise it is left to its owner.
  bool Commit(mode_t mode, ScopedFd* close_with = nullptr);

 private:
  TempFile(ScopedFd fd, std::string temp_path, std::string target, int slot);
  // Null, with errno saying why a destination named so cannot be a file.
  static std::unique_ptr<TempFile> Refused(const std::string& destination);
  static std::unique_ptr<TempFile> CreateUnnamed(const std::string& dir,
                                                 const std::string& destination, mode_t mode);
  bool CommitUnnamed(mode_t mode, ScopedFd* close_with);
  bool Committed(ScopedFd* close_with = nullptr);

  ScopedFd fd_;
  std::string temp_path_;
  std::string target_;
  int slot_;  // in the registry of live temporary files, or -1
  bool committed_ = false;
  bool unnamed_ = false;
  bool known_missing_ = false;        // the destination was missing from its folder
  mode_t created_mode_ = ~mode_t{0};  // what the file was made with; ~0 when unknown
};

// True when Windows would let this program overwrite the existing entry `st` describes:
// not a directory, and writable by the user in its permission bits. A file without any
// write bit is how Wine shows the read-only attribute. The bits are read here rather than
// left to the kernel, which lets root write any file.
bool MayReplace(const struct stat& st);

// The process's umask, read once: the program never changes it.
mode_t ProcessUmask();

// Permission bits for a file that replaces `path`: those of the existing regular file, or
// 0644 without the bits of the process's umask for a new one (and for one that replaces a
// symbolic link, whose target is no concern of the new file).
mode_t ReplacementMode(const std::string& path);

// An OutputFile over a TempFile (see system.h for the contract); null with errno set.
std::unique_ptr<OutputFile> CreateReplacementFile(const std::string& path);

// False for the file systems (by statfs type) where closing a file never reports a
// write error, so that a commit may rename before it closes: local disks and memory.
bool CloseMayReportWriteErrors(unsigned long fs_type);

// Writes all `size` bytes to `fd`, going on after partial writes and interruptions.
// False on a write error (ENOSPC, EIO, EFBIG, ...).
bool WriteAll(int fd, const void* data, std::size_t size);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_POSIX_FILE_H_
