// Byte-for-byte file copy on POSIX, as CopyFileA does it: the destination is replaced,
// the source's modification time and permission bits are kept.
#ifndef SETUP_PLATFORM_POSIX_FILE_COPY_H_
#define SETUP_PLATFORM_POSIX_FILE_COPY_H_

#include <string>

namespace setup {

// Copies `source` to `destination` (POSIX paths) through a temporary file in the
// destination's directory that is renamed into place only when every byte, the mode
// and the time have been written. Fails, leaving everything as it was, when the source
// is not a readable regular file, when the destination is a directory or its directory
// is missing, when both name the same file (by device and inode, so other spellings
// and hard links count), and on any read or write error.
bool CopyFileContents(const std::string& source, const std::string& destination);

// Copies the rest of `in` to `out` from their current offsets: in the kernel where it
// can (copy_file_range), else through a 1 MiB buffer. False on a read or write error.
bool CopyBytes(int in, int out);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_FILE_COPY_H_
