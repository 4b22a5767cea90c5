// The calls of PosixSystem that the install record needs: sizes, removals, renames, the
// record file itself and DllUnregisterServer. A name made here is added to its folder's
// index, as the other creations of PosixSystem do; a removal the index learns of by itself.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/posix/posix_process.h"
#include "platform/posix/posix_status.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/scoped_fd.h"

namespace setup {
namespace {

class PosixRecordFile : public RecordFile {
 public:
  PosixRecordFile(ScopedFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  Status WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      ssize_t n = pwrite(fd_.get(), bytes, size, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Status status = StatusFromErrno(n < 0 ? errno : ENOSPC, path_);
        return status.Is(StatusKind::kDiskFull) ? status : Status(StatusKind::kWriteError, path_);
      }
      bytes += n;
      size -= static_cast<std::size_t>(n);
      offset += static_cast<std::uint64_t>(n);
    }
    return Status::Ok();
  }
  Status Sync() override {
    if (fdatasync(fd_.get()) != 0) return Status(StatusKind::kWriteError, path_, errno);
    return Status::Ok();
  }

 private:
  ScopedFd fd_;
  std::string path_;
};

}  // namespace

Status PosixSystem::GetFileSize(const std::string& path, std::uint64_t* size) {
  std::string mapped = MapPath(path);
  struct stat st;
  if (mapped.empty() || stat(mapped.c_str(), &st) != 0) return Status(StatusKind::kNotFound, path);
  if (S_ISDIR(st.st_mode)) return Status(StatusKind::kIsDirectory, path);
  *size = static_cast<std::uint64_t>(st.st_size);
  return Status::Ok();
}

Status PosixSystem::RemoveFile(const std::string& path) {
  std::string mapped = MapPath(path);
  if (mapped.empty()) return Status(StatusKind::kNotFound, path);
  struct stat st;
  if (lstat(mapped.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    return Status(StatusKind::kIsDirectory, path);
  }
  // The folder's index learns of a removal by itself (its watch, or the folder's times).
  int result = unlink(mapped.c_str());
  int error = errno;
  return result == 0 ? Status::Ok() : StatusFromErrno(error, path);
}

Status PosixSystem::RemoveEmptyDirectory(const std::string& path) {
  std::string mapped = MapPath(path);
  if (mapped.empty()) return Status(StatusKind::kNotFound, path);
  int result = rmdir(mapped.c_str());
  int error = errno;
  if (result == 0) return Status::Ok();
  return error == ENOTEMPTY || error == EEXIST ? Status(StatusKind::kFailed, path, error)
                                               : StatusFromErrno(error, path);
}

Status PosixSystem::RenameFile(const std::string& from, const std::string& to, bool replace) {
  MappedLeaf to_leaf;
  std::string source = MapPath(from);
  std::string target = MapPath(to, &to_leaf);
  if (source.empty()) return Status(StatusKind::kNotFound, from);
  if (target.empty()) return Status(StatusKind::kNotFound, to);
  struct stat st;
  if (!replace && lstat(target.c_str(), &st) == 0) return Status(StatusKind::kAlreadyExists, to);
  FolderIndex* folder = to_leaf.in_folder ? &folders().Folder(to_leaf.folder) : nullptr;
  if (folder != nullptr) folder->BeginChange();
  int result = std::rename(source.c_str(), target.c_str());
  int error = errno;
  if (folder != nullptr && result == 0) folder->Added(to_leaf.name);
  return result == 0 ? Status::Ok() : StatusFromErrno(error, from).WithOtherPath(to);
}

Status PosixSystem::LinkFile(const std::string& existing, const std::string& link) {
  std::string from = MapPath(existing);
  MappedLeaf leaf;
  std::string to = MapPath(link, &leaf);
  if (from.empty()) return Status(StatusKind::kNotFound, existing);
  if (to.empty()) return Status(StatusKind::kNotFound, link);
  FolderIndex* folder = leaf.in_folder ? &folders().Folder(leaf.folder) : nullptr;
  if (folder != nullptr) folder->BeginChange();
  int result = ::link(from.c_str(), to.c_str());
  int error = errno;
  if (folder != nullptr && result == 0) folder->Added(leaf.name);
  if (result == 0) return Status::Ok();
  if (error == EPERM || error == EOPNOTSUPP || error == EXDEV || error == EMLINK) {
    return Status(StatusKind::kUnsupported, existing, static_cast<std::uint32_t>(error));
  }
  return StatusFromErrno(error, existing).WithOtherPath(link);
}

Status PosixSystem::OpenRecordFile(const std::string& path, bool create,
                                   std::unique_ptr<RecordFile>* file) {
  MappedLeaf leaf;
  std::string mapped = MapPath(path, &leaf);
  if (mapped.empty()) return Status(StatusKind::kNotFound, path);
  int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0);
  ScopedFd fd(open(mapped.c_str(), flags, 0644));
  if (!fd.valid()) return StatusFromErrno(errno, path);
  if (create && leaf.in_folder) folders().Folder(leaf.folder).Forget();
  *file = std::make_unique<PosixRecordFile>(std::move(fd), path);
  return Status::Ok();
}

Status PosixSystem::CallDllUnregisterServer(const std::string& path, std::int32_t* hresult) {
  std::string mapped = MapPath(path);
  if (mapped.empty()) return Status(StatusKind::kNotFound, path);
  Status called = CallServerEntry(mapped, "DllUnregisterServer", hresult);
  if (called.ok()) return called;
  // As System's contract names it, whatever kept the library from loading (kNotFound),
  // and with the component's path as the record wrote it, not its POSIX path.
  StatusKind kind =
      called.Is(StatusKind::kUnsupported) ? StatusKind::kUnsupported : StatusKind::kNotFound;
  return Status(kind, path, called.os_error());
}

Status PosixSystem::RemoveFileAtRestart(const std::string& path) {
  return Status(StatusKind::kUnsupported, path);
}

}  // namespace setup
