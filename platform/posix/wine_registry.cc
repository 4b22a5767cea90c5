#include "platform/posix/wine_registry.h"

#include <cstdio>
#include <utility>

#include "platform/posix/reg_hive.h"
#include "platform/posix/utf16_text.h"

namespace setup {

namespace {

constexpr std::size_t kMaxHiveBytes = 256u << 20;
constexpr std::size_t kMaxKeyNameUnits = 255;  // Windows' limit for one key name
// Links that lead to links are followed this deep; deeper (a loop) is a missing key.
constexpr int kMaxLinkDepth = 16;
// Wine's user SID when the hive does not name one.
constexpr char16_t kDefaultSid[] = u"S-1-5-21-0-0-0-1000";

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// The whole file; false when it cannot be read or is larger than kMaxHiveBytes.
bool ReadWholeFile(const std::string& path, std::string* out) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  out->clear();
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (out->size() + n > kMaxHiveBytes) return false;
    out->append(buffer, n);
  }
  return !std::ferror(file.get());
}

bool IsRoot(RegKey key) {
  return key == kHkeyClassesRoot || key == kHkeyCurrentUser || key == kHkeyLocalMachine ||
         key == kHkeyUsers || key == kHkeyCurrentConfig;
}

}  // namespace

WineRegistry::WineRegistry(std::string prefix_dir) : prefix_dir_(std::move(prefix_dir)) {}

WineRegistry::WineRegistry(WineHiveTexts texts) : texts_(std::move(texts)) {}

WineRegistry::~WineRegistry() {
  for (int hive = 0; hive < kHiveCount; ++hive) FlushHive(static_cast<Hive>(hive));
}

RegHiveKey* WineRegistry::HiveRoot(Hive hive) {
  if (hive_roots_[hive] != nullptr) return hive_roots_[hive];
  nodes_.push_back(std::make_unique<RegHiveKey>());
  RegHiveKey* root = nodes_.back().get();
  hive_roots_[hive] = root;
  std::string file_text;
  std::string_view text;
  if (texts_) {
    text = hive == kMachine ? texts_->system_reg
           : hive == kUser  ? texts_->user_reg
                            : texts_->userdef_reg;
  } else {
    static constexpr const char* kFiles[kHiveCount] = {"/system.reg", "/user.reg", "/userdef.reg"};
    if (ReadWholeFile(prefix_dir_ + kFiles[hive], &file_text)) text = file_text;
  }
  std::u16string sid;
  ParseRegHive(text, root, &nodes_, &sid);
  if (hive == kUser) user_sid_ = sid.empty() ? std::u16string(kDefaultSid) : sid;
  return root;
}

const RegHiveKey* WineRegistry::UsersRoot() {
  if (users_root_ != nullptr) return users_root_;
  nodes_.push_back(std::make_unique<RegHiveKey>());
  RegHiveKey* users = nodes_.back().get();
  users->subkeys[u".DEFAULT"] = HiveRoot(kDefaultUser);
  RegHiveKey* user = HiveRoot(kUser);  // reads the user's SID from the hive
  users->subkeys[FoldCase(user_sid_)] = user;
  users_root_ = users;
  return users;
}

WineRegistry::View WineRegistry::RootView(RegKey root) {
  View view;
  auto add = [&view](const RegHiveKey* node) {
    if (node != nullptr) view.push_back(node);
  };
  switch (root) {
    case kHkeyLocalMachine: add(HiveRoot(kMachine)); break;
    case kHkeyCurrentUser: add(HiveRoot(kUser)); break;
    case kHkeyUsers: add(UsersRoot()); break;
    case kHkeyClassesRoot:
      // The user's classes come first and hide the machine's of the same name.
      add(Walk(HiveRoot(kUser), {u"SOFTWARE", u"CLASSES"}, 0));
      add(Walk(HiveRoot(kMachine), {u"SOFTWARE", u"CLASSES"}, 0));
      break;
    case kHkeyCurrentConfig:
      add(Walk(HiveRoot(kMachine),
               {u"SYSTEM", u"CURRENTCONTROLSET", u"HARDWARE PROFILES", u"CURRENT"}, 0));
      break;
    default: break;
  }
  return view;
}

bool WineRegistry::ResolveView(RegKey key, View* view) {
  auto it = handles_.find(key);
  if (it != handles_.end()) {
    *view = it->second;
  } else if (IsRoot(key)) {
    *view = RootView(key);
  } else {
    view->clear();
  }
  return !view->empty();
}

