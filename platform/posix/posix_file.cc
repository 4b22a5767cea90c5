#include "platform/posix/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <map>
#include <utility>
#include <vector>

#include "platform/posix/temp_files.h"

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

TempFile::TempFile(ScopedFd fd, std::string temp_path, std::string target, int slot)
    : fd_(std::move(fd)),
      temp_path_(std::move(temp_path)),
      target_(std::move(target)),
      slot_(slot) {}

TempFile::~TempFile() {
  if (committed_) return;
  EndingSignalsHeld held;
  unlink(temp_path_.c_str());
  UnregisterTempFile(slot_);
}

std::unique_ptr<TempFile> TempFile::Create(const std::string& destination,
                                           const struct stat* source) {
  if (destination.empty() || destination.back() == '/') return nullptr;
  struct stat st;
  if (lstat(destination.c_str(), &st) != 0) {
    return errno == ENOENT ? CreateNew(destination) : nullptr;
  }
  if (S_ISLNK(st.st_mode)) {
    // The link itself is replaced, whatever it points to; only a link to a directory is
    // refused, being a directory in the Windows view of the prefix.
    struct stat target;
    if (stat(destination.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) return nullptr;
    return CreateNew(destination);
  }
  // A device, FIFO or socket is no file that a copy may replace.
  if (!S_ISREG(st.st_mode) || !MayReplace(st)) return nullptr;
  // Copying a file onto itself would truncate it on the way; Windows refuses with a
  // sharing violation, and so does this copy.
  if (source != nullptr && st.st_dev == source->st_dev && st.st_ino == source->st_ino) {
    return nullptr;
  }
  return CreateNew(destination);
}

std::unique_ptr<TempFile> TempFile::CreateNew(const std::string& destination) {
  if (destination.empty() || destination.back() == '/') return nullptr;
  std::size_t slash = destination.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : destination.substr(0, slash + 1);
  RemoveLeftoverTempFiles(dir);
  // Held, so that no signal falls between the file's creation and its registration.
  EndingSignalsHeld held;
  std::string temp_path;
  ScopedFd fd = CreateTempFile(dir, &temp_path);
  if (!fd.valid()) return nullptr;
  int slot = RegisterTempFile(temp_path.c_str());
  return std::unique_ptr<TempFile>(new TempFile(std::move(fd), temp_path, destination, slot));
}

bool CloseMayReportWriteErrors(unsigned long fs_type) {
  // Local disk and memory file systems report a failed write at the write or at fsync,
  // never at close; network and user-space ones (NFS, SMB, FUSE, ...) may flush at close.
  switch (fs_type) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // XFS
    case 0x9123683E:  // Btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // F2FS
      return false;
    default: return true;
  }
}

namespace {

// Whether closing a file of the folder of `path` (open as `fd`) may report a late write
// error: asked of the file system once per folder and run.
bool FolderCloseMayFail(const std::string& path, int fd) {
  static std::map<std::string, bool> folders;
  std::string dir = path.substr(0, path.rfind('/') + 1);
  auto known = folders.find(dir);
  if (known != folders.end()) return known->second;
  struct statfs fs;
  bool may_fail =
      fstatfs(fd, &fs) != 0 || CloseMayReportWriteErrors(static_cast<unsigned long>(fs.f_type));
  folders.emplace(dir, may_fail);
  return may_fail;
}

}  // namespace

bool TempFile::Commit(mode_t mode) {
  if (committed_ || !fd_.valid()) return false;
  bool ok = fchmod(fd_.get(), mode) == 0;
  if (ok && !FolderCloseMayFail(temp_path_, fd_.get())) {
    // Closing can tell nothing here: the file is renamed while this descriptor holds its
    // lock, and closed after.
    EndingSignalsHeld held;
    if (rename(temp_path_.c_str(), target_.c_str()) != 0) return false;
    UnregisterTempFile(slot_);
    committed_ = true;
    fd_.Close();
    return true;
  }
  // The file's lock lives as long as a descriptor of it: a duplicate keeps it from the
  // close, which may report a late write error, to the rename, so that no other run's
  // sweep takes the file meanwhile.
  ScopedFd lock(fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
  ok = lock.valid() && ok;
  ok = fd_.Close() && ok;
  if (!ok) return false;
  EndingSignalsHeld held;
  if (rename(temp_path_.c_str(), target_.c_str()) != 0) return false;
  UnregisterTempFile(slot_);
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

mode_t ProcessUmask() {
  // umask() can only be read by setting it; this runs once, before any other thread
  // of this program creates files.
  static const mode_t kUmask = [] {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
  }();
  return kUmask;
}

mode_t ReplacementMode(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 0777;
  return 0644 & ~ProcessUmask();
}

std::unique_ptr<OutputFile> CreateReplacementFile(const std::string& path) {
  std::unique_ptr<TempFile> temp = TempFile::Create(path);
  if (!temp) return nullptr;
  mode_t mode = ReplacementMode(temp->target());
  return std::make_unique<ReplacementOutput>(std::move(temp), mode);
}

}  // namespace setup
