#include "platform/posix/posix_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <map>
#include <utility>
#include <vector>

#include "platform/posix/posix_status.h"
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

  Status Write(const void* data, std::size_t size) override {
    if (failed_.ok() && !WriteAll(temp_->fd(), data, size)) failed_ = WriteFailure(errno);
    return failed_;
  }

  Status Commit() override {
    if (!failed_.ok()) return failed_;
    if (temp_->Commit(mode_)) return Status::Ok();
    return WriteFailure(errno);
  }

  Status SetModificationTime(std::int64_t ns_since_1970) override {
    if (!failed_.ok()) return failed_;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(ns_since_1970 / 1000000000);
    times[1].tv_nsec = static_cast<long>(ns_since_1970 % 1000000000);
    if (times[1].tv_nsec < 0) {
      times[1].tv_nsec += 1000000000;
      times[1].tv_sec -= 1;
    }
    if (futimens(temp_->fd(), times) != 0) return WriteFailure(errno);
    return Status::Ok();
  }

 private:
  // A full disk keeps its kind; any other error of writing, flushing, closing or renaming
  // is a write error on the destination.
  Status WriteFailure(int error) const {
    Status status = StatusFromErrno(error, temp_->target());
    if (status.Is(StatusKind::kDiskFull)) return status;
    return Status(StatusKind::kWriteError, temp_->target(), status.os_error());
  }

  std::unique_ptr<TempFile> temp_;
  mode_t mode_;
  Status failed_;  // a failed write spoils the whole output
};

}  // namespace

