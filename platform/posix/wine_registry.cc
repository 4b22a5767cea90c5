#include "platform/posix/wine_registry.h"

#include <cstdio>
#include <utility>

#include "platform/posix/utf16_text.h"

namespace setup {

struct WineRegistry::Node {
  struct Value {
    std::uint32_t type = 0;
    std::string data;  // raw bytes, strings in UTF-16LE
  };
  std::map<std::u16string, Node*> subkeys;  // by folded name
  std::map<std::u16string, Value> values;   // by folded name; "" is the default value
};

namespace {

using Node = WineRegistry::Node;

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegLink = 6;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::size_t kMaxHiveBytes = 256u << 20;
constexpr std::size_t kMaxKeyNameUnits = 255;  // Windows' limit for one key name
// Links that lead to links are followed this deep; deeper (a loop) is a missing key.
constexpr int kMaxLinkDepth = 16;
constexpr char kHeader[] = "WINE REGISTRY Version 2";
constexpr char kRelativeTo[] = ";; All keys relative to ";
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

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendCodePoint(char32_t cp, std::u16string* out) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out->push_back(static_cast<char16_t>(cp));
  }
}

// Decodes one character at s[pos]: a well-formed UTF-8 sequence, or else the one byte
// as its Latin-1 character. Wine writes only ASCII (everything else as \x escapes);
// UTF-8 is accepted for hives edited by hand.
std::size_t DecodeChar(std::string_view s, std::size_t pos, std::u16string* out) {
  auto c = static_cast<unsigned char>(s[pos]);
  std::size_t len = 0;
  char32_t cp = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
  }
  if (len > 0 && pos + len <= s.size()) {
    std::size_t k = 1;
    for (; k < len; ++k) {
      auto t = static_cast<unsigned char>(s[pos + k]);
      if ((t & 0xC0) != 0x80) break;
      cp = (cp << 6) | (t & 0x3F);
    }
    bool shortest = (len == 3 && cp >= 0x800) || (len == 4 && cp >= 0x10000) || len == 2;
    if (k == len && shortest && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
      AppendCodePoint(cp, out);
      return len;
    }
  }
  out->push_back(c);
  return 1;
}

// Reads an escaped string from s[pos] up to the unescaped `end` character (0: the end of
// the text). Escapes: \a \b \e \f \n \r \t \v, \x and one to four hex digits (a UTF-16
// code unit), \ and one to three octal digits; any other escaped character stands for
// itself (\\, \", \]). Returns the position after `end`, or npos when it is missing.
std::size_t ParseEscaped(std::string_view s, std::size_t pos, char end, std::u16string* out) {
  out->clear();
  while (pos < s.size()) {
    char c = s[pos];
    if (end != 0 && c == end) return pos + 1;
    if (c != '\\') {
      pos += DecodeChar(s, pos, out);
      continue;
    }
    if (++pos >= s.size()) break;
    c = s[pos];
    switch (c) {
      case 'a': out->push_back(u'\a'); ++pos; continue;
      case 'b': out->push_back(u'\b'); ++pos; continue;
      case 'e': out->push_back(0x1B); ++pos; continue;
      case 'f': out->push_back(u'\f'); ++pos; continue;
      case 'n': out->push_back(u'\n'); ++pos; continue;
      case 'r': out->push_back(u'\r'); ++pos; continue;
      case 't': out->push_back(u'\t'); ++pos; continue;
      case 'v': out->push_back(u'\v'); ++pos; continue;
      default: break;
    }
    if (c == 'x') {
      ++pos;
      unsigned value = 0;
      int digits = 0;
      for (; digits < 4 && pos < s.size() && HexDigit(s[pos]) >= 0; ++digits, ++pos) {
        value = value * 16 + static_cast<unsigned>(HexDigit(s[pos]));
      }
      out->push_back(digits == 0 ? u'x' : static_cast<char16_t>(value));
      continue;
    }
    if (c >= '0' && c <= '7') {
      unsigned value = 0;
      for (int digits = 0; digits < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7';
           ++digits, ++pos) {
        value = value * 8 + static_cast<unsigned>(s[pos] - '0');
      }
      out->push_back(static_cast<char16_t>(value));
      continue;
    }
    pos += DecodeChar(s, pos, out);
  }
  return end == 0 ? s.size() : std::string_view::npos;
}

