// A read-only Windows registry view of a Wine prefix, read from the prefix's hive files:
// system.reg (HKEY_LOCAL_MACHINE), user.reg (HKEY_CURRENT_USER, and HKEY_USERS\<its
// SID>), userdef.reg (HKEY_USERS\.Default). HKEY_CLASSES_ROOT is
// HKEY_CURRENT_USER\Software\Classes over HKEY_LOCAL_MACHINE\Software\Classes;
// HKEY_CURRENT_CONFIG is HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware
// Profiles\Current. Registry links (a key with a "SymbolicLinkValue" of type REG_LINK,
// as Wine writes CurrentControlSet) are followed when a key is opened.
//
// The hive files are read by reg_hive.h. A missing or unreadable file is an empty hive.
// Files are read once, when a key of their hive is first needed; later changes by others
// are not seen.
//
// Keys of HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER can be written (wine_registry_write.cc):
// each change is made at once to the keys read, so that this registry reads what it
// wrote, and waits for Flush (or the closing of the last key opened for writing, or the
// end of the registry) to go to the hive file in one go (hive_file.h: rewritten, or
// through Wine's own tool while a Wine server runs for the prefix), or to the texts of a
// registry read from texts. A prefix of 64-bit Wine has one view of its keys here, the
// 64-bit one. Links are not followed by a write.
#ifndef SETUP_PLATFORM_POSIX_WINE_REGISTRY_H_
#define SETUP_PLATFORM_POSIX_WINE_REGISTRY_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "platform/posix/reg_hive_edit.h"
#include "platform/system.h"

namespace setup {

struct RegHiveKey;

// The texts of the three hive files, for reading hives that are not files (tests).
struct WineHiveTexts {
  std::string system_reg;
  std::string user_reg;
  std::string userdef_reg;
};

class WineRegistry {
 public:
  // Reads the hives of the prefix directory `prefix_dir` when they are first needed.
  explicit WineRegistry(std::string prefix_dir);
  explicit WineRegistry(WineHiveTexts texts);
  ~WineRegistry();
  WineRegistry(const WineRegistry&) = delete;
  WineRegistry& operator=(const WineRegistry&) = delete;

  // Opens `subkey` (code page 932; one name or several separated by backslashes) under
  // `parent`, a root or an open key. Names compare case-insensitively. An empty subkey
  // opens the parent again as a new handle. Returns 0 when the key does not exist.
  RegKey OpenKey(RegKey parent, const std::string& subkey);
  // The data of value `name` (empty: the default value) as RegQueryValueExA gives it:
  // REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ converted to code page 932 with their
  // terminating NULs, every other type as raw bytes. False when there is no such value.
  bool QueryValue(RegKey key, const std::string& name, std::string* data);
  // Closing a root, 0 or a handle that is not open does nothing.
  void CloseKey(RegKey key);

  // Opens `subkey` of `parent` (HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or a key opened
  // here) for writing; the handle reads like any other. With `create`, a missing key is
  // made (and its parents, which exist by their children in a hive file).
  Status OpenKeyForWriting(RegKey parent, const std::string& subkey, bool create, RegKey* key);
  // `type` kRegSz or kRegExpandSz with `text` (code page 932), or kRegDword with `number`.
  Status SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::string& text,
                  std::uint32_t number);
  Status DeleteValue(RegKey key, const std::string& name);
  Status DeleteKey(RegKey parent, const std::string& subkey);
  // Writes the changes waiting for the hive of `key` (a root or a key opened for writing)
  // in one go. When that fails they are dropped and the hive is read again, so that what
  // is read agrees with the file.
  Status Flush(RegKey key);

  // The texts of a registry read from texts, changes included.
  const WineHiveTexts* texts() const { return texts_ ? &*texts_ : nullptr; }

  // The number of open handles (no leaks).
  std::size_t OpenHandleCount() const { return handles_.size(); }

 private:
  enum Hive { kMachine, kUser, kDefaultUser, kHiveCount };
  using View = std::vector<const RegHiveKey*>;

  RegHiveKey* HiveRoot(Hive hive);
  const RegHiveKey* UsersRoot();
  View RootView(RegKey root);
  bool ResolveView(RegKey key, View* view);
  const RegHiveKey* Child(const RegHiveKey* node, const std::u16string& folded_name, int depth);
  const RegHiveKey* ResolveLink(const RegHiveKey* node, int depth);
  const RegHiveKey* Walk(const RegHiveKey* node, const std::vector<std::u16string>& folded_names,
                         int depth);

  // A key opened for writing: its hive and its names from the hive's root, as given.
  struct WriteKey {
    Hive hive = kMachine;
    std::vector<std::u16string> names;
  };
  RegKey NewHandle(View view);
  // The key `subkey` of `parent` names, with its names folded as the hive keys them;
  // kInvalidName for no name at all.
  Status WritePath(RegKey parent, const std::string& subkey, WriteKey* out,
                   std::vector<std::u16string>* folded);
  void Store(Hive hive, HiveEdit edit);
  Status FlushHive(Hive hive);
  void ForgetHive(Hive hive);
  RegHiveKey* MakeKeys(Hive hive, const std::vector<std::u16string>& names);
  const RegHiveKey* Graft(Hive hive, const std::vector<std::u16string>& names,
                          const std::string& hive_text);

  std::map<RegKey, WriteKey> write_keys_;
  std::vector<HiveEdit> pending_[kHiveCount];  // changes not yet flushed, in order
  std::string prefix_dir_;
  std::optional<WineHiveTexts> texts_;
  std::vector<std::unique_ptr<RegHiveKey>> nodes_;  // every key of every hive
  RegHiveKey* hive_roots_[kHiveCount] = {};
  RegHiveKey* users_root_ = nullptr;  // HKEY_USERS: .Default and the user's SID
  std::u16string user_sid_;
  std::map<RegKey, View> handles_;
  RegKey next_handle_ = 1;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_WINE_REGISTRY_H_
