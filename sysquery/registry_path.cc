#include "sysquery/registry_path.h"

#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

#include "base/code_page_text.h"
#include "text/message.h"

namespace setup {
namespace {

struct RegistryRoot {
  const char* prefix;
  RegKey key;
};

// Searched in order. HKEY_PERFORMANCE_DATA and HKEY_DYN_DATA have no row on purpose:
// a path naming them matches nothing.
constexpr RegistryRoot kRegistryRootTable[] = {
    {"HKEY_CLASSES_ROOT\\", kHkeyClassesRoot},     {"HKEY_CURRENT_USER\\", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE\\", kHkeyLocalMachine},   {"HKEY_USERS\\", kHkeyUsers},
    {"HKEY_CURRENT_CONFIG\\", kHkeyCurrentConfig},
};

// Windows refuses longer key names; the same bound keeps every platform alike.
constexpr std::size_t kMaxKeyName = 255;
// Bound of the key path and of the value name that a registry path splits into.
constexpr std::size_t kMaxPathPart = 255;

// The first row whose prefix begins `path`, byte for byte; nullptr when none does.
const RegistryRoot* MatchRoot(const std::string& path) {
  for (const RegistryRoot& row : kRegistryRootTable) {
    if (path.compare(0, std::strlen(row.prefix), row.prefix) == 0) return &row;
  }
  return nullptr;
}

// Splits the text after a root prefix into key path and value name the way a file
// path splits into directory and name: a drive designation is dropped, the last
// backslash or slash ends the key path, the value name loses its last dot and what
// follows, and one trailing backslash of the key path goes. Separators are searched
// character by character, so the second byte of a double-byte character never splits.
void SplitValuePath(const Encoding& encoding, std::string_view text, std::string* key_path,
                    std::string* value_name) {
  if (text.size() >= 2 && text[1] == ':') text.remove_prefix(2);
  LeadByteOf is_lead_byte(encoding);
  std::size_t name_start = DirectoryLength(is_lead_byte, text);
  std::string_view name = text.substr(name_start);
  std::size_t dot = FindLastCharIf(is_lead_byte, name, [](char c) { return c == '.'; });
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  std::string_view dir = text.substr(0, name_start);
  if (!dir.empty() && dir.back() == '\\') dir.remove_suffix(1);
  key_path->assign(dir);
  value_name->assign(name);
}

}  // namespace

RegKey OpenKeyPath(RegistryReader& registry, const Encoding& encoding, RegKey root,
                   const std::string& key_path) {
  RegKey parent = root;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = FindChar(LeadByteOf(encoding), key_path, start, '\\');
    RegKey key = 0;
    if (end - start <= kMaxKeyName &&
        !registry.OpenRegistryKey(parent, key_path.substr(start, end - start), &key).ok()) {
      key = 0;
    }
    if (parent != root) registry.CloseRegistryKey(parent);
    if (key == 0 || end >= key_path.size()) return key;
    parent = key;
    start = end + 1;
  }
}

std::string ReadRegistryValue(RegistryReader& registry, const Encoding& encoding, RegKey root,
                              const std::string& key_path, const std::string& value_name) {
  RegKey key = OpenKeyPath(registry, encoding, root, key_path);
  if (key == 0) return std::string();
  std::string data;
  bool read = registry.QueryRegistryValue(key, value_name, &data).ok();
  registry.CloseRegistryKey(key);
  if (!read) return std::string();
  // The type is never looked at: every kind of value reads as text up to its first NUL.
  std::size_t nul = data.find('\0');
  if (nul != std::string::npos) data.resize(nul);
  return data;
}

std::string ReadRegistryPath(RegistryReader& registry, const Encoding& encoding,
                             const std::string& path) {
  const RegistryRoot* row = MatchRoot(path);
  if (row == nullptr) return std::string();
  std::string key_path, value_name;
  SplitValuePath(encoding, std::string_view(path).substr(std::strlen(row->prefix)), &key_path,
                 &value_name);
  if (key_path.size() > kMaxPathPart || value_name.size() > kMaxPathPart) return std::string();
  return ReadRegistryValue(registry, encoding, row->key, key_path, value_name);
}

bool RegistryKeyExists(RegistryReader& registry, const Encoding& encoding,
                       const std::string& path) {
  const RegistryRoot* row = MatchRoot(path);
  if (row == nullptr) return false;
  RegKey key = OpenKeyPath(registry, encoding, row->key, path.substr(std::strlen(row->prefix)));
  if (key == 0) return false;
  registry.CloseRegistryKey(key);
  return true;
}

bool ReadRegistryDirectory(RegistryReader& registry, const Encoding& encoding,
                           const std::string& path, std::size_t limit, std::string* dir) {
  std::string value = ReadRegistryPath(registry, encoding, path);
  if (value.empty()) return false;
  value.resize(CutText(encoding, value, limit).size());
  // One trailing backslash goes, never the second byte of a double-byte character.
  if (EndsWithChar(LeadByteOf(encoding), value, '\\')) value.pop_back();
  *dir = std::move(value);
  return true;
}

}  // namespace setup