// The non-empty components of a backslash-separated path, folded for comparison.
std::vector<std::u16string> FoldedComponents(std::u16string_view path) {
  std::vector<std::u16string> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t stop = path.find(u'\\', start);
    if (stop == std::u16string_view::npos) stop = path.size();
    if (stop > start) names.push_back(FoldCase(path.substr(start, stop - start)));
    start = stop + 1;
  }
  return names;
}

// Reads one hive text into the tree under `root`. Lines that cannot be read are skipped,
// as Wine skips them; a text without the version header is an empty hive.
class HiveParser {
 public:
  HiveParser(std::string_view text, Node* root,
             std::vector<std::unique_ptr<Node>>* nodes)
      : text_(text), root_(root), nodes_(nodes) {}

  // `sid` receives the user's SID from the ";; All keys relative to" line, if any.
  void Parse(std::u16string* sid) {
    std::string_view line;
    if (!NextLine(&line) || line != kHeader) return;
    Node* key = nullptr;
    while (NextLine(&line)) {
      std::size_t p = 0;
      while (p < line.size() && IsSpace(line[p])) ++p;
      if (p == line.size()) continue;
      switch (line[p]) {
        case '[':
          key = ParseKeyHeader(line, p + 1);
          break;
        case '@':
        case '"':
          if (key != nullptr) ParseValue(line, p, key);
          break;
        case ';':
          if (sid != nullptr && line.substr(p).starts_with(kRelativeTo)) {
            ParseRelativeTo(line.substr(p + sizeof kRelativeTo - 1), sid);
          }
          break;
        default:  // '#' options (#time, #class, #link, #arch) and unknown lines
          break;
      }
    }
  }

 private:
  bool NextLine(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    std::size_t stop = text_.find('\n', pos_);
    if (stop == std::string_view::npos) stop = text_.size();
    *line = text_.substr(pos_, stop - pos_);
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    pos_ = stop + 1;
    return true;
  }

  Node* NewNode() {
    nodes_->push_back(std::make_unique<Node>());
    return nodes_->back().get();
  }

  // "[Path\\To\\Key] 1700000000": the key, created with its parents; null when the
  // closing bracket is missing (the values after it then belong to no key).
  Node* ParseKeyHeader(std::string_view line, std::size_t pos) {
    std::u16string path;
    if (ParseEscaped(line, pos, ']', &path) == std::string_view::npos) return nullptr;
    Node* node = root_;
    for (std::u16string& name : FoldedComponents(path)) {
      Node*& child = node->subkeys[name];
      if (child == nullptr) child = NewNode();
      node = child;
    }
    return node;
  }

