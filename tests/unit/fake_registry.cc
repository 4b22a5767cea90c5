// The fake's registry writes, kept apart from fakes.cc: keys made, values set and deleted,
// each logged in registry_log, and one write made to fail on request.
#include <cctype>
#include <memory>
#include <string>

#include "tests/unit/fakes.h"

namespace setup {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

// --- Registry writes. Paths in registry_log begin with the root's short name.
namespace {
std::string RootName(RegKey root) {
  switch (root) {
    case kHkeyClassesRoot: return "HKCR";
    case kHkeyCurrentUser: return "HKCU";
    case kHkeyLocalMachine: return "HKLM";
    case kHkeyUsers: return "HKU";
    case kHkeyCurrentConfig: return "HKCC";
    default: return std::string();
  }
}
}  // namespace

FakeSystem::Key* FakeSystem::WalkKeys(Key* from, const std::string& path, bool create) {
  std::string::size_type start = 0;
  while (from != nullptr && start < path.size()) {
    std::string::size_type end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string name = Lower(path.substr(start, end - start));
    start = end + 1;
    if (name.empty()) continue;
    auto& slot = from->subkeys[name];
    if (!slot) {
      if (!create) {
        from->subkeys.erase(name);
        return nullptr;
      }
      slot = std::make_unique<Key>();
    }
    from = slot.get();
  }
  return from;
}

bool FakeSystem::TakeRegistryWrite() { return registry_writes++ != failing_registry_write; }

const FakeSystem::Key* FakeSystem::FindRegistryKey(RegKey root, const std::string& path) {
  return WalkKeys(FindKey(root), path, false);
}

Status FakeSystem::OpenRegistryKeyForWriting(RegKey parent, const std::string& subkey,
                                             KeyDisposition disposition, RegKey* key) {
  Key* from = FindKey(parent);
  if (from == nullptr) return Status(StatusKind::kNotFound, subkey);
  bool create = disposition == KeyDisposition::kCreateIfMissing;
  std::string parent_path = handle_paths_.count(parent) ? handle_paths_[parent] : RootName(parent);
  std::string path = subkey.empty() ? parent_path : parent_path + "\\" + subkey;
  Key* found = WalkKeys(from, subkey, false);
  if (found == nullptr) {
    if (!create) return Status(StatusKind::kNotFound, subkey);
    if (!TakeRegistryWrite()) return Status(StatusKind::kAccessDenied, subkey, 5);
    found = WalkKeys(from, subkey, true);
    registry_log.push_back("regkey " + path);
  }
  RegKey h = next_handle_++;
  handles_[h] = found;
  handle_paths_[h] = path;
  ++open_keys;
  *key = h;
  return Status::Ok();
}

Status FakeSystem::SetRegistryString(RegKey key, const std::string& name, const std::string& value,
                                     bool expandable) {
  Key* k = FindKey(key);
  if (k == nullptr || !handle_paths_.count(key)) return Status(StatusKind::kFailed, name, 6);
  if (!TakeRegistryWrite()) return Status(StatusKind::kAccessDenied, name, 5);
  k->values[Lower(name)] = value + std::string(1, '\0');
  registry_log.push_back((expandable ? "regexpand " : "regsz ") + handle_paths_[key] + " " + name +
                         "=" + value);
  return Status::Ok();
}

Status FakeSystem::SetRegistryDword(RegKey key, const std::string& name, std::uint32_t value) {
  Key* k = FindKey(key);
  if (k == nullptr || !handle_paths_.count(key)) return Status(StatusKind::kFailed, name, 6);
  if (!TakeRegistryWrite()) return Status(StatusKind::kAccessDenied, name, 5);
  std::string data;
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>(value >> (8 * i)));
  k->values[Lower(name)] = data;
  registry_log.push_back("regdword " + handle_paths_[key] + " " + name + "=" +
                         std::to_string(value));
  return Status::Ok();
}

Status FakeSystem::DeleteRegistryValue(RegKey key, const std::string& name) {
  Key* k = FindKey(key);
  if (k == nullptr || !handle_paths_.count(key)) return Status(StatusKind::kFailed, name, 6);
  if (k->values.count(Lower(name)) == 0) return Status(StatusKind::kNotFound, name, 2);
  if (!TakeRegistryWrite()) return Status(StatusKind::kAccessDenied, name, 5);
  k->values.erase(Lower(name));
  registry_log.push_back("regdelval " + handle_paths_[key] + " " + name);
  return Status::Ok();
}

Status FakeSystem::FlushRegistryKey(RegKey key) {
  if (FindKey(key) == nullptr) return Status(StatusKind::kFailed, std::string(), 6);
  if (!TakeRegistryWrite()) return Status(StatusKind::kAccessDenied, std::string(), 5);
  registry_log.push_back("regflush " +
                         (handle_paths_.count(key) ? handle_paths_[key] : RootName(key)));
  return Status::Ok();
}

Status FakeSystem::DeleteRegistryKey(RegKey parent, const std::string& subkey) {
  std::string::size_type cut = subkey.rfind('\\');
  Key* holder = FindKey(parent);
  if (holder != nullptr && cut != std::string::npos) {
    holder = WalkKeys(holder, subkey.substr(0, cut), false);
  }
  std::string leaf = Lower(cut == std::string::npos ? subkey : subkey.substr(cut + 1));
  if (holder == nullptr || leaf.empty() || holder->subkeys.count(leaf) == 0) {
    return Status(StatusKind::kNotFound, subkey, 2);
  }
  if (!TakeRegistryWrite()) return Status(StatusKind::kAccessDenied, subkey, 5);
  deleted_keys_.push_back(std::move(holder->subkeys[leaf]));
  holder->subkeys.erase(leaf);
  std::string parent_path = handle_paths_.count(parent) ? handle_paths_[parent] : RootName(parent);
  registry_log.push_back("regdelkey " + parent_path + "\\" + subkey);
  return Status::Ok();
}

}  // namespace setup
