#include "platform/posix/posix_system.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "platform/posix/file_copy.h"
#include "platform/posix/path_map.h"
#include "platform/posix/pe_version.h"
#include "platform/posix/posix_file.h"
#include "platform/posix/posix_process.h"
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

bool PosixSystem::WindowsDirectory(std::string* dir) {
  if (!has_windows_) return false;
  *dir = "C:\\windows";
  return true;
}

bool PosixSystem::SystemDirectory(std::string* dir) {
  if (!has_windows_) return false;
  *dir = "C:\\windows\\system32";
  return true;
}

bool PosixSystem::MapAgain(const std::string& path, const MappedLeaf& leaf, std::string* mapped) {
  if (!leaf.in_folder || !leaf.found) return false;
  folders_.Folder(leaf.folder).Forget();
  std::string again = MapPath(path);
  if (again.empty() || again == *mapped) return false;
  *mapped = std::move(again);
  return true;
}

std::unique_ptr<InputFile> PosixSystem::OpenForReading(const std::string& path) {
  MappedLeaf leaf;
  std::string mapped = MapPath(path, &leaf);
  std::unique_ptr<InputFile> input = OpenInputFile(mapped);
  if (!input && MapAgain(path, leaf, &mapped)) input = OpenInputFile(mapped);
  return input;
}

namespace {

// A replacement whose commit the folder's index learns of: the folder is read again at
// its next look-up, the temporary file having come and gone.
class IndexedReplacement : public OutputFile {
 public:
  IndexedReplacement(std::unique_ptr<OutputFile> output, FolderIndex* folder)
      : output_(std::move(output)), folder_(folder) {}
  bool Write(const void* data, std::size_t size) override { return output_->Write(data, size); }
  bool SetModificationTime(std::int64_t ns_since_1970) override {
    return output_->SetModificationTime(ns_since_1970);
  }
  bool Commit() override {
    bool ok = output_->Commit();
    if (folder_ != nullptr) folder_->Forget();
    return ok;
  }

 private:
  std::unique_ptr<OutputFile> output_;
  FolderIndex* folder_;
};

}  // namespace

std::unique_ptr<OutputFile> PosixSystem::CreateReplacement(const std::string& path) {
  MappedLeaf leaf;
  std::string mapped = MapPath(path, &leaf);
  std::unique_ptr<OutputFile> output = CreateReplacementFile(mapped);
  if (!output) return nullptr;
  FolderIndex* folder = leaf.in_folder ? &folders_.Folder(leaf.folder) : nullptr;
  return std::make_unique<IndexedReplacement>(std::move(output), folder);
}

bool PosixSystem::CopyFileBytes(const std::string& source, const std::string& destination) {
  for (int attempt = 0;; ++attempt) {
    MappedLeaf from_leaf, to_leaf;
    std::string from = MapPath(source, &from_leaf);
    std::string to = MapPath(destination, &to_leaf);
    if (from.empty() || to.empty()) return false;
    if (!to_leaf.in_folder) return CopyFileContents(from, to);
    FolderIndex& folder = folders_.Folder(to_leaf.folder);
    folder.BeginChange();
    // A name the index does not hold, once checked against the watch's reports or the
    // folder's times, is a new file: there is nothing to look at before creating it.
    if (CopyFileContents(from, to, !to_leaf.found)) {
      folder.Added(to_leaf.name);
      return true;
    }
    // An entry found in an index may have gone meanwhile: both folders are read again,
    // and the copy is tried once more when that maps the names differently.
    folder.Forget();
    if (attempt > 0 || !from_leaf.in_folder) return false;
    folders_.Folder(from_leaf.folder).Forget();
    if (MapPath(source) == from && MapPath(destination) == to) return false;
  }
}

MakeDirResult PosixSystem::MakeDirectory(const std::string& path) {
  MappedLeaf leaf;
  std::string mapped = MapPath(path, &leaf);
  if (mapped.empty()) return MakeDirResult::kFailed;
  FolderIndex* folder = leaf.in_folder ? &folders_.Folder(leaf.folder) : nullptr;
  if (folder != nullptr) folder->BeginChange();
  if (mkdir(mapped.c_str(), 0777) == 0) {
    if (folder != nullptr) folder->Added(leaf.name);
    return MakeDirResult::kCreated;
  }
  // CreateDirectoryA answers ERROR_ALREADY_EXISTS for any existing entry, a file too.
  return errno == EEXIST ? MakeDirResult::kAlreadyExists : MakeDirResult::kFailed;
}

bool PosixSystem::GetFileStatus(const std::string& path, std::uint32_t* mtime) {
  MappedLeaf leaf;
  std::string mapped = MapPath(path, &leaf);
  struct stat st;
  bool found = !mapped.empty() && stat(mapped.c_str(), &st) == 0;
  if (!found && MapAgain(path, leaf, &mapped)) found = stat(mapped.c_str(), &st) == 0;
  if (!found) return false;
  *mtime = ClampTime(st.st_mtime);
  return true;
}

WineRegistry* PosixSystem::registry() {
  if (!registry_) registry_ = std::make_unique<WineRegistry>(prefix_);
  return registry_.get();
}

RegKey PosixSystem::OpenRegistryKey(RegKey parent, const std::string& subkey) {
  return registry()->OpenKey(parent, subkey);
}

bool PosixSystem::QueryRegistryValue(RegKey key, const std::string& name, std::string* data) {
  return registry()->QueryValue(key, name, data);
}

void PosixSystem::CloseRegistryKey(RegKey key) { registry()->CloseKey(key); }

bool PosixSystem::ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) {
  std::string mapped = MapPath(path);
  return !mapped.empty() && ReadFileVersionBlock(mapped, block);
}

bool PosixSystem::QueryVersionValue(const std::vector<std::uint8_t>& block,
                                    const std::string& sub_block, std::string* value) {
  return QueryVersionBlock(block, sub_block, value);
}

DllRegisterResult PosixSystem::CallDllRegisterServer(const std::string& path,
                                                     std::int32_t* hresult) {
  return CallRegisterServer(MapPath(path), hresult);
}

std::unique_ptr<Process> PosixSystem::StartProcess(const std::string& program,
                                                   const std::string& arguments,
                                                   const std::string& working_dir) {
  std::string mapped_dir;
  if (!working_dir.empty()) {
    mapped_dir = MapPath(working_dir);
    if (mapped_dir.empty()) return nullptr;
  }
  return StartChildProcess(MapPath(program), SplitArguments(converter_.ToUtf8(arguments)),
                           mapped_dir);
}

void PosixSystem::SleepMilliseconds(int ms) {
  if (ms <= 0) return;
  timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace setup
