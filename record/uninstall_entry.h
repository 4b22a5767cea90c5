// The product's entry in "Programs and Features" (Apps & features): the key
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\<Id>, which
// Windows, Wine's uninstaller and the deployment tools (winget, Intune, ConfigMgr,
// Ansible's win_package) read to list the product, learn its version and remove it.
//
// The values are the ones Inno Setup writes: DisplayName, DisplayVersion, Publisher,
// URLInfoAbout, InstallLocation, InstallDate (YYYYMMDD), EstimatedSize (a DWORD, in
// KiB), UninstallString, QuietUninstallString, DisplayIcon, and NoModify = NoRepair = 1
// (there is no modify or repair mode). An empty optional string is not written at all:
// a tool then sees no value rather than an empty one. DisplayName is required.
//
// The key is written in the machine's own view (see System's registry writes), so both
// Setup.exe builds and the native program write and find the same entry.
#ifndef SETUP_RECORD_UNINSTALL_ENTRY_H_
#define SETUP_RECORD_UNINSTALL_ENTRY_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"
#include "platform/system.h"

namespace setup {

// The parent of every entry, under HKEY_LOCAL_MACHINE.
inline constexpr char kUninstallKeyPath[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// What an entry holds. Strings are code-page bytes, as System takes them.
struct UninstallEntryValues {
  std::string id;  // the entry's key name
  std::string display_name;
  std::string display_version;
  std::string publisher;
  std::string url_info_about;
  std::string install_location;
  std::string install_date;          // YYYYMMDD
  std::uint32_t estimated_size = 0;  // KiB
  std::string uninstall_string;
  std::string quiet_uninstall_string;
  std::string display_icon;
};

// An Id a key may be named: 1 to 255 letters, digits, '.', '-', '_', '{' and '}'.
bool IsValidUninstallId(std::string_view id);

// Writes the entry, deleting first any entry of that Id, so no value of an earlier
// install stays behind and there is never a second entry for one product. On a failure
// after the key was made, the half-written key is deleted again. kInvalidName for an Id
// IsValidUninstallId refuses or an empty display_name.
Status WriteUninstallEntry(System& system, const UninstallEntryValues& values);

// Deletes the entry with every value and key beneath it. Ok when there is no such entry:
// the entry is gone either way.
Status RemoveUninstallEntry(System& system, const std::string& id);

// Reads the entry into `*values` (id included; a value that is missing reads as empty or
// 0). kNotFound when there is no such entry.
Status ReadUninstallEntry(System& system, const std::string& id, UninstallEntryValues* values);

}  // namespace setup

#endif  // SETUP_RECORD_UNINSTALL_ENTRY_H_
