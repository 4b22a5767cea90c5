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

std::unique_ptr<TempFile> TempFile::Create(const std::string& destination,
                                           const struct stat* source) {
  if (destination.empty() || destination.back() == '/') return nullptr;
  std::string target = destination;
  struct stat st;
  bool exists = lstat(destination.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return nullptr;
  if (exists && S_ISLNK(st.st_mode)) {
    if (!ResolveTarget(destination, &target)) return nullptr;
    exists = stat(target.c_str(), &st) == 0;
  }
  if (exists) {
    if (!MayReplace(st)) return nullptr;
    // Copying a file onto itself would truncate it on the way; Windows refuses with a
    // sharing violation, and so does this copy.
    if (source != nullptr && st.st_dev == source->st_dev && st.st_ino == source->st_ino) {
      return nullptr;
    }
  }
  return CreateNew(target);
}

std::unique_ptr<TempFile> TempFile::CreateNew(const std::string& destination) {
  if (destination.empty() || destination.back() == '/') return nullptr;
  std::size_t slash = destination.rfind('/');
  std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  // The name part is shortened so that the temporary name stays within NAME_MAX.
  std::string name = destination.substr(name_start, 200);
  std::string temp_path = destination.substr(0, name_start) + "." + name + ".XXXXXX";
  ScopedFd fd(mkostemp(temp_path.data(), O_CLOEXEC));
  if (!fd.valid()) return nullptr;
  return std::unique_ptr<TempFile>(new TempFile(std::move(fd), temp_path, destination));
}

bool TempFile::Commit(mode_t mode) {
  if (committed_ || !fd_.valid()) return false;
  bool ok = fchmod(fd_.get(), mode) == 0;
  ok = fd_.Close() && ok;
  if (!ok || rename(temp_path_.c_str(), target_.c_str()) != 0) return false;
  committed_ = true;
  return true;
}

namespace {

// Who the process is, read once: the program never changes its identity.
struct Identity {
  uid_t user;
  gid_t group;
  std::vector<gid_t> groups;
};

const Identity& ProcessIdentity() {
  static const Identity identity = [] {
    Identity id{geteuid(), getegid(), {}};
    int count = getgroups(0, nullptr);
    id.groups.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    count = id.groups.empty() ? 0 : getgroups(count, id.groups.data());
    id.groups.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
    return id;
  }();
  return identity;
}

}  // namespace

bool MayReplace(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return false;
  const Identity& id = ProcessIdentity();
  if (id.user == 0) return (st.st_mode & 0222) != 0;
  if (st.st_uid == id.user) return (st.st_mode & S_IWUSR) != 0;
  bool member = st.st_gid == id.group;
  for (std::size_t i = 0; i < id.groups.size() && !member; ++i) member = id.groups[i] == st.st_gid;
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
