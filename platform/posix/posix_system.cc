#include "platform/posix/posix_system.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "base/code_page_text.h"
#include "platform/posix/file_copy.h"
#include "platform/posix/path_map.h"
#include "platform/posix/pe_version.h"
#include "platform/posix/posix_file.h"
#include "platform/posix/posix_process.h"
#include "platform/posix/posix_status.h"
#include "platform/posix/reg_hive.h"
#include "platform/posix/version_block.h"
#include "platform/posix/wine_registry.h"

namespace setup {

namespace {

std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  std::string cwd = CurrentDirectory();
  if (cwd.empty()) return path;
  return (cwd == "/" ? std::string() : cwd) + "/" + path;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::uint32_t ClampTime(time_t seconds) {
  if (seconds < 0) return 0;
  if (static_cast<std::uint64_t>(seconds) > std::numeric_limits<std::uint32_t>::max()) {
    return std::numeric_limits<std::uint32_t>::max();
  }
  return static_cast<std::uint32_t>(seconds);
}

}  // namespace

std::string DefaultWinePrefix() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') return prefix;
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const passwd* entry = getpwuid(getuid());
    home = entry != nullptr ? entry->pw_dir : nullptr;
  }
  if (home == nullptr || *home == '\0') return std::string();
  return std::string(home) + "/.wine";
}

PosixSystem::PosixSystem() : PosixSystem(DefaultWinePrefix()) {}

PosixSystem::PosixSystem(std::string prefix) : prefix_(Absolute(prefix)) {
  while (prefix_.size() > 1 && prefix_.back() == '/') prefix_.pop_back();
  std::string drive_c, windows;
  has_windows_ = !prefix_.empty() && FindEntry(prefix_, "drive_c", &drive_c) &&
                 FindEntry(prefix_ + "/" + drive_c, "windows", &windows) &&
                 IsDirectory(prefix_ + "/" + drive_c + "/" + windows);
}

PosixSystem::~PosixSystem() = default;

std::string PosixSystem::MapPath(const std::string& path, MappedLeaf* leaf) {
  return MapWindowsPath(converter_.ToUtf8(path), prefix_, folders_, leaf);
}

Status PosixSystem::WindowsDirectory(std::string* dir) {
  if (!has_windows_) return Status(StatusKind::kUnsupported, prefix_);
  *dir = "C:\\windows";
  return Status::Ok();
}

Status PosixSystem::SystemDirectory(std::string* dir) {
  if (!has_windows_) return Status(StatusKind::kUnsupported, prefix_);
  *dir = "C:\\windows\\system32";
  return Status::Ok();
}

bool PosixSystem::MapAgain(const std::string& path, const MappedLeaf& leaf, std::string* mapped) {
  if (!leaf.in_folder || !leaf.found) return false;
  folders_.Folder(leaf.folder).Forget();
  std::string again = MapPath(path);
  if (again.empty() || again == *mapped) return false;
  *mapped = std::move(again);
  return true;
}

Status PosixSystem::OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) {
  MappedLeaf leaf;
  std::string mapped = MapPath(path, &leaf);
  if (mapped.empty()) return Unmapped(path);
  std::unique_ptr<InputFile> input = OpenInputFile(mapped);
  int error = errno;
  if (!input && MapAgain(path, leaf, &mapped)) {
    input = OpenInputFile(mapped);
    error = errno;
  }
  if (!input) return StatusFromErrno(error, path);
  *file = std::move(input);
  return Status::Ok();
}

namespace {

// A replacement whose commit the folder's index learns of: the folder is read again at
// its next look-up, the temporary file having come and gone.
class IndexedReplacement : public OutputFile {
 public:
  IndexedReplacement(std::unique_ptr<OutputFile> output, FolderIndex* folder, std::string path)
      : output_(std::move(output)), folder_(folder), path_(std::move(path)) {}
  Status Write(const void* data, std::size_t size) override {
    return Named(output_->Write(data, size));
  }
  Status SetModificationTime(std::int64_t ns_since_1970) override {
    return output_->SetModificationTime(ns_since_1970);
  }
  Status Commit() override {
    Status status = output_->Commit();
    if (folder_ != nullptr) folder_->Forget();
    return Named(std::move(status));
  }

