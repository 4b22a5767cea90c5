#include "platform/posix/file_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/posix/posix_file.h"
#include "platform/posix/scoped_fd.h"
#include "platform/posix/temp_files.h"
#include "platform/system.h"

namespace setup {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::size_t kKernelChunk = 1 << 30;
// A copy up to this size takes well under a millisecond from the page cache: the
// ending signals are held over all of it, one hold instead of one for the temporary
// file's creation and one for its rename. A larger copy keeps the two short holds, so
// that a signal ends it at once.
constexpr off_t kHeldCopyLimit = 1 << 20;
// A watched copy's buffer: a small file in one read and one write.
constexpr std::size_t kWatchedCopyBuffer = 64 * 1024;

// The errors of copy_file_range that mean "not between these files" rather than a
// failed read or write: the buffered loop is tried instead.
bool KernelCopyUnsupported(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTSUP || error == EPERM || error == EBADF;
}

bool BufferedCopy(int in, int out) {
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  while (true) {
    ssize_t n = read(in, buffer.get(), kBufferSize);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!WriteAll(out, buffer.get(), static_cast<std::size_t>(n))) return false;
  }
}

// Copies the rest of `in` to `out` through one buffer, handing `watcher` each piece once
// it is written; ends at `size` bytes (above 0), as CopyBytes does, or at the end.
bool WatchedCopy(int in, int out, off_t size, CopyWatcher* watcher) {
  char buffer[kWatchedCopyBuffer];
  watcher->Begin();
  off_t copied = 0;
  while (true) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!WriteAll(out, buffer, static_cast<std::size_t>(n))) return false;
    watcher->Written(buffer, static_cast<std::size_t>(n));
    copied += n;
    if (size > 0 && copied >= size) return true;
  }
}

}  // namespace

bool CopyBytes(int in, int out, off_t size) {
  off_t copied = 0;
  while (true) {
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, kKernelChunk, 0);
    if (n > 0) {
      copied += n;
      // Done at the size the file had when it was opened, without asking once more.
      if (size > 0 && copied >= size) return true;
      continue;
    }
    bool copied_any = copied > 0;
    if (n == 0) {
      // Files that report no size (under /proc, say) give 0 at once although they
      // have contents; the buffered loop reads them properly.
      return copied_any || BufferedCopy(in, out);
    }
    if (errno == EINTR) continue;
    if (!KernelCopyUnsupported(errno)) return false;
    return BufferedCopy(in, out);
  }
}

bool CopyFileContents(const std::string& source, const std::string& destination,
                      bool destination_missing, CopyWatcher* watcher, bool* watched) {
  if (watched != nullptr) *watched = false;
  if (source.empty() || destination.empty()) {
    errno = ENOENT;
    return false;
  }
  // O_NONBLOCK keeps a FIFO from blocking the open; it has no effect on the regular
  // files that alone are copied.
  ScopedFd in(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!in.valid()) return false;
  struct stat src;
  if (fstat(in.get(), &src) != 0) return false;
  if (!S_ISREG(src.st_mode)) {
    errno = S_ISDIR(src.st_mode) ? EISDIR : EACCES;
    return false;
  }
  // The source's permission bits less the umask, as cp gives a new file; an existing
  // destination's own bits give way to them. An unnamed temporary file is made with
  // them, so that its commit need not set them again.
  mode_t mode = src.st_mode & 0777;
  std::unique_ptr<TempFile> temp =
      destination_missing
          ? TempFile::CreateNew(destination, TempKind::kUnnamedWhereSupported, mode)
          : TempFile::Create(destination, &src, TempKind::kUnnamedWhereSupported, mode);
  if (!temp) return false;
  // A named temporary file and its registration are made with the ending signals held;
  // a small copy holds them on to its rename, one hold instead of a second one there.
  // An unnamed file needs no hold at all.
  std::optional<EndingSignalsHeld> held;
  if (!temp->unnamed() && src.st_size <= kHeldCopyLimit) held.emplace();
  bool watch = watcher != nullptr && static_cast<std::uint64_t>(src.st_size) <= watcher->limit();
  if (!(watch ? WatchedCopy(in.get(), temp->fd(), src.st_size, watcher)
              : CopyBytes(in.get(), temp->fd(), src.st_size))) {
    return false;
  }
  const struct timespec times[2] = {{0, UTIME_NOW}, src.st_mtim};
  if (futimens(temp->fd(), times) != 0) return false;
  if (!temp->Commit(mode & ~ProcessUmask(), &in)) return false;
  if (watched != nullptr) *watched = watch;
  return true;
}

}  // namespace setup
