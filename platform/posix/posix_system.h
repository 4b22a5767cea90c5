// The System of the native POSIX program: a Windows view of a Wine prefix. Paths and
// texts arrive in code page 932 and Windows syntax and are mapped to POSIX paths in
// UTF-8 (see path_map.h); the registry and version resources are read from the prefix
// and the files themselves, without Wine. Registry writes go into the prefix's hive
// files, through Wine's own tool while a Wine server runs for the prefix (hive_file.h).
#ifndef SETUP_PLATFORM_POSIX_POSIX_SYSTEM_H_
#define SETUP_PLATFORM_POSIX_POSIX_SYSTEM_H_

#include <memory>
#include <string>

#include "platform/posix/code_page.h"
#include "platform/posix/folder_cache.h"
#include "platform/system.h"

namespace setup {

class WineRegistry;

class PosixSystem : public System {
 public:
  // The prefix is $WINEPREFIX, else $HOME/.wine.
  PosixSystem();
  // The prefix is `prefix` (empty: none; a relative path is taken from the current
  // directory).
  explicit PosixSystem(std::string prefix);
  ~PosixSystem() override;
  PosixSystem(const PosixSystem&) = delete;
  PosixSystem& operator=(const PosixSystem&) = delete;

  const std::string& prefix() const { return prefix_; }
  // True when the prefix holds drive_c/windows (in any case): only then are there
  // Windows and system directories.
  bool has_windows() const { return has_windows_; }

  // The POSIX path (UTF-8) that a code-page path names; empty when it names nothing
  // (a drive path without a prefix). Look-ups go through the run's folder indexes;
  // `leaf`, when given, receives where the last component stands.
  std::string MapPath(const std::string& path, MappedLeaf* leaf = nullptr);

  // The indexes of the folders looked into so far.
  FolderCache& folders() { return folders_; }

  Status WindowsDirectory(std::string* dir) override;
  Status SystemDirectory(std::string* dir) override;
  Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override;
  Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) override;
  Status CopyFileBytes(const std::string& source, const std::string& destination) override;
  // A watched copy goes through memory, a larger one through the kernel (file_copy.h).
  Status CopyFileBytesWatched(const std::string& source, const std::string& destination,
                              CopyWatcher* watcher, bool* watched) override;
  Status MakeDirectory(const std::string& path) override;
  Status GetFileStatus(const std::string& path, std::uint32_t* mtime) override;
  Status OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) override;
  Status QueryRegistryValue(RegKey key, const std::string& name, std::string* data) override;
  void CloseRegistryKey(RegKey key) override;
  Status ReadVersionBlock(const std::string& path, std::vector<std::uint8_t>* block) override;
  Status QueryVersionValue(const std::vector<std::uint8_t>& block, const std::string& sub_block,
                           std::string* value) override;
  Status CallDllRegisterServer(const std::string& path, std::int32_t* hresult) override;
  Status StartProcess(const std::string& program, const std::string& arguments,
                      const std::string& working_dir, std::unique_ptr<Process>* process) override;
  void SleepMilliseconds(int ms) override;
  // Into the prefix's system.reg (HKEY_LOCAL_MACHINE) and user.reg (HKEY_CURRENT_USER)
  // through WineRegistry: safe while a Wine server runs for the prefix (hive_file.h).
  Status OpenRegistryKeyForWriting(RegKey parent, const std::string& subkey,
                                   KeyDisposition disposition, RegKey* key) override;
  Status SetRegistryString(RegKey key, const std::string& name, const std::string& value,
                           bool expandable) override;
  Status SetRegistryDword(RegKey key, const std::string& name, std::uint32_t value) override;
  Status DeleteRegistryValue(RegKey key, const std::string& name) override;
  Status DeleteRegistryKey(RegKey parent, const std::string& subkey) override;
  Status FlushRegistryKey(RegKey key) override;

  // The install record's calls (posix_changes.cc).
  Status GetFileSize(const std::string& path, std::uint64_t* size) override;
  Status RemoveFile(const std::string& path) override;
  Status RemoveEmptyDirectory(const std::string& path) override;
  Status RenameFile(const std::string& from, const std::string& to, bool replace) override;
  Status LinkFile(const std::string& existing, const std::string& link) override;
  Status OpenRecordFile(const std::string& path, bool create,
                        std::unique_ptr<RecordFile>* file) override;
  Status CallDllUnregisterServer(const std::string& path, std::int32_t* hresult) override;
  Status RemoveFileAtRestart(const std::string& path) override;

 private:
  // After an entry that `leaf` says was found in its folder's index could not be used
  // (another program removed or renamed it): drops what the index knows, maps `path`
  // again and answers whether that names another entry, then in `*mapped`.
  bool MapAgain(const std::string& path, const MappedLeaf& leaf, std::string* mapped);
  // The failure of a call whose `path` maps to no POSIX path.
  Status Unmapped(const std::string& path) const;

  // The registry of the prefix, read on first use.
  WineRegistry* registry();

  std::string prefix_;
  bool has_windows_ = false;
  Cp932Converter converter_;
  FolderCache folders_;
  std::unique_ptr<WineRegistry> registry_;
};

// The prefix a PosixSystem() uses: $WINEPREFIX when set and not empty, else
// $HOME/.wine (the home directory from the password database when HOME is unset).
std::string DefaultWinePrefix();

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_POSIX_SYSTEM_H_