 private:
  // The status names the destination as the script wrote it, not its POSIX path.
  Status Named(Status status) const {
    if (status.ok()) return status;
    return Status(status.kind(), path_, status.os_error());
  }

  std::unique_ptr<OutputFile> output_;
  FolderIndex* folder_;
  std::string path_;
};

}  // namespace

Status PosixSystem::Unmapped(const std::string& path) const {
  // The empty path names nothing, nor does a drive path without a prefix; otherwise a
  // component is one Windows refuses.
  bool nothing = path.empty() || prefix_.empty();
  return Status(nothing ? StatusKind::kNotFound : StatusKind::kInvalidName, path);
}

Status PosixSystem::CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) {
  MappedLeaf leaf;
  std::string mapped = MapPath(path, &leaf);
  if (mapped.empty()) return Unmapped(path);
  std::unique_ptr<OutputFile> output = CreateReplacementFile(mapped);
  if (!output) return StatusFromErrno(errno, path);
  FolderIndex* folder = leaf.in_folder ? &folders_.Folder(leaf.folder) : nullptr;
  *file = std::make_unique<IndexedReplacement>(std::move(output), folder, path);
  return Status::Ok();
}

Status PosixSystem::CopyFileBytes(const std::string& source, const std::string& destination) {
  bool watched = false;
  return CopyFileBytesWatched(source, destination, nullptr, &watched);
}

Status PosixSystem::CopyFileBytesWatched(const std::string& source, const std::string& destination,
                                         CopyWatcher* watcher, bool* watched) {
  *watched = false;
  for (int attempt = 0;; ++attempt) {
    MappedLeaf from_leaf, to_leaf;
    std::string from = MapPath(source, &from_leaf);
    std::string to = MapPath(destination, &to_leaf);
    if (from.empty() || to.empty()) {
      Status unmapped = Unmapped(from.empty() ? source : destination);
      return Status(unmapped.kind(), destination).WithOtherPath(source);
    }
    if (!to_leaf.in_folder) {
      if (CopyFileContents(from, to, false, watcher, watched)) return Status::Ok();
      return StatusFromErrno(errno, destination).WithOtherPath(source);
    }
    FolderIndex& folder = folders_.Folder(to_leaf.folder);
    folder.BeginChange();
    // A name the index does not hold, once checked against the watch's reports or the
    // folder's times, is a new file: there is nothing to look at before creating it.
    if (CopyFileContents(from, to, !to_leaf.found, watcher, watched)) {
      folder.Added(to_leaf.name);
      return Status::Ok();
    }
    Status failed = StatusFromErrno(errno, destination);
    failed.WithOtherPath(source);
    // An entry found in an index may have gone meanwhile: both folders are read again,
    // and the copy is tried once more when that maps the names differently.
    folder.Forget();
    if (attempt > 0 || !from_leaf.in_folder) return failed;
    folders_.Folder(from_leaf.folder).Forget();
    if (MapPath(source) == from && MapPath(destination) == to) return failed;
  }
}

Status PosixSystem::MakeDirectory(const std::string& path) {
  MappedLeaf leaf;
  std::string mapped = MapPath(path, &leaf);
  if (mapped.empty()) return Unmapped(path);
  FolderIndex* folder = leaf.in_folder ? &folders_.Folder(leaf.folder) : nullptr;
  if (folder != nullptr) folder->BeginChange();
  if (mkdir(mapped.c_str(), 0777) == 0) {
    if (folder != nullptr) folder->Added(leaf.name);
    return Status::Ok();
  }
  // CreateDirectoryA answers ERROR_ALREADY_EXISTS for any existing entry, a file too;
  // so does mkdir with EEXIST.
  return StatusFromErrno(errno, path);
}

Status PosixSystem::GetFileStatus(const std::string& path, std::uint32_t* mtime) {
  MappedLeaf leaf;
  std::string mapped = MapPath(path, &leaf);
  if (mapped.empty()) return Unmapped(path);
  struct stat st;
  bool found = stat(mapped.c_str(), &st) == 0;
  int error = errno;
  if (!found && MapAgain(path, leaf, &mapped)) {
    found = stat(mapped.c_str(), &st) == 0;
    error = errno;
  }
  if (!found) return StatusFromErrno(error, path);
  *mtime = ClampTime(st.st_mtime);
  return Status::Ok();
}

