// A POSIX file descriptor owned by one object and closed when it goes away.
#ifndef SETUP_PLATFORM_POSIX_SCOPED_FD_H_
#define SETUP_PLATFORM_POSIX_SCOPED_FD_H_

#include <unistd.h>

#include <utility>

namespace setup {

class ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.Release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) close(fd_);
      fd_ = other.Release();
    }
    return *this;
  }

  bool valid() const { return fd_ >= 0; }
  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor and reports whether close() succeeded: a write error can
  // first show up here (on NFS, say), so a file being written is closed through this.
  bool Close() {
    int fd = Release();
    return fd < 0 || close(fd) == 0;
  }

 private:
  int fd_ = -1;
};

// Closes both descriptors, as their destructors would (nothing reported), in one system
// call where their numbers are adjacent, as those of two files opened one after the other
// are: a small copy saves a call of its ten or so.
inline void CloseBoth(ScopedFd& a, ScopedFd& b) {
  int first = a.Release(), second = b.Release();
  if (first > second) std::swap(first, second);
  if (first >= 0 && second == first + 1 &&
      close_range(static_cast<unsigned>(first), static_cast<unsigned>(second), 0) == 0) {
    return;
  }
  if (first >= 0) close(first);
  if (second >= 0) close(second);
}

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_SCOPED_FD_H_
