#include "platform/win32/win32_system.h"

#include <algorithm>
#include <cstring>

#include "platform/win32/copy_ahead.h"
#include "platform/win32/registry_roots.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/system_dlls.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_copy.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_status.h"
#include "platform/win32/windows_headers.h"

namespace setup {
namespace {

// The buffer start-up gives the directory queries; a longer directory counts as none.
constexpr UINT kDirectoryBuffer = 256;

Status QueryDirectory(UINT(WINAPI* query)(LPSTR, UINT), std::string* dir) {
  char buffer[kDirectoryBuffer];
  UINT n = query(buffer, kDirectoryBuffer);
  if (n == 0) return StatusFromLastError(std::string());
  if (n >= kDirectoryBuffer) return Status(StatusKind::kUnsupported);
  dir->assign(buffer, n);
  return Status::Ok();
}

// A file that holds no version resource (the usual answer) or cannot be read (its own).
Status NoVersionBlock(const std::string& path) {
  Status status = StatusFromLastError(path);
  if (status.Is(StatusKind::kFailed)) return Status(StatusKind::kNotFound, path, status.os_error());
  return status;
}

bool IsPredefinedRoot(RegKey key) {
  return key == kHkeyClassesRoot || key == kHkeyCurrentUser || key == kHkeyLocalMachine ||
         key == kHkeyUsers || key == kHkeyCurrentConfig;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  std::size_t n = std::strlen(prefix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char a = text[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    char b = prefix[i];
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

class Win32Process : public Process {
 public:
  Win32Process(HANDLE process, HANDLE thread) : process_(process), thread_(thread) {}
  bool HasEnded() override { return WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; }

 private:
  ScopedHandle process_;
  ScopedHandle thread_;
};

}  // namespace

Status Win32System::WindowsDirectory(std::string* dir) {
  return QueryDirectory(GetWindowsDirectoryA, dir);
}

Status Win32System::SystemDirectory(std::string* dir) {
  return QueryDirectory(GetSystemDirectoryA, dir);
}

Status Win32System::OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) {
  Settle();
  std::unique_ptr<InputFile> input = OpenWin32InputFile(path);
  if (!input) return StatusFromLastError(path);
  *file = std::move(input);
  return Status::Ok();
}

Status Win32System::CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) {
  Settle();
  std::unique_ptr<OutputFile> output = CreateWin32Replacement(path);
  if (!output) return StatusFromLastError(path);
  *file = std::move(output);
  return Status::Ok();
}

Win32System::Win32System() = default;
Win32System::~Win32System() = default;

void Win32System::Settle() {
  if (copy_ahead_ != nullptr) copy_ahead_->Drop();
}

void Win32System::ExpectCopies(const std::vector<CopyPair>& copies) {
  if (copy_ahead_ == nullptr) copy_ahead_ = std::make_unique<CopyAhead>();
  copy_ahead_->Expect(copies);
}

Status Win32System::CopyFileBytes(const std::string& source, const std::string& destination) {
  if (copy_ahead_ != nullptr && copy_ahead_->Take(source, destination)) return Status::Ok();
  if (CopyWin32File(source, destination)) return Status::Ok();
  return StatusFromLastError(destination).WithOtherPath(source);
}

Status Win32System::CopyFileBytesWatched(const std::string& source, const std::string& destination,
                                         CopyWatcher* watcher, bool* watched) {
  Settle();
  if (CopyWin32File(source, destination, watcher, watched)) return Status::Ok();
  return StatusFromLastError(destination).WithOtherPath(source);
}

Status Win32System::MakeDirectory(const std::string& path) {
  Settle();
  if (!HasNoStreamColon(path)) return StatusFromError(ERROR_INVALID_NAME, path);
  if (CreateDirectoryA(path.c_str(), nullptr)) return Status::Ok();
  return StatusFromLastError(path);
}

Status Win32System::GetFileStatus(const std::string& path, std::uint32_t* mtime) {
  Settle();
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return StatusFromLastError(path);
  }
  std::uint64_t filetime = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                           data.ftLastWriteTime.dwLowDateTime;
  *mtime = SecondsSince1970(filetime);
  return Status::Ok();
}

Status Win32System::OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) {
  if (parent == 0) return StatusFromError(ERROR_INVALID_HANDLE, subkey);
  HKEY opened = nullptr;
  LONG error = RegOpenKeyExA(ToHkey(parent), subkey.c_str(), 0, KEY_READ, &opened);
  // The registry functions answer their error rather than setting the last error.
  if (error != ERROR_SUCCESS) return StatusFromError(static_cast<std::uint32_t>(error), subkey);
  *key = reinterpret_cast<RegKey>(opened);
  return Status::Ok();
}

