#include "platform/posix/posix_status.h"

#include <cerrno>
#include <utility>

namespace setup {

StatusKind StatusKindOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return StatusKind::kNotFound;
    case EEXIST:
    case ENOTEMPTY: return StatusKind::kAlreadyExists;
    case EISDIR: return StatusKind::kIsDirectory;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EBUSY: return StatusKind::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return StatusKind::kDiskFull;
    case ENAMETOOLONG:
    case EILSEQ: return StatusKind::kInvalidName;
    case ENOSYS:
    case EOPNOTSUPP: return StatusKind::kUnsupported;
    default: return StatusKind::kFailed;
  }
}

Status StatusFromErrno(int error, std::string path) {
  if (error == 0) return Status(StatusKind::kFailed, std::move(path));
  return Status(StatusKindOfErrno(error), std::move(path), static_cast<std::uint32_t>(error));
}

}  // namespace setup
