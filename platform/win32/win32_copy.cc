#include "platform/win32/win32_copy.h"

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/system.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/temp_files.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/windows_headers.h"

namespace setup {
namespace {

// The attributes a copy takes from its source, as CopyFileA gives them.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// One buffer for every copy of the run, so that a small file costs no allocation.
char* ChunkBuffer() {
  static const std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
  return buffer.get();
}

// The source, read front to back. Others may read, write and delete it meanwhile, as
// CopyFileA allows.
ScopedHandle OpenSource(const std::string& source) {
  return ScopedHandle(CreateFileA(source.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// False when the open files `a` and `b` report different times, sizes or link counts,
// which the handles of one file never do: most destinations are then told apart from
// their source without the volume's serial number, which under Wine is a query of the
// mount manager, two round trips through a device driver's process for each file. True
// when they agree or cannot be asked.
bool MayBeSameFile(HANDLE a, HANDLE b) {
  FILE_BASIC_INFO basic_a, basic_b;
  FILE_STANDARD_INFO standard_a, standard_b;
  if (!GetFileInformationByHandleEx(a, FileBasicInfo, &basic_a, sizeof basic_a) ||
      !GetFileInformationByHandleEx(b, FileBasicInfo, &basic_b, sizeof basic_b) ||
      !GetFileInformationByHandleEx(a, FileStandardInfo, &standard_a, sizeof standard_a) ||
      !GetFileInformationByHandleEx(b, FileStandardInfo, &standard_b, sizeof standard_b)) {
    return true;
  }
  return basic_a.CreationTime.QuadPart == basic_b.CreationTime.QuadPart &&
         basic_a.LastWriteTime.QuadPart == basic_b.LastWriteTime.QuadPart &&
         basic_a.ChangeTime.QuadPart == basic_b.ChangeTime.QuadPart &&
         standard_a.EndOfFile.QuadPart == standard_b.EndOfFile.QuadPart &&
         standard_a.NumberOfLinks == standard_b.NumberOfLinks;
}

// True when the open `source` and the file `destination` names are one file: the same
// volume and file index. False when the destination cannot be opened.
bool IsSameFile(HANDLE source, const std::string& destination) {
  ScopedHandle other(CreateFileA(destination.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION a, b;
  if (!other.is_valid() || !MayBeSameFile(source, other.get()) ||
      !GetFileInformationByHandle(source, &a) || !GetFileInformationByHandle(other.get(), &b)) {
    return false;
  }
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// Copies the rest of `in` to `out` a chunk at a time through `buffer` (kCopyChunk bytes), each
// shown to `watcher` (if any) once written; false on a read or write error, a short write, or once
// a console event has begun to end the program.
bool CopyContents(HANDLE in, HANDLE out, char* buffer, CopyWatcher* watcher) {
  if (watcher != nullptr) watcher->Begin();
  for (;;) {
    if (TempStopRequested()) {
      SetLastError(ERROR_OPERATION_ABORTED);
      return false;
    }
    DWORD got = 0;
    if (!ReadFile(in, buffer, static_cast<DWORD>(kCopyChunk), &got, nullptr)) return false;
    if (got == 0) return true;
    for (DWORD done = 0; done < got;) {
      DWORD written = 0;
      if (!WriteFile(out, buffer + done, got - done, &written, nullptr) || written == 0) {
        return false;
      }
      done += written;
    }
    if (watcher != nullptr) watcher->Written(buffer, got);
  }
}

// Gives the copy the source's modification time and attributes in one call; the other
// times stay as they are (zero means "unchanged").
bool TakeTimeAndAttributes(HANDLE out, const FILE_BASIC_INFO& source) {
  FILE_BASIC_INFO info = {};
  info.LastWriteTime = source.LastWriteTime;
  DWORD attributes = source.FileAttributes & kCopiedAttributes;
  info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(out, FileBasicInfo, &info, sizeof info) != FALSE;
}

// Renames the finished temporary file onto `destination`: through its handle when the
// destination has an NT name, else (or when that fails) by name with MoveFileExA after
// closing it. False, with the temporary file still in place, when neither succeeds or a
// console event has begun to end the program. `nt_name` is the destination's NtPathName.
// After a rename through the handle the file is still open, and its closing is the
// caller's.
bool Commit(LiveTemp& live, ScopedHandle& file, const std::string& destination,
            const std::wstring& nt_name) {
  if (!nt_name.empty() && live.RenameOnto(nt_name)) return true;
  live.ForgetHandle();
  file.Close();
  if (TempStopRequested()) {
    SetLastError(ERROR_OPERATION_ABORTED);
    return false;
  }
  return MoveFileExA(live.path().c_str(), destination.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace

PreparedCopy::~PreparedCopy() { Discard(); }

bool PreparedCopy::Prepare(const std::string& source, const std::string& destination, char* buffer,
                           CopyWatcher* watcher, bool* watched) {
  Discard();
  if (watched != nullptr) *watched = false;
  DestinationState state = ExamineDestination(destination);
  if (state == DestinationState::kRefused) return false;
  ScopedHandle in = OpenSource(source);
  if (!in.is_valid()) return false;
  if (state == DestinationState::kReplaceable && IsSameFile(in.get(), destination)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return false;
  }
  std::string prefix = DirectoryPrefix(destination);
  RemoveLeftoverTemps(prefix);
  LARGE_INTEGER size;
  bool watch = watcher != nullptr && GetFileSizeEx(in.get(), &size) &&
               static_cast<std::uint64_t>(size.QuadPart) <= watcher->limit();
  file_ = CreateTempFile(prefix, &temp_);
  if (!file_.is_valid()) return false;
  live_ = std::make_unique<LiveTemp>(temp_, file_.get(), nullptr);
  destination_ = destination;
  nt_destination_ = NtPathName(destination);
  FILE_BASIC_INFO basic;
  if (CopyContents(in.get(), file_.get(), buffer, watch ? watcher : nullptr) &&
      GetFileInformationByHandleEx(in.get(), FileBasicInfo, &basic, sizeof basic) &&
      TakeTimeAndAttributes(file_.get(), basic)) {
    if (watched != nullptr) *watched = watch;
    return true;
  }
  DWORD error = GetLastError();
  Discard();
  SetLastError(error);
  return false;
}

bool PreparedCopy::Commit(ScopedHandle* open_file) {
  if (live_ == nullptr) return false;
  if (setup::Commit(*live_, file_, destination_, nt_destination_)) {
    live_.reset();
    temp_.clear();
    if (open_file != nullptr) {
      *open_file = std::move(file_);
    } else {
      file_.Close();
    }
    return true;
  }
  DWORD error = GetLastError();
  Discard();
  SetLastError(error);
  return false;
}

void PreparedCopy::Discard() {
  if (live_ == nullptr) return;
  live_->ForgetHandle();
  file_.Close();
  DeleteTempFile(temp_);
  live_.reset();
  temp_.clear();
}

bool CopyWin32File(const std::string& source, const std::string& destination, CopyWatcher* watcher,
                   bool* watched) {
  PreparedCopy copy;
  if (copy.Prepare(source, destination, ChunkBuffer(), watcher, watched) && copy.Commit()) {
    return true;
  }
  if (watched != nullptr) *watched = false;
  return false;
}

std::wstring NtPathName(const std::string& path) {
  std::wstring wide = WideFromAnsi(path);
  if (wide.empty() || AnsiFromWide(wide) != path) return {};
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return {};
  full.resize(length);
  std::wstring_view view(full);
  if (view.starts_with(L"\\\\?\\")) return L"\\??\\" + full.substr(4);
  if (view.starts_with(L"\\\\.\\") || view.starts_with(L"\\??\\")) return {};
  if (view.starts_with(L"\\\\")) return L"\\??\\UNC\\" + full.substr(2);
  return L"\\??\\" + full;
}

}  // namespace setup
