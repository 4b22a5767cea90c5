#include "platform/posix/reg_hive.h"

#include <utility>

#include "base/hex_digit.h"
#include "base/utf8.h"
#include "platform/posix/utf16_text.h"

namespace setup {
namespace {

constexpr char kRelativeTo[] = ";; All keys relative to ";

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
  Utf8Char c = DecodeUtf8(s, pos);
  // Beyond its form, a sequence must be the shortest for its code point and no surrogate.
  bool valid = c.well_formed && (c.length != 3 || c.code_point >= 0x800) &&
               (c.length != 4 || (c.code_point >= 0x10000 && c.code_point <= 0x10FFFF)) &&
               !(c.code_point >= 0xD800 && c.code_point <= 0xDFFF);
  if (!valid) {
    out->push_back(static_cast<unsigned char>(s[pos]));
    return 1;
  }
  AppendCodePoint(c.code_point, out);
  return c.length;
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
      case 'a':
        out->push_back(u'\a');
        ++pos;
        continue;
      case 'b':
        out->push_back(u'\b');
        ++pos;
        continue;
      case 'e':
        out->push_back(0x1B);
        ++pos;
        continue;
      case 'f':
        out->push_back(u'\f');
        ++pos;
        continue;
      case 'n':
        out->push_back(u'\n');
        ++pos;
        continue;
      case 'r':
        out->push_back(u'\r');
        ++pos;
        continue;
      case 't':
        out->push_back(u'\t');
        ++pos;
        continue;
      case 'v':
        out->push_back(u'\v');
        ++pos;
        continue;
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

}  // namespace

std::vector<std::u16string> KeyPathNames(std::u16string_view path) {
  std::vector<std::u16string> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t stop = path.find(u'\\', start);
    if (stop == std::u16string_view::npos) stop = path.size();
    if (stop > start) names.emplace_back(path.substr(start, stop - start));
    start = stop + 1;
  }
  return names;
}

namespace {

// Reads one hive text into the tree under `root`. Lines that cannot be read are skipped,
// as Wine skips them; a text without the version header is an empty hive.
class HiveParser {
 public:
  HiveParser(std::string_view text, RegHiveKey* root,
             std::vector<std::unique_ptr<RegHiveKey>>* keys)
      : text_(text), root_(root), keys_(keys) {}

  // `sid` receives the user's SID from the ";; All keys relative to" line, if any.
  void Parse(std::u16string* sid) {
    std::string_view line;
    if (!NextLine(&line) || line != kRegHiveHeader) return;
    RegHiveKey* key = nullptr;
    while (NextLine(&line)) {
      std::size_t p = 0;
      while (p < line.size() && IsHiveSpace(line[p])) ++p;
      if (p == line.size()) continue;
      switch (line[p]) {
        case '[': key = ParseKeyHeader(line, p + 1); break;
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

  RegHiveKey* NewKey() {
    keys_->push_back(std::make_unique<RegHiveKey>());
    return keys_->back().get();
  }

  // "[Path\\To\\Key] 1700000000": the key, created with its parents; null when the
  // closing bracket is missing (the values after it then belong to no key).
  RegHiveKey* ParseKeyHeader(std::string_view line, std::size_t pos) {
    std::u16string path;
    if (ParseEscaped(line, pos, ']', &path) == std::string_view::npos) return nullptr;
    RegHiveKey* node = root_;
    for (std::u16string& name : FoldedKeyPath(path)) {
      RegHiveKey*& child = node->subkeys[name];
      if (child == nullptr) child = NewKey();
      node = child;
    }
    return node;
  }

  // `"Name"=data` or `@=data`; a value whose data cannot be read is dropped.
  void ParseValue(std::string_view line, std::size_t pos, RegHiveKey* key) {
    std::u16string name;
    if (line[pos] == '@') {
      ++pos;
    } else {
      pos = ParseEscaped(line, pos + 1, '"', &name);
      if (pos == std::string_view::npos) return;
    }
    while (pos < line.size() && IsHiveSpace(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return;
    ++pos;
    while (pos < line.size() && IsHiveSpace(line[pos])) ++pos;
    RegHiveKey::Value value;
    if (ParseData(line.substr(pos), &value)) key->values[FoldCase(name)] = std::move(value);
  }

  // The data after the '=': a string form, dword:, hex: or hex(type):.
  bool ParseData(std::string_view rest, RegHiveKey::Value* value) {
    static constexpr struct {
      std::string_view tag;
      std::uint32_t type;
    } kStringTags[] = {{"\"", kRegSz},
                       {"str:\"", kRegSz},
                       {"str(2):\"", kRegExpandSz},
                       {"str(7):\"", kRegMultiSz}};
    for (const auto& tag : kStringTags) {
      if (!rest.starts_with(tag.tag)) continue;
      std::u16string text;
      if (ParseEscaped(rest, tag.tag.size(), '"', &text) == std::string_view::npos) return false;
      text.push_back(u'\0');
      value->type = tag.type;
      value->data = Utf16ToLittleEndian(text);
      return true;
    }
    if (rest.starts_with("dword:")) {
      std::uint32_t number = 0;
      for (std::size_t i = 6; i < rest.size() && HexDigit(rest[i]) >= 0; ++i) {
        number = number * 16 + static_cast<std::uint32_t>(HexDigit(rest[i]));
      }
      value->type = kRegDword;
      for (int i = 0; i < 4; ++i) value->data.push_back(static_cast<char>(number >> (8 * i)));
      return true;
    }
    if (rest.starts_with("hex:")) {
      value->type = kRegBinary;
      return ParseHex(rest.substr(4), &value->data);
    }
    if (!rest.starts_with("hex(")) return false;
    std::size_t i = 4;
    std::uint32_t type = 0;
    for (; i < rest.size() && HexDigit(rest[i]) >= 0; ++i) {
      type = type * 16 + static_cast<std::uint32_t>(HexDigit(rest[i]));
    }
    if (i == 4 || rest.substr(i, 2) != "):") return false;
    value->type = type;
    return ParseHex(rest.substr(i + 2), &value->data);
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
      while (i < s.size() && IsHiveSpace(s[i])) ++i;
      if (i == s.size()) return true;
      if (s[i] != '\\' || !NextLine(&s)) return false;
      std::size_t skip = 0;
      while (skip < s.size() && IsHiveSpace(s[skip])) ++skip;
      s.remove_prefix(skip);
    }
  }

  // "REGISTRY\\User\\S-1-5-21-..." (older Wine: "\\User\\S-..."): the component after
  // "User" is the user's SID.
  static void ParseRelativeTo(std::string_view rest, std::u16string* sid) {
    std::u16string path;
    ParseEscaped(rest, 0, 0, &path);
    std::vector<std::u16string> names = KeyPathNames(path);
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
      if (FoldCase(names[i]) == u"USER") {
        *sid = names[i + 1];
        return;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  RegHiveKey* root_;
  std::vector<std::unique_ptr<RegHiveKey>>* keys_;
};

}  // namespace

void ParseRegHive(std::string_view text, RegHiveKey* root,
                  std::vector<std::unique_ptr<RegHiveKey>>* keys, std::u16string* sid) {
  HiveParser(text, root, keys).Parse(sid);
}

std::size_t ParseRegEscaped(std::string_view s, std::size_t pos, char end, std::u16string* out) {
  return ParseEscaped(s, pos, end, out);
}

std::vector<std::u16string> FoldedKeyPath(std::u16string_view path) {
  std::vector<std::u16string> names = KeyPathNames(path);
  for (std::u16string& name : names) name = FoldCase(name);
  return names;
}

}  // namespace setup
