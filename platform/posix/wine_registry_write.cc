// WineRegistry's writes: each change is stored first (the hive file, or the texts of a
// registry read from texts) and then made to the keys read, so that a failed store leaves
// both as they were.
#include <utility>

#include "platform/posix/hive_file.h"
#include "platform/posix/reg_hive.h"
#include "platform/posix/reg_hive_edit.h"
#include "platform/posix/utf16_text.h"
#include "platform/posix/wine_registry.h"

namespace setup {
namespace {

constexpr std::size_t kMaxKeyNameUnits = 255;  // Windows' limit for one key name

// Appends the names of a backslash-separated path, as given; false for a name too long.
bool SplitNames(std::u16string_view path, std::vector<std::u16string>* names) {
  for (std::u16string& name : KeyPathNames(path)) {
    if (name.size() > kMaxKeyNameUnits) return false;
    names->push_back(std::move(name));
  }
  return true;
}

}  // namespace

Status WineRegistry::WritePath(RegKey parent, const std::string& subkey, WriteKey* out,
                               std::vector<std::u16string>* folded) {
  auto it = write_keys_.find(parent);
  if (it != write_keys_.end()) {
    *out = it->second;
  } else if (parent == kHkeyLocalMachine || parent == kHkeyCurrentUser) {
    out->hive = parent == kHkeyLocalMachine ? kMachine : kUser;
    out->names.clear();
  } else {
    return Status(StatusKind::kUnsupported, subkey);
  }
  std::u16string path;
  if (!Cp932ToUtf16(subkey, &path) || !SplitNames(path, &out->names) || out->names.empty()) {
    return Status(StatusKind::kInvalidName, subkey);
  }
  folded->clear();
  for (const std::u16string& name : out->names) folded->push_back(FoldCase(name));
  return Status::Ok();
}

void WineRegistry::Store(Hive hive, HiveEdit edit) { pending_[hive].push_back(std::move(edit)); }

Status WineRegistry::FlushHive(Hive hive) {
  if (pending_[hive].empty()) return Status::Ok();
  std::vector<HiveEdit> edits = std::move(pending_[hive]);
  pending_[hive].clear();
  Status status;
  if (!texts_) {
    status = hive == kMachine ? WriteHiveChanges(prefix_dir_, "system.reg", "HKLM", edits)
                              : WriteHiveChanges(prefix_dir_, "user.reg", "HKCU", edits);
  } else {
    std::string& text = hive == kMachine ? texts_->system_reg : texts_->user_reg;
    std::string changed = text;
    status = ApplyHiveEdits(text, edits, FileTimeNow(), &changed);
    if (status.ok()) text = std::move(changed);
  }
  if (!status.ok()) ForgetHive(hive);
  return status;
}

// The keys read stay owned by nodes_, for the handles still open on them; the hive's
// root is read afresh when next needed.
void WineRegistry::ForgetHive(Hive hive) {
  hive_roots_[hive] = nullptr;
  users_root_ = nullptr;
}

Status WineRegistry::Flush(RegKey key) {
  auto it = write_keys_.find(key);
  if (it != write_keys_.end()) return FlushHive(it->second.hive);
  if (key == kHkeyLocalMachine) return FlushHive(kMachine);
  if (key == kHkeyCurrentUser) return FlushHive(kUser);
  return Status(StatusKind::kUnsupported);
}

// Puts the key `names` as `hive_text` (a hive holding it, from its root) has it in place
// of the key read; the keys read before stay owned by nodes_ for open handles.
const RegHiveKey* WineRegistry::Graft(Hive hive, const std::vector<std::u16string>& names,
                                      const std::string& hive_text) {
  nodes_.push_back(std::make_unique<RegHiveKey>());
  RegHiveKey* fresh = nodes_.back().get();
  ParseRegHive(hive_text, fresh, &nodes_, nullptr);
  std::vector<std::u16string> folded;
  for (const std::u16string& name : names) folded.push_back(FoldCase(name));
  RegHiveKey* exported = const_cast<RegHiveKey*>(Walk(fresh, folded, 0));
  std::vector<std::u16string> above(names.begin(), names.end() - 1);
  RegHiveKey* holder = MakeKeys(hive, above);
  if (exported == nullptr) {
    holder->subkeys.erase(folded.back());
  } else {
    holder->subkeys[folded.back()] = exported;
  }
  return exported;
}

RegHiveKey* WineRegistry::MakeKeys(Hive hive, const std::vector<std::u16string>& names) {
  RegHiveKey* node = HiveRoot(hive);
  for (const std::u16string& name : names) {
    RegHiveKey*& child = node->subkeys[FoldCase(name)];
    if (child == nullptr) {
      nodes_.push_back(std::make_unique<RegHiveKey>());
      child = nodes_.back().get();
    }
    node = child;
  }
  return node;
}

Status WineRegistry::OpenKeyForWriting(RegKey parent, const std::string& subkey, bool create,
                                       RegKey* key) {
  WriteKey target;
  std::vector<std::u16string> folded;
  Status status = WritePath(parent, subkey, &target, &folded);
  if (!status.ok()) return status;
  // The hive is read before it is changed, so that what is read agrees with the file.
  const RegHiveKey* found = Walk(HiveRoot(target.hive), folded, 0);
  if (!create && !texts_) {
    // A key to be read: a running Wine server may hold it newer than the hive file.
    std::string text;
    status = ExportFromServer(prefix_dir_, target.hive == kMachine ? "HKLM" : "HKCU", target.names,
                              &text);
    // Only a key the server does not hold is missing; a failure to ask it is no answer.
    if (!status.ok()) return Status(status.kind(), subkey, status.os_error());
    if (!text.empty()) found = Graft(target.hive, target.names, text);
  }
  if (found == nullptr) {
    if (!create) return Status(StatusKind::kNotFound, subkey);
    HiveEdit edit;
    edit.kind = HiveEdit::Kind::kCreateKey;
    edit.key = target.names;
    Store(target.hive, std::move(edit));
    found = MakeKeys(target.hive, target.names);
  }
  *key = NewHandle({found});
  write_keys_[*key] = std::move(target);
  return Status::Ok();
}

Status WineRegistry::SetValue(RegKey key, const std::string& name, std::uint32_t type,
                              const std::string& text, std::uint32_t number) {
  auto it = write_keys_.find(key);
  if (it == write_keys_.end()) return Status(StatusKind::kFailed, name);
  HiveEdit edit;
  edit.kind = HiveEdit::Kind::kSetValue;
  edit.key = it->second.names;
  edit.type = type;
  edit.number = number;
  if (!Cp932ToUtf16(name, &edit.value_name) ||
      (type != kRegDword && !Cp932ToUtf16(text, &edit.text))) {
    return Status(StatusKind::kInvalidName, name);
  }
  Store(it->second.hive, edit);
  RegHiveKey::Value value;
  value.type = type;
  if (type == kRegDword) {
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<char>(number >> (8 * i)));
  } else {
    value.data = Utf16ToLittleEndian(edit.text + u'\0');
  }
  MakeKeys(it->second.hive, edit.key)->values[FoldCase(edit.value_name)] = std::move(value);
  return Status::Ok();
}

