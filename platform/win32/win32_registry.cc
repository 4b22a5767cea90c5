// Win32System's registry writes: the uninstall entry and whatever else the program
// writes. Every key is opened with KEY_WOW64_64KEY, so a 32-bit Setup.exe on 64-bit
// Windows writes where the 64-bit build and 64-bit tools look (Software\Microsoft\...,
// not Software\Wow6432Node\...): one place for both builds, and the key a product's
// entry has is the same whichever build installed it. On 32-bit Windows the flag is
// ignored.
#include <cstdint>
#include <string>

#include "platform/win32/registry_roots.h"
#include "platform/win32/win32_status.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/windows_headers.h"

namespace setup {
namespace {

constexpr REGSAM kWriteAccess = KEY_READ | KEY_WRITE | KEY_WOW64_64KEY;

Status FromError(LSTATUS error, const std::string& path) {
  if (error == ERROR_SUCCESS) return Status::Ok();
  return StatusFromError(static_cast<std::uint32_t>(error), path);
}

Status SetValue(RegKey key, const std::string& name, DWORD type, const void* data, DWORD size) {
  if (key == 0) return Status(StatusKind::kFailed, name, ERROR_INVALID_HANDLE);
  return FromError(
      RegSetValueExA(ToHkey(key), name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
      name);
}

}  // namespace

Status Win32System::OpenRegistryKeyForWriting(RegKey parent, const std::string& subkey,
                                              KeyDisposition disposition, RegKey* key) {
  if (parent == 0) return Status(StatusKind::kFailed, subkey, ERROR_INVALID_HANDLE);
  HKEY opened = nullptr;
  LSTATUS error;
  if (disposition == KeyDisposition::kCreateIfMissing) {
    error = RegCreateKeyExA(ToHkey(parent), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            kWriteAccess, nullptr, &opened, nullptr);
  } else {
    error = RegOpenKeyExA(ToHkey(parent), subkey.c_str(), 0, kWriteAccess, &opened);
  }
  if (error != ERROR_SUCCESS) return FromError(error, subkey);
  *key = reinterpret_cast<RegKey>(opened);
  return Status::Ok();
}

Status Win32System::SetRegistryString(RegKey key, const std::string& name, const std::string& value,
                                      bool expandable) {
  // The size counts the terminating NUL, which c_str() holds.
  return SetValue(key, name, expandable ? REG_EXPAND_SZ : REG_SZ, value.c_str(),
                  static_cast<DWORD>(value.size() + 1));
}

Status Win32System::SetRegistryDword(RegKey key, const std::string& name, std::uint32_t value) {
  DWORD data = value;
  return SetValue(key, name, REG_DWORD, &data, sizeof data);
}

Status Win32System::DeleteRegistryValue(RegKey key, const std::string& name) {
  if (key == 0) return Status(StatusKind::kFailed, name, ERROR_INVALID_HANDLE);
  return FromError(RegDeleteValueA(ToHkey(key), name.c_str()), name);
}

// RegDeleteTreeA opens what it deletes without a view flag, so a 32-bit process would
// empty the Wow6432Node copy: the key is opened here in the 64-bit view, emptied through
// that handle, and then deleted in the same view.
Status Win32System::DeleteRegistryKey(RegKey parent, const std::string& subkey) {
  if (parent == 0) return Status(StatusKind::kFailed, subkey, ERROR_INVALID_HANDLE);
  if (subkey.empty()) return Status(StatusKind::kInvalidName, subkey);
  HKEY opened = nullptr;
  LSTATUS error = RegOpenKeyExA(ToHkey(parent), subkey.c_str(), 0,
                                KEY_READ | KEY_WRITE | DELETE | KEY_WOW64_64KEY, &opened);
  if (error != ERROR_SUCCESS) return FromError(error, subkey);
  error = RegDeleteTreeA(opened, nullptr);
  RegCloseKey(opened);
  if (error != ERROR_SUCCESS) return FromError(error, subkey);
  return FromError(RegDeleteKeyExA(ToHkey(parent), subkey.c_str(), KEY_WOW64_64KEY, 0), subkey);
}

Status Win32System::FlushRegistryKey(RegKey key) {
  if (key == 0) return Status(StatusKind::kFailed, std::string(), ERROR_INVALID_HANDLE);
  return FromError(RegFlushKey(ToHkey(key)), std::string());
}

}  // namespace setup
