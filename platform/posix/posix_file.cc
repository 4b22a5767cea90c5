#include "platform/posix/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

namespace setup {
namespace {

class PosixInputFile : public InputFile {
 public:
  explicit PosixInputFile(ScopedFd fd) : fd_(std::move(fd)) {}

  std::ptrdiff_t Read(void* buffer, std::size_t size) override {
    if (size > SSIZE_MAX) size = SSIZE_MAX;
    while (true) {
      ssize_t n = read(fd_.get(), buffer, size);
      if (n >= 0) return n;
      if (errno != EINTR) return -1;
    }
  }

 private:
  ScopedFd fd_;
};

class ReplacementOutput : public OutputFile {
 public:
  ReplacementOutput(std::unique_ptr<TempFile> temp, mode_t mode)
      : temp_(std::move(temp)), mode_(mode) {}

  bool Write(const void* data, std::size_t size) override {
    if (!failed_ && !WriteAll(temp_->fd(), data, size)) failed_ = true;
    return !failed_;
  }

  bool Commit() override { return !failed_ && temp_->Commit(mode_); }

 private:
  std::unique_ptr<TempFile> temp_;
  mode_t mode_;
  bool failed_ = false;  // a failed write spoils the whole output
};

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};

// The absolute path, symbolic links resolved, that a file written to `destination`
// replaces; false when the destination's directory does not exist.
bool ResolveTarget(const std::string& destination, std::string* target) {
  if (destination.empty() || destination.back() == '/') return false;
  std::unique_ptr<char, FreeDeleter> real(realpath(destination.c_str(), nullptr));
  if (real) {
    *target = real.get();
    return true;
  }
  std::size_t slash = destination.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : destination.substr(0, slash);
  std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
  real.reset(realpath(dir.c_str(), nullptr));
  if (!real) return false;
  std::string resolved = real.get();
  *target = (resolved == "/" ? "" : resolved) + "/" + name;
  return true;
}

}  // namespace

std::unique_ptr<InputFile> OpenInputFile(const std::string& path) {
  if (path.empty()) return nullptr;
  // O_NONBLOCK keeps a FIFO from blocking the open; reads block again below.
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.valid()) return nullptr;
  struct stat st;
  if (fstat(fd.get(), &st) != 0 || S_ISDIR(st.st_mode)) return nullptr;
  int flags = fcntl(fd.get(), F_GETFL);
  if (flags < 0 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
  return std::make_unique<PosixInputFile>(std::move(fd));
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size > SSIZE_MAX ? SSIZE_MAX : size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;  // no progress: treat as a full device
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

TempFile::TempFile(ScopedFd fd, std::string temp_path, std::string target)
    : fd_(std::move(fd)), temp_path_(std::move(temp_path)), target_(std::move(target)) {}

TempFile::~TempFile() {
  if (!committed_) unlink(temp_path_.c_str());
}

std::unique_ptr<TempFile> TempFile::Create(const std::string& destination) {
  std::string target;
  if (!ResolveTarget(destination, &target)) return nullptr;
  struct stat st;
  if (stat(target.c_str(), &st) == 0 && !MayReplace(st)) return nullptr;
  std::size_t slash = target.rfind('/');
  // The name part is shortened so that the temporary name stays within NAME_MAX.
  std::string name = target.substr(slash + 1, 200);
  std::string temp_path = target.substr(0, slash + 1) + "." + name + ".XXXXXX";
  ScopedFd fd(mkostemp(temp_path.data(), O_CLOEXEC));
  if (!fd.valid()) return nullptr;
  return std::unique_ptr<TempFile>(new TempFile(std::move(fd), temp_path, target));
}

bool TempFile::Commit(mode_t mode) {
  if (committed_ || !fd_.valid()) return false;
  bool ok = fchmod(fd_.get(), mode) == 0;
  ok = fd_.Close() && ok;
  if (!ok || rename(temp_path_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  return true;
}

bool MayReplace(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return false;
  uid_t user = geteuid();
  if (user == 0) return (st.st_mode & 0222) != 0;
  if (st.st_uid == user) return (st.st_mode & S_IWUSR) != 0;
  bool member = st.st_gid == getegid();
  int count = getgroups(0, nullptr);
  std::vector<gid_t> groups(count > 0 ? static_cast<std::size_t>(count) : 0);
  count = groups.empty() ? 0 : getgroups(count, groups.data());
  for (int i = 0; i < count && !member; ++i) member = groups[i] == st.st_gid;
  return (st.st_mode & (member ? S_IWGRP : S_IWOTH)) != 0;
}

mode_t ReplacementMode(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 0777;
  // umask() can only be read by setting it; this runs once, before any other thread
  // of this program creates files.
  static const mode_t kUmask = [] {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
  }();
  return 0644 & ~kUmask;
}

std::unique_ptr<OutputFile> CreateReplacementFile(const std::string& path) {
  std::unique_ptr<TempFile> temp = TempFile::Create(path);
  if (!temp) return nullptr;
  mode_t mode = ReplacementMode(temp->target());
  return std::make_unique<ReplacementOutput>(std::move(temp), mode);
}

}  // namespace setup