std::unique_ptr<InputFile> OpenInputFile(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  // O_NONBLOCK keeps a FIFO from blocking the open; reads block again below.
  ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.valid()) return nullptr;
  struct stat st;
  if (fstat(fd.get(), &st) != 0) return nullptr;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return nullptr;
  }
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
    if (n == 0) {  // no progress: treat as a full device
      errno = ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::unique_ptr<TempFile> TempFile::Refused(const std::string& destination) {
  // No name (ENOENT), or a name that ends in a separator: a folder's (EISDIR).
  errno = destination.empty() ? ENOENT : EISDIR;
  return nullptr;
}

TempFile::TempFile(ScopedFd fd, std::string temp_path, std::string target, int slot)
    : fd_(std::move(fd)),
      temp_path_(std::move(temp_path)),
      target_(std::move(target)),
      slot_(slot) {}

TempFile::~TempFile() {
  if (committed_ || temp_path_.empty()) return;
  if (unnamed_) {
    // Registered with its descriptor: a signal before the unlink removes the file, one
    // after it finds the name gone.
    unlink(temp_path_.c_str());
    UnregisterTempFile(slot_);
    return;
  }
  EndingSignalsHeld held;
  unlink(temp_path_.c_str());
  UnregisterTempFile(slot_);
}

std::unique_ptr<TempFile> TempFile::Create(const std::string& destination,
                                           const struct stat* source, TempKind kind, mode_t mode) {
  if (destination.empty() || destination.back() == '/') return Refused(destination);
  struct stat st;
  if (lstat(destination.c_str(), &st) != 0) {
    return errno == ENOENT ? CreateNew(destination, kind, mode) : nullptr;
  }
  if (S_ISLNK(st.st_mode)) {
    // The link itself is replaced, whatever it points to; only a link to a directory is
    // refused, being a directory in the Windows view of the prefix.
    struct stat target;
    if (stat(destination.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
      errno = EISDIR;
      return nullptr;
    }
    std::unique_ptr<TempFile> temp = CreateNew(destination, kind, mode);
    if (temp) temp->known_missing_ = false;
    return temp;
  }
  // A device, FIFO or socket is no file that a copy may replace.
  if (!S_ISREG(st.st_mode) || !MayReplace(st)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
    return nullptr;
  }
  // Copying a file onto itself would truncate it on the way; Windows refuses with a
  // sharing violation, and so does this copy (EBUSY: in use).
  if (source != nullptr && st.st_dev == source->st_dev && st.st_ino == source->st_ino) {
    errno = EBUSY;
    return nullptr;
  }
  std::unique_ptr<TempFile> temp = CreateNew(destination, kind, mode);
  if (temp) temp->known_missing_ = false;
  return temp;
}

std::unique_ptr<TempFile> TempFile::CreateNew(const std::string& destination, TempKind kind,
                                              mode_t mode) {
  if (destination.empty() || destination.back() == '/') return Refused(destination);
  std::size_t slash = destination.rfind('/');
  std::string dir = slash == std::string::npos ? std::string() : destination.substr(0, slash + 1);
  RemoveLeftoverTempFiles(dir);
  if (kind == TempKind::kUnnamedWhereSupported) {
    if (std::unique_ptr<TempFile> temp = CreateUnnamed(dir, destination, mode)) return temp;
  }
  // Held, so that no signal falls between the file's creation and its registration.
  EndingSignalsHeld held;
  std::string temp_path;
  ScopedFd fd = CreateTempFile(dir, &temp_path);
  if (!fd.valid()) return nullptr;
  // Registered by its name alone: a commit may close this descriptor before the rename.
  int slot = RegisterTempFile(temp_path.c_str());
  std::unique_ptr<TempFile> temp(new TempFile(std::move(fd), temp_path, destination, slot));
  temp->known_missing_ = true;
  return temp;
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

// What a run learns of a folder's file system, asked once per folder and run.
struct FolderTraits {
  bool close_checked = false;
  bool close_may_fail = true;  // closing a file there may report a late write error
  bool unnamed = true;         // unnamed files can be made there (until one fails)
  bool acl_checked = false;
  bool default_acl = false;  // new files take their mode from the folder's default ACL
};

FolderTraits& TraitsOf(const std::string& dir) {
  static std::map<std::string, FolderTraits> folders;
  return folders[dir];
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

// Whether closing a file of the folder `dir` (open as `fd`) may report a late write
// error.
bool FolderCloseMayFail(const std::string& dir, int fd) {
  FolderTraits& traits = TraitsOf(dir);
  if (!traits.close_checked) {
    struct statfs fs;
    traits.close_may_fail =
        fstatfs(fd, &fs) != 0 || CloseMayReportWriteErrors(static_cast<unsigned long>(fs.f_type));
    traits.close_checked = true;
  }
  return traits.close_may_fail;
}

// Whether a file made in `dir` takes its mode from a default ACL rather than the umask.
bool FolderHasDefaultAcl(const std::string& dir) {
  FolderTraits& traits = TraitsOf(dir);
  if (!traits.acl_checked) {
    traits.default_acl =
        getxattr(dir.empty() ? "." : dir.c_str(), "system.posix_acl_default", nullptr, 0) > 0;
    traits.acl_checked = true;
  }
  return traits.default_acl;
}

}  // namespace

std::unique_ptr<TempFile> TempFile::CreateUnnamed(const std::string& dir,
                                                  const std::string& destination, mode_t mode) {
  FolderTraits& traits = TraitsOf(dir);
  if (!traits.unnamed || !UnnamedFilesLinkable()) return nullptr;
  ScopedFd fd(open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode & 0777));
  if (!fd.valid()) {
    // A file system without unnamed files says so by one of these; any other error is
    // the folder's own, and the named file that is tried instead meets it too.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) traits.unnamed = false;
    return nullptr;
  }
  // An unnamed file is linked in before it is closed, so a late write error at the close
  // would come too late to keep the old file.
  if (FolderCloseMayFail(dir, fd.get())) {
    traits.unnamed = false;
    return nullptr;
  }
  std::unique_ptr<TempFile> temp(new TempFile(std::move(fd), std::string(), destination, -1));
  temp->unnamed_ = true;
  temp->known_missing_ = true;
  if (!FolderHasDefaultAcl(dir)) temp->created_mode_ = mode & 0777 & ~ProcessUmask();
  return temp;
}

bool TempFile::Committed(ScopedFd* close_with) {
  UnregisterTempFile(slot_);
  slot_ = -1;
  committed_ = true;
  // An unnamed file's close can tell nothing more (CreateUnnamed): it may go with another.
  if (close_with != nullptr) {
    CloseBoth(fd_, *close_with);
  } else {
    fd_.Close();
  }
  return true;
}

bool TempFile::CommitUnnamed(mode_t mode, ScopedFd* close_with) {
  if (mode != created_mode_ && fchmod(fd_.get(), mode) != 0) return false;
  if (known_missing_) {
    if (LinkUnnamedFile(fd_.get(), target_)) return Committed(close_with);
    if (errno != EEXIST) return false;
  }
  // Something stands at the destination: the file takes a name of the pattern, locked
  // before it has one so that no other run's sweep can take it, and registered before
  // it has one so that no signal can leave it behind; then it is renamed over the
  // destination. A file system without flock gives no lock to anyone.
  if (flock(fd_.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
  std::string dir = FolderOf(target_);
  for (int attempt = 0; attempt < 8 && temp_path_.empty(); ++attempt) {
    std::string name = NewTempFileName(dir);
    int slot = RegisterTempFile(name.c_str(), fd_.get());
    if (LinkUnnamedFile(fd_.get(), name)) {
      temp_path_ = std::move(name);
      slot_ = slot;
      break;
    }
    int error = errno;
    UnregisterTempFile(slot);
    if (error != EEXIST) return false;
  }
  if (temp_path_.empty() || rename(temp_path_.c_str(), target_.c_str()) != 0) return false;
  return Committed(close_with);
}

bool TempFile::Commit(mode_t mode, ScopedFd* close_with) {
  if (committed_ || !fd_.valid()) {
    errno = EINVAL;
    return false;
  }
  if (unnamed_) return CommitUnnamed(mode, close_with);
  bool ok = fchmod(fd_.get(), mode) == 0;
  if (ok && !FolderCloseMayFail(FolderOf(temp_path_), fd_.get())) {
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