const RegHiveKey* WineRegistry::Child(const RegHiveKey* node, const std::u16string& folded_name,
                                      int depth) {
  auto it = node->subkeys.find(folded_name);
  if (it == node->subkeys.end()) return nullptr;
  return ResolveLink(it->second, depth);
}

// A key with a "SymbolicLinkValue" of type REG_LINK stands for the key its data names,
// an absolute path such as "\Registry\Machine\System\ControlSet001".
const RegHiveKey* WineRegistry::ResolveLink(const RegHiveKey* node, int depth) {
  auto link = node->values.find(u"SYMBOLICLINKVALUE");
  if (link == node->values.end() || link->second.type != kRegLink) return node;
  if (depth >= kMaxLinkDepth) return nullptr;
  const std::string& data = link->second.data;
  std::u16string target =
      Utf16FromLittleEndian(reinterpret_cast<const std::uint8_t*>(data.data()), data.size() / 2);
  while (!target.empty() && target.back() == u'\0') target.pop_back();
  std::vector<std::u16string> names = FoldedKeyPath(target);
  if (names.size() < 2 || names[0] != u"REGISTRY") return nullptr;
  const RegHiveKey* start = nullptr;
  if (names[1] == u"MACHINE") {
    start = HiveRoot(kMachine);
  } else if (names[1] == u"USER") {
    start = UsersRoot();
  } else {
    return nullptr;
  }
  names.erase(names.begin(), names.begin() + 2);
  return Walk(start, names, depth + 1);
}

const RegHiveKey* WineRegistry::Walk(const RegHiveKey* node,
                                     const std::vector<std::u16string>& folded_names, int depth) {
  for (const std::u16string& name : folded_names) {
    if (node == nullptr) return nullptr;
    node = Child(node, name, depth);
  }
  return node;
}

RegKey WineRegistry::OpenKey(RegKey parent, const std::string& subkey) {
  View parent_view;
  if (!ResolveView(parent, &parent_view)) return 0;
  std::u16string path;
  if (!Cp932ToUtf16(subkey, &path)) return 0;
  // Windows takes one leading backslash only under HKEY_CLASSES_ROOT.
  if (!path.empty() && path[0] == u'\\') {
    if (parent != kHkeyClassesRoot) return 0;
    path.erase(0, 1);
  }
  std::vector<std::u16string> names = FoldedKeyPath(path);
  for (const std::u16string& name : names) {
    if (name.size() > kMaxKeyNameUnits) return 0;
  }
  View view;
  for (const RegHiveKey* node : parent_view) {
    const RegHiveKey* found = Walk(node, names, 0);
    if (found == nullptr) continue;
    bool seen = false;
    for (const RegHiveKey* n : view) seen = seen || n == found;
    if (!seen) view.push_back(found);
  }
  if (view.empty()) return 0;
  return NewHandle(std::move(view));
}

RegKey WineRegistry::NewHandle(View view) {
  // Handles run from 1 to 0x7FFFFFFF, below the roots (0x80000000 and up).
  while (handles_.count(next_handle_) != 0) {
    next_handle_ = next_handle_ >= 0x7FFFFFFF ? 1 : next_handle_ + 1;
  }
  RegKey handle = next_handle_;
  next_handle_ = next_handle_ >= 0x7FFFFFFF ? 1 : next_handle_ + 1;
  handles_[handle] = std::move(view);
  return handle;
}

bool WineRegistry::QueryValue(RegKey key, const std::string& name, std::string* data) {
  View view;
  if (!ResolveView(key, &view)) return false;
  std::u16string wide;
  if (!Cp932ToUtf16(name, &wide)) return false;
  std::u16string folded = FoldCase(wide);
  for (const RegHiveKey* node : view) {
    auto it = node->values.find(folded);
    if (it == node->values.end()) continue;
    const RegHiveKey::Value& value = it->second;
    if (value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz) {
      *data = Utf16ToCp932(Utf16FromLittleEndian(
          reinterpret_cast<const std::uint8_t*>(value.data.data()), value.data.size() / 2));
    } else {
      *data = value.data;
    }
    return true;
  }
  return false;
}

void WineRegistry::CloseKey(RegKey key) {
  handles_.erase(key);
  if (write_keys_.erase(key) == 0 || !write_keys_.empty()) return;
  for (int hive = 0; hive < kHiveCount; ++hive) FlushHive(static_cast<Hive>(hive));
}

}  // namespace setup
