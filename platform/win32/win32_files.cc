#include "platform/win32/win32_files.h"

#include <algorithm>
#include <vector>

#include "base/code_page_text.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/temp_files.h"
#include "platform/win32/win32_status.h"
#include "platform/win32/windows_headers.h"

namespace setup {
namespace {

// Largest single ReadFile/WriteFile request; DWORD counts cannot hold more.
constexpr std::size_t kMaxIo = 1u << 30;
// Text copies write line by line; collecting the bytes saves a system call per line.
constexpr std::size_t kWriteBuffer = 64 * 1024;

class Win32InputFile : public InputFile {
 public:
  explicit Win32InputFile(ScopedHandle file) : file_(std::move(file)) {}

  std::ptrdiff_t Read(void* buffer, std::size_t size) override {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min(size, kMaxIo));
    if (!ReadFile(file_.get(), buffer, want, &got, nullptr)) return -1;
    return static_cast<std::ptrdiff_t>(got);
  }

 private:
  ScopedHandle file_;
};

// Writes all of `data` to `file`; false on any error or short write.
bool WriteAll(HANDLE file, const char* data, std::size_t size) {
  while (size > 0) {
    DWORD chunk = static_cast<DWORD>(std::min(size, kMaxIo));
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_HANDLE_DISK_FULL);  // no progress: taken as a full disk
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

class Win32Replacement : public OutputFile {
 public:
  Win32Replacement(ScopedHandle file, std::string temp_path, std::string destination)
      : file_(std::move(file)),
        live_(std::move(temp_path), file_.get(), nullptr),
        destination_(std::move(destination)) {
    buffer_.reserve(kWriteBuffer);
  }

  ~Win32Replacement() override {
    if (committed_) return;
    live_.ForgetHandle();
    file_.Close();
    DeleteFileA(live_.path().c_str());
  }

  Status Write(const void* data, std::size_t size) override {
    if (!failed_.ok()) return failed_;
    const char* bytes = static_cast<const char*>(data);
    if (buffer_.size() + size <= kWriteBuffer) {
      buffer_.insert(buffer_.end(), bytes, bytes + size);
      return Status::Ok();
    }
    if (!Flush() || !WriteAll(file_.get(), bytes, size)) failed_ = WriteFailure();
    return failed_;
  }

  Status SetModificationTime(std::int64_t ns_since_1970) override {
    if (!failed_.ok()) return failed_;
    if (!Flush()) return failed_ = WriteFailure();
    // FILETIME counts 100 ns from 1601; 11644473600 seconds lie between the two epochs.
    std::int64_t ticks = ns_since_1970 / 100 + 116444736000000000LL;
    if (ticks < 0) ticks = 0;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xffffffff);
    time.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    if (SetFileTime(file_.get(), nullptr, nullptr, &time) == 0) {
      return StatusFromLastError(destination_);
    }
    return Status::Ok();
  }

  Status Commit() override {
    if (!failed_.ok()) return failed_;
    if (committed_) return StatusFromError(ERROR_INVALID_HANDLE, destination_);
    if (!Flush()) return failed_ = WriteFailure();
    live_.ForgetHandle();
    if (!file_.Close()) return WriteFailure();
    if (TempStopRequested()) return StatusFromError(ERROR_OPERATION_ABORTED, destination_);
    if (!MoveFileExA(live_.path().c_str(), destination_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return WriteFailure();
    }
    committed_ = true;
    return Status::Ok();
  }

 private:
  bool Flush() {
    bool ok = WriteAll(file_.get(), buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
  }

  // The last error of a failed write, flush, close or rename: a full disk keeps its kind,
  // any other is a write error on the destination.
  Status WriteFailure() const {
    Status status = StatusFromLastError(destination_);
    if (status.Is(StatusKind::kDiskFull)) return status;
    return Status(StatusKind::kWriteError, destination_, status.os_error());
  }

  ScopedHandle file_;
  LiveTemp live_;
  std::string destination_;
  std::vector<char> buffer_;
  bool committed_ = false;
  Status failed_;  // a failed write spoils the whole output
};

}  // namespace

std::unique_ptr<InputFile> OpenWin32InputFile(const std::string& path) {
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.is_valid()) return nullptr;
  return std::make_unique<Win32InputFile>(std::move(file));
}

bool HasNoStreamColon(const std::string& path) {
  std::size_t start = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  auto is_lead_byte = [](unsigned char b) { return IsDBCSLeadByte(b) != 0; };
  return FindChar(is_lead_byte, path, start, ':') == path.size();
}

DestinationState ExamineDestination(const std::string& path) {
  if (!HasNoStreamColon(path)) {
    SetLastError(ERROR_INVALID_NAME);
    return DestinationState::kRefused;
  }
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? DestinationState::kAbsent
                                                  : DestinationState::kRefused;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0) {
    return DestinationState::kReplaceable;
  }
  // What CreateFileA answers for a directory or a read-only file opened for writing.
  SetLastError(ERROR_ACCESS_DENIED);
  return DestinationState::kRefused;
}

bool MayReplace(const std::string& path) {
  return ExamineDestination(path) != DestinationState::kRefused;
}

std::unique_ptr<OutputFile> CreateWin32Replacement(const std::string& path) {
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  if (!MayReplace(path)) return nullptr;
  std::string prefix = DirectoryPrefix(path);
  RemoveLeftoverTemps(prefix);
  std::string temp_path;
  ScopedHandle file = CreateTempFile(prefix, &temp_path);
  if (!file.is_valid()) return nullptr;
  return std::make_unique<Win32Replacement>(std::move(file), std::move(temp_path), path);
}

std::string DirectoryPrefix(const std::string& path) {
  auto is_lead_byte = [](unsigned char c) { return IsDBCSLeadByte(c) != FALSE; };
  std::size_t end = DirectoryLength(is_lead_byte, path);
  if (end == 0 && path.size() >= 2 && path[1] == ':') end = 2;
  return path.substr(0, end);
}

std::uint32_t SecondsSince1970(std::uint64_t filetime) {
  constexpr std::uint64_t kEpochIn100ns = 116444736000000000ull;
  if (filetime < kEpochIn100ns) return 0;
  return static_cast<std::uint32_t>((filetime - kEpochIn100ns) / 10000000ull);
}

}  // namespace setup