WineRegistry* PosixSystem::registry() {
  if (!registry_) registry_ = std::make_unique<WineRegistry>(prefix_);
  return registry_.get();
}

Status PosixSystem::OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) {
  RegKey opened = registry()->OpenKey(parent, subkey);
  if (opened == 0) return Status(StatusKind::kNotFound, subkey);
  *key = opened;
  return Status::Ok();
}

Status PosixSystem::QueryRegistryValue(RegKey key, const std::string& name, std::string* data) {
  if (!registry()->QueryValue(key, name, data)) return Status(StatusKind::kNotFound, name);
  return Status::Ok();
}

void PosixSystem::CloseRegistryKey(RegKey key) { registry()->CloseKey(key); }

Status PosixSystem::OpenRegistryKeyForWriting(RegKey parent, const std::string& subkey,
                                              KeyDisposition disposition, RegKey* key) {
  if (prefix_.empty()) return Status(StatusKind::kUnsupported, subkey);
  return registry()->OpenKeyForWriting(parent, subkey,
                                       disposition == KeyDisposition::kCreateIfMissing, key);
}

Status PosixSystem::SetRegistryString(RegKey key, const std::string& name, const std::string& value,
                                      bool expandable) {
  return registry()->SetValue(key, name, expandable ? kRegExpandSz : kRegSz, value, 0);
}

Status PosixSystem::SetRegistryDword(RegKey key, const std::string& name, std::uint32_t value) {
  return registry()->SetValue(key, name, kRegDword, std::string(), value);
}

Status PosixSystem::DeleteRegistryValue(RegKey key, const std::string& name) {
  return registry()->DeleteValue(key, name);
}

Status PosixSystem::FlushRegistryKey(RegKey key) { return registry()->Flush(key); }

Status PosixSystem::DeleteRegistryKey(RegKey parent, const std::string& subkey) {
  if (prefix_.empty()) return Status(StatusKind::kUnsupported, subkey);
  return registry()->DeleteKey(parent, subkey);
}

Status PosixSystem::ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) {
  std::string mapped = MapPath(path);
  if (mapped.empty()) return Unmapped(path);
  if (!ReadFileVersionBlock(mapped, block)) return StatusFromErrno(errno, path);
  return Status::Ok();
}

Status PosixSystem::QueryVersionValue(const std::vector<std::uint8_t>& block,
                                      const std::string& sub_block, std::string* value) {
  if (!QueryVersionBlock(block, sub_block, value)) return Status(StatusKind::kNotFound, sub_block);
  return Status::Ok();
}

Status PosixSystem::CallDllRegisterServer(const std::string& path, std::int32_t* hresult) {
  // As LoadLibraryA: a file name without an extension is a library's name without its
  // ".dll" (a name ending in a dot has an empty extension, and nothing is added).
  auto lead_byte = [](unsigned char b) { return IsCp932LeadByte(b); };
  bool extension = path.find('.', DirectoryLength(lead_byte, path)) != std::string::npos;
  Status status =
      CallRegisterServer(MapPath(path.empty() || extension ? path : path + ".dll"), hresult);
  if (status.ok()) return status;
  return Status(status.kind(), path, status.os_error());
}

Status PosixSystem::StartProcess(const std::string& program, const std::string& arguments,
                                 const std::string& working_dir,
                                 std::unique_ptr<Process>* process) {
  std::string mapped_dir;
  if (!working_dir.empty()) {
    mapped_dir = MapPath(working_dir);
    if (mapped_dir.empty()) return Unmapped(working_dir);
  }
  std::unique_ptr<Process> started =
      StartChildProcess(MapPath(program), SplitArguments(converter_.ToUtf8(arguments)), mapped_dir);
  if (!started) return StatusFromErrno(errno, program);
  *process = std::move(started);
  return Status::Ok();
}

void PosixSystem::SleepMilliseconds(int ms) {
  if (ms <= 0) return;
  timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace setup