  // `"Name"=data` or `@=data`; a value whose data cannot be read is dropped.
  void ParseValue(std::string_view line, std::size_t pos, Node* key) {
    std::u16string name;
    if (line[pos] == '@') {
      ++pos;
    } else {
      pos = ParseEscaped(line, pos + 1, '"', &name);
      if (pos == std::string_view::npos) return;
    }
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return;
    ++pos;
    while (pos < line.size() && IsSpace(line[pos])) ++pos;
    std::string_view rest = line.substr(pos);

    Node::Value value;
    bool ok = false;
    static constexpr struct {
      std::string_view tag;
      std::uint32_t type;
    } kStringTags[] = {{"\"", kRegSz}, {"str:\"", kRegSz}, {"str(2):\"", kRegExpandSz},
                       {"str(7):\"", kRegMultiSz}};
    for (const auto& tag : kStringTags) {
      if (!rest.starts_with(tag.tag)) continue;
      std::u16string text;
      if (ParseEscaped(rest, tag.tag.size(), '"', &text) == std::string_view::npos) return;
      text.push_back(u'\0');
      value.type = tag.type;
      value.data = Utf16ToLittleEndian(text);
      ok = true;
      break;
    }
    if (!ok && rest.starts_with("dword:")) {
      std::uint32_t number = 0;
      for (std::size_t i = 6; i < rest.size() && HexDigit(rest[i]) >= 0; ++i) {
        number = number * 16 + static_cast<std::uint32_t>(HexDigit(rest[i]));
      }
      value.type = 4;
      for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<char>(number >> (8 * i)));
      ok = true;
    } else if (!ok && rest.starts_with("hex:")) {
      value.type = 3;
      ok = ParseHex(rest.substr(4), &value.data);
    } else if (!ok && rest.starts_with("hex(")) {
      std::size_t i = 4;
      std::uint32_t type = 0;
      for (; i < rest.size() && HexDigit(rest[i]) >= 0; ++i) {
        type = type * 16 + static_cast<std::uint32_t>(HexDigit(rest[i]));
      }
      if (i == 4 || rest.substr(i, 2) != "):") return;
      value.type = type;
      ok = ParseHex(rest.substr(i + 2), &value.data);
    }
    if (ok) key->values[FoldCase(name)] = std::move(value);
  }

  // Comma-separated hex bytes; a line ending in a backslash continues on the next line.
  bool ParseHex(std::string_view s, std::string* data) {
    for (;;) {
      std::size_t i = 0;
      while (i < s.size() && HexDigit(s[i]) >= 0) {
        int byte = HexDigit(s[i++]);
        if (i < s.size() && HexDigit(s[i]) >= 0) byte = byte * 16 + HexDigit(s[i++]);
        data->push_back(static_cast<char>(byte));
        if (i < s.size() && s[i] == ',') ++i;
      }
      while (i < s.size() && IsSpace(s[i])) ++i;
      if (i == s.size()) return true;
      if (s[i] != '\\' || !NextLine(&s)) return false;
      std::size_t skip = 0;
      while (skip < s.size() && IsSpace(s[skip])) ++skip;
      s.remove_prefix(skip);
    }
  }

  // "REGISTRY\\User\\S-1-5-21-..." (older Wine: "\\User\\S-..."): the component after
  // "User" is the user's SID.
  static void ParseRelativeTo(std::string_view rest, std::u16string* sid) {
    std::u16string path;
    ParseEscaped(rest, 0, 0, &path);
    std::vector<std::u16string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t stop = path.find(u'\\', start);
      if (stop == std::u16string::npos) stop = path.size();
      if (stop > start) names.push_back(path.substr(start, stop - start));
      start = stop + 1;
    }
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
      if (FoldCase(names[i]) == u"USER") {
        *sid = names[i + 1];
        return;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  Node* root_;
  std::vector<std::unique_ptr<Node>>* nodes_;
};

bool IsRoot(RegKey key) {
  return key == kHkeyClassesRoot || key == kHkeyCurrentUser || key == kHkeyLocalMachine ||
         key == kHkeyUsers || key == kHkeyCurrentConfig;
}

}  // namespace

WineRegistry::WineRegistry(std::string prefix_dir) : prefix_dir_(std::move(prefix_dir)) {}

WineRegistry::WineRegistry(WineHiveTexts texts) : texts_(std::move(texts)) {}

WineRegistry::~WineRegistry() = default;

WineRegistry::Node* WineRegistry::HiveRoot(Hive hive) {
  if (hive_roots_[hive] != nullptr) return hive_roots_[hive];
  nodes_.push_back(std::make_unique<Node>());
  Node* root = nodes_.back().get();
  hive_roots_[hive] = root;
  std::string file_text;
  std::string_view text;
  if (texts_) {
    text = hive == kMachine ? texts_->system_reg
           : hive == kUser  ? texts_->user_reg
                            : texts_->userdef_reg;
  } else {
    static constexpr const char* kFiles[kHiveCount] = {"/system.reg", "/user.reg",
                                                       "/userdef.reg"};
    if (ReadWholeFile(prefix_dir_ + kFiles[hive], &file_text)) text = file_text;
  }
  std::u16string sid;
  HiveParser(text, root, &nodes_).Parse(&sid);
  if (hive == kUser) user_sid_ = sid.empty() ? std::u16string(kDefaultSid) : sid;
  return root;
}

