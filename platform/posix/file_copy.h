// Byte-for-byte file copy on POSIX, as CopyFileA does it: the destination is replaced,
// the source's modification time is kept and its permission bits less the umask are
// given, as cp gives them.
#ifndef SETUP_PLATFORM_POSIX_FILE_COPY_H_
#define SETUP_PLATFORM_POSIX_FILE_COPY_H_

#include <sys/types.h>

#include <string>

namespace setup {

class CopyWatcher;

// Copies `source` to `destination` (POSIX paths) through a temporary file in the
// destination's directory that is renamed into place only when every byte, the mode
// and the time have been written. Fails, leaving everything as it was, when the source
// is not a readable regular file, when the destination is a directory (or a link to one),
// a device, FIFO or socket, or its directory is missing, when both name the same file (by
// device and inode, so other spellings and hard links count), when the destination may
// not be replaced (MayReplace), and on any read or write error. A symbolic link at the
// destination is replaced, its target left alone (TempFile). With `destination_missing`
// the caller knows that the destination does not exist in its (existing) folder, and it
// is not looked at. On failure errno says why (posix_file.h). With a `watcher`, a source
// of at most watcher->limit() bytes is copied through memory and every byte handed to it
// as written; `*watched` says whether it was (a larger one is copied in the kernel).
bool CopyFileContents(const std::string& source, const std::string& destination,
                      bool destination_missing = false, CopyWatcher* watcher = nullptr,
                      bool* watched = nullptr);

// Copies the rest of `in` to `out` from their current offsets: in the kernel where it
// can (copy_file_range), else through a 1 MiB buffer. A `size` above 0 is the number of
// bytes the caller expects: the copy ends when they have been copied. False on a read
// or write error.
bool CopyBytes(int in, int out, off_t size = 0);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_FILE_COPY_H_
