// The calls of Win32System that the install record needs: sizes, removals, renames, the
// record file itself, DllUnregisterServer and deletion at the next restart. ANSI
// functions, as every other path of this program.
#include "platform/win32/scoped_handle.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/win32_status.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/windows_headers.h"

namespace setup {
namespace {

class Win32RecordFile : public RecordFile {
 public:
  Win32RecordFile(ScopedHandle file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}
  Status WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(file_.get(), bytes, chunk, &written, &at) || written == 0) {
        Status status = StatusFromLastError(path_);
        return status.Is(StatusKind::kDiskFull) ? status : Status(StatusKind::kWriteError, path_);
      }
      bytes += written;
      size -= written;
      offset += written;
    }
    return Status::Ok();
  }
  Status Sync() override {
    if (!FlushFileBuffers(file_.get())) return Status(StatusKind::kWriteError, path_);
    return Status::Ok();
  }

 private:
  ScopedHandle file_;
  std::string path_;
};

}  // namespace

Status Win32System::GetFileSize(const std::string& path, std::uint64_t* size) {
  Settle();
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return Status(StatusKind::kNotFound, path, GetLastError());
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Status(StatusKind::kIsDirectory, path);
  }
  *size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  return Status::Ok();
}

Status Win32System::RemoveFile(const std::string& path) {
  Settle();
  if (DeleteFileA(path.c_str())) return Status::Ok();
  return StatusFromLastError(path);
}

Status Win32System::RemoveEmptyDirectory(const std::string& path) {
  Settle();
  if (RemoveDirectoryA(path.c_str())) return Status::Ok();
  Status status = StatusFromLastError(path);
  return status.os_error() == ERROR_DIR_NOT_EMPTY
             ? Status(StatusKind::kFailed, path, ERROR_DIR_NOT_EMPTY)
             : status;
}

Status Win32System::RenameFile(const std::string& from, const std::string& to, bool replace) {
  Settle();
  DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
  if (MoveFileExA(from.c_str(), to.c_str(), flags)) return Status::Ok();
  return StatusFromLastError(from).WithOtherPath(to);
}

Status Win32System::LinkFile(const std::string& existing, const std::string& link) {
  Settle();
  if (CreateHardLinkA(link.c_str(), existing.c_str(), nullptr)) return Status::Ok();
  DWORD error = GetLastError();
  if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
      error == ERROR_NOT_SAME_DEVICE) {
    return Status(StatusKind::kUnsupported, existing, error);
  }
  SetLastError(error);
  return StatusFromLastError(existing).WithOtherPath(link);
}

Status Win32System::OpenRecordFile(const std::string& path, bool create,
                                   std::unique_ptr<RecordFile>* file) {
  Settle();
  ScopedHandle handle(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
  if (!handle.is_valid()) return StatusFromLastError(path);
  *file = std::make_unique<Win32RecordFile>(std::move(handle), path);
  return Status::Ok();
}

Status Win32System::CallDllUnregisterServer(const std::string& path, std::int32_t* hresult) {
  Settle();
  DWORD error = 0;
  switch (CallComponentExport(path, "DllUnregisterServer", hresult, &error)) {
    case ExportCall::kCalled: return Status::Ok();
    case ExportCall::kNotLoaded: return Status(StatusKind::kNotFound, path, error);
    case ExportCall::kNoExport: break;
  }
  return Status(StatusKind::kUnsupported, path);
}

Status Win32System::RemoveFileAtRestart(const std::string& path) {
  Settle();
  if (MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return Status::Ok();
  return StatusFromLastError(path);
}

}  // namespace setup