const WineRegistry::Node* WineRegistry::UsersRoot() {
  if (users_root_ != nullptr) return users_root_;
  nodes_.push_back(std::make_unique<Node>());
  Node* users = nodes_.back().get();
  users->subkeys[u".DEFAULT"] = HiveRoot(kDefaultUser);
  Node* user = HiveRoot(kUser);  // reads the user's SID from the hive
  users->subkeys[FoldCase(user_sid_)] = user;
  users_root_ = users;
  return users;
}

WineRegistry::View WineRegistry::RootView(RegKey root) {
  View view;
  auto add = [&view](const Node* node) {
    if (node != nullptr) view.push_back(node);
  };
  switch (root) {
    case kHkeyLocalMachine:
      add(HiveRoot(kMachine));
      break;
    case kHkeyCurrentUser:
      add(HiveRoot(kUser));
      break;
    case kHkeyUsers:
      add(UsersRoot());
      break;
    case kHkeyClassesRoot:
      // The user's classes come first and hide the machine's of the same name.
      add(Walk(HiveRoot(kUser), {u"SOFTWARE", u"CLASSES"}, 0));
      add(Walk(HiveRoot(kMachine), {u"SOFTWARE", u"CLASSES"}, 0));
      break;
    case kHkeyCurrentConfig:
      add(Walk(HiveRoot(kMachine),
               {u"SYSTEM", u"CURRENTCONTROLSET", u"HARDWARE PROFILES", u"CURRENT"}, 0));
      break;
    default:
      break;
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

const WineRegistry::Node* WineRegistry::Child(const Node* node,
                                              const std::u16string& folded_name, int depth) {
  auto it = node->subkeys.find(folded_name);
  if (it == node->subkeys.end()) return nullptr;
  return ResolveLink(it->second, depth);
}

// A key with a "SymbolicLinkValue" of type REG_LINK stands for the key its data names,
// an absolute path such as "\Registry\Machine\System\ControlSet001".
const WineRegistry::Node* WineRegistry::ResolveLink(const Node* node, int depth) {
  auto link = node->values.find(u"SYMBOLICLINKVALUE");
  if (link == node->values.end() || link->second.type != kRegLink) return node;
  if (depth >= kMaxLinkDepth) return nullptr;
  const std::string& data = link->second.data;
  std::u16string target = Utf16FromLittleEndian(
      reinterpret_cast<const std::uint8_t*>(data.data()), data.size() / 2);
  while (!target.empty() && target.back() == u'\0') target.pop_back();
  std::vector<std::u16string> names = FoldedComponents(target);
  if (names.size() < 2 || names[0] != u"REGISTRY") return nullptr;
  const Node* start = nullptr;
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

const WineRegistry::Node* WineRegistry::Walk(const Node* node,
                                             const std::vector<std::u16string>& folded_names,
                                             int depth) {
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
  std::vector<std::u16string> names = FoldedComponents(path);
  for (const std::u16string& name : names) {
    if (name.size() > kMaxKeyNameUnits) return 0;
  }
  View view;
  for (const Node* node : parent_view) {
    const Node* found = Walk(node, names, 0);
    if (found == nullptr) continue;
    bool seen = false;
    for (const Node* n : view) seen = seen || n == found;
    if (!seen) view.push_back(found);
  }
  if (view.empty()) return 0;
  while (handles_.count(next_handle_) != 0 || IsRoot(next_handle_) || next_handle_ == 0) {
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
  for (const Node* node : view) {
    auto it = node->values.find(folded);
    if (it == node->values.end()) continue;
    const Node::Value& value = it->second;
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

void WineRegistry::CloseKey(RegKey key) { handles_.erase(key); }

}  // namespace setup
