#include "platform/win32/win32_status.h"

#include <utility>

#include "platform/win32/windows_headers.h"

namespace setup {

StatusKind StatusKindOfError(std::uint32_t error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_MOD_NOT_FOUND: return StatusKind::kNotFound;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return StatusKind::kAlreadyExists;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return StatusKind::kAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return StatusKind::kDiskFull;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY: return StatusKind::kInvalidName;
    case ERROR_PROC_NOT_FOUND:
    case ERROR_NOT_SUPPORTED: return StatusKind::kUnsupported;
    default: return StatusKind::kFailed;
  }
}

Status StatusFromError(std::uint32_t error, std::string path) {
  if (error == 0) return Status(StatusKind::kFailed, std::move(path));
  return Status(StatusKindOfError(error), std::move(path), error);
}

Status StatusFromLastError(std::string path) {
  return StatusFromError(static_cast<std::uint32_t>(GetLastError()), std::move(path));
}

}  // namespace setup