Status WineRegistry::DeleteValue(RegKey key, const std::string& name) {
  auto it = write_keys_.find(key);
  if (it == write_keys_.end()) return Status(StatusKind::kFailed, name);
  HiveEdit edit;
  edit.kind = HiveEdit::Kind::kDeleteValue;
  edit.key = it->second.names;
  if (!Cp932ToUtf16(name, &edit.value_name)) return Status(StatusKind::kInvalidName, name);
  RegHiveKey* node = MakeKeys(it->second.hive, edit.key);
  std::u16string folded = FoldCase(edit.value_name);
  if (node->values.count(folded) == 0) return Status(StatusKind::kNotFound, name);
  Store(it->second.hive, std::move(edit));
  node->values.erase(folded);
  return Status::Ok();
}

Status WineRegistry::DeleteKey(RegKey parent, const std::string& subkey) {
  WriteKey target;
  std::vector<std::u16string> folded;
  Status status = WritePath(parent, subkey, &target, &folded);
  if (!status.ok()) return status;
  std::vector<std::u16string> above(folded.begin(), folded.end() - 1);
  RegHiveKey* holder = const_cast<RegHiveKey*>(Walk(HiveRoot(target.hive), above, 0));
  bool known = holder != nullptr && holder->subkeys.count(folded.back()) != 0;
  // Sent even for a key not read here: a running Wine server may hold one the hive file
  // does not show yet. Its absence from the file is no failure when flushed.
  HiveEdit edit;
  edit.kind = HiveEdit::Kind::kDeleteKey;
  edit.key = target.names;
  Store(target.hive, std::move(edit));
  if (!known) return Status(StatusKind::kNotFound, subkey);
  // The keys stay owned by nodes_: a handle still open on them reads what they held.
  holder->subkeys.erase(folded.back());
  return Status::Ok();
}

}  // namespace setup
