// Registry paths as a script writes them: a root prefix ("HKEY_LOCAL_MACHINE\"), a key
// path and, for values, a value name. Read only; nothing here shows a message.
#ifndef SETUP_SYSQUERY_REGISTRY_PATH_H_
#define SETUP_SYSQUERY_REGISTRY_PATH_H_

#include <cstddef>
#include <string>

#include "base/encoding.h"
#include "platform/system_roles.h"

namespace setup {

// Opens `key_path` (components separated by backslashes) under `root`; 0 when some
// component cannot be opened. The caller closes the key.
RegKey OpenKeyPath(RegistryReader& registry, const Encoding& encoding, RegKey root,
                   const std::string& key_path);

// The value as text: its data up to the first NUL; empty when it cannot be read.
std::string ReadRegistryValue(RegistryReader& registry, const Encoding& encoding, RegKey root,
                              const std::string& key_path, const std::string& value_name);

// The value a registry path names; empty when no root prefix matches.
std::string ReadRegistryPath(RegistryReader& registry, const Encoding& encoding,
                             const std::string& path);

// True when the whole path after its root prefix opens as a key.
bool RegistryKeyExists(RegistryReader& registry, const Encoding& encoding, const std::string& path);

// The registry form of SetupDir's value. False when the value `path` names is empty or
// cannot be read; else `dir` is that value cut to `limit` bytes without splitting a
// double-byte character, less one trailing backslash (not the second byte of a
// double-byte character).
bool ReadRegistryDirectory(RegistryReader& registry, const Encoding& encoding,
                           const std::string& path, std::size_t limit, std::string* dir);

}  // namespace setup

#endif  // SETUP_SYSQUERY_REGISTRY_PATH_H_