Status Win32System::QueryRegistryValue(RegKey key, const std::string& name, std::string* data) {
  if (key == 0) return StatusFromError(ERROR_INVALID_HANDLE, name);
  HKEY hkey = ToHkey(key);
  DWORD type = 0;
  DWORD size = 0;
  LONG error = RegQueryValueExA(hkey, name.c_str(), nullptr, &type, nullptr, &size);
  if (error != ERROR_SUCCESS) return StatusFromError(static_cast<std::uint32_t>(error), name);
  // One byte more than reported, NUL, so a string stored without its NUL still ends.
  std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
  DWORD got = size;
  error = RegQueryValueExA(hkey, name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer.data()), &got);
  if (error != ERROR_SUCCESS) return StatusFromError(static_cast<std::uint32_t>(error), name);
  data->assign(buffer.data(), std::min<std::size_t>(got, size));
  return Status::Ok();
}

void Win32System::CloseRegistryKey(RegKey key) {
  if (key == 0 || IsPredefinedRoot(key)) return;
  RegCloseKey(ToHkey(key));
}

Status Win32System::ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) {
  Settle();
  const VersionFunctions& version = VersionLibrary();
  if (!version.get_file_version_info_size) return Status(StatusKind::kUnsupported, path);
  DWORD handle = 0;
  DWORD size = version.get_file_version_info_size(path.c_str(), &handle);
  // A file without a version resource answers ERROR_RESOURCE_TYPE_NOT_FOUND or the like.
  if (size == 0) return NoVersionBlock(path);
  block->assign(size, 0);
  if (!version.get_file_version_info(path.c_str(), 0, size, block->data())) {
    block->clear();
    return NoVersionBlock(path);
  }
  return Status::Ok();
}

Status Win32System::QueryVersionValue(const std::vector<std::uint8_t>& block,
                                      const std::string& sub_block, std::string* value) {
  const VersionFunctions& version = VersionLibrary();
  if (!version.ver_query_value) return Status(StatusKind::kUnsupported, sub_block);
  if (block.empty()) return Status(StatusKind::kNotFound, sub_block);
  // VerQueryValueA keeps the ANSI forms of the strings it hands out inside the block, so
  // it gets a copy it may write to.
  std::vector<std::uint8_t> work(block);
  void* found = nullptr;
  UINT length = 0;
  if (!version.ver_query_value(work.data(), sub_block.c_str(), &found, &length) ||
      found == nullptr) {
    return Status(StatusKind::kNotFound, sub_block);
  }
  const char* begin = static_cast<const char*>(found);
  const char* block_begin = reinterpret_cast<const char*>(work.data());
  const char* block_end = block_begin + work.size();
  if (begin < block_begin || begin > block_end) return Status(StatusKind::kCorrupt, sub_block);
  std::size_t room = static_cast<std::size_t>(block_end - begin);
  if (StartsWithNoCase(sub_block, "\\StringFileInfo")) {
    const void* nul = std::memchr(begin, '\0', room);
    std::size_t n = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - begin) : room;
    value->assign(begin, n);
  } else {
    value->assign(begin, std::min<std::size_t>(length, room));
  }
  return Status::Ok();
}

Status Win32System::CallDllRegisterServer(const std::string& path, std::int32_t* hresult) {
  Settle();
  DWORD error = 0;
  switch (CallComponentExport(path, "DllRegisterServer", hresult, &error)) {
    case ExportCall::kCalled: return Status::Ok();
    case ExportCall::kNotLoaded: return StatusFromError(error, path);
    case ExportCall::kNoExport: break;
  }
  return Status(StatusKind::kUnsupported, path, ERROR_PROC_NOT_FOUND);
}

Status Win32System::StartProcess(const std::string& program, const std::string& arguments,
                                 const std::string& working_dir,
                                 std::unique_ptr<Process>* process) {
  Settle();
  std::string line = "\"" + program + "\"";
  if (!arguments.empty()) line += " " + arguments;
  // CreateProcessA may write into its command line.
  std::vector<char> command(line.begin(), line.end());
  command.push_back('\0');
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info;
  std::memset(&info, 0, sizeof info);
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      working_dir.empty() ? nullptr : working_dir.c_str(), &startup, &info)) {
    return StatusFromLastError(program);
  }
  *process = std::make_unique<Win32Process>(info.hProcess, info.hThread);
  return Status::Ok();
}

void Win32System::SleepMilliseconds(int ms) { Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0); }

bool AnsiEncoding::IsLeadByte(unsigned char byte) const { return IsDBCSLeadByte(byte) != FALSE; }

std::string AnsiEncoding::ToUtf8(std::string_view text) { return Utf8FromWide(WideFromAnsi(text)); }

std::string AnsiEncoding::FromUtf8(std::string_view text) {
  return AnsiFromWide(WideFromUtf8(text));
}

}  // namespace setup
