#include "platform/posix/reg_hive_scan.h"

#include "base/hex_digit.h"
#include "platform/posix/reg_hive.h"
#include "platform/posix/utf16_text.h"

namespace setup {
namespace {

// Folds `path` (a header's path as read) into `*joined` as JoinFolded does its names.
void FoldHeaderPath(const std::u16string& path, Joined* joined) {
  joined->clear();
  std::size_t name_start = 0;
  for (char16_t c : path) {
    if (c == u'\\') {
      if (joined->size() > name_start) {
        joined->push_back(0);
        name_start = joined->size();
      }
    } else {
      joined->push_back(static_cast<char32_t>(FoldUnit(c)) + 1);
    }
  }
  if (joined->size() > name_start) joined->push_back(0);
}

Relation Relate(const Joined& path, const Joined& key) {
  Relation r;
  r.under = path.starts_with(key);
  r.same = r.under && path.size() == key.size();
  r.after = path > key;
  return r;
}

// The end of the value line `line` whose first character is at `p`: after the lines the
// reader takes as more of it. It reads a value's hex data ("hex:" or "hex(N):") as bytes,
// and a backslash after them, with anything after it, sends it on to the next line,
// whatever that holds: a header too.
std::size_t ValueStop(std::string_view text, const Line& line, std::size_t p, bool* open) {
  *open = false;
  std::string_view s = text.substr(0, line.end);
  if (s.ends_with('\r')) s.remove_suffix(1);
  std::size_t q = p + 1;
  if (text[p] == '"') {
    while (q < s.size() && s[q] != '"') q += s[q] == '\\' ? 2 : 1;
    if (q >= s.size()) return line.next;  // no closing quote: the reader drops the line
    ++q;
  }
  while (q < s.size() && IsHiveSpace(s[q])) ++q;
  if (q >= s.size() || s[q] != '=') return line.next;
  for (++q; q < s.size() && IsHiveSpace(s[q]);) ++q;
  std::string_view data = s.substr(q);
  if (data.starts_with("hex:")) {
    data.remove_prefix(4);
  } else if (data.starts_with("hex(")) {
    std::size_t i = 4;
    while (i < data.size() && HexDigit(data[i]) >= 0) ++i;
    if (i == 4 || data.substr(i, 2) != "):") return line.next;
    data.remove_prefix(i + 2);
  } else {
    return line.next;
  }
  std::size_t next = line.next;
  for (;;) {
    std::size_t i = 0;
    while (i < data.size() && HexDigit(data[i]) >= 0) {
      ++i;
      if (i < data.size() && HexDigit(data[i]) >= 0) ++i;
      if (i < data.size() && data[i] == ',') ++i;
    }
    while (i < data.size() && IsHiveSpace(data[i])) ++i;
    if (i == data.size() || data[i] != '\\') return next;
    if (next >= text.size()) {
      *open = true;
      return next;
    }
    Line more = LineAt(text, next);
    next = more.next;
    data = text.substr(more.begin, more.end - more.begin);
    if (data.ends_with('\r')) data.remove_suffix(1);
    while (!data.empty() && IsHiveSpace(data.front())) data.remove_prefix(1);
  }
}

// Most keys of a hive differ from the one a change is about within their first names:
// where the header's path shows that while it is plain (ASCII names, "\\\\" between them),
// the relations are found without reading it whole. False where the whole path must be
// read (any other escape, an empty name, no difference before its end).
bool QuickRelate(std::string_view raw, const Joined& key, const Joined& parent, Block* block) {
  std::size_t k = 0;
  for (std::size_t i = 0; i < raw.size() && k < key.size();) {
    char c = raw[i];
    char32_t unit;
    if (c == ']' || static_cast<unsigned char>(c) >= 0x80) return false;
    if (c == '\\') {
      bool plain_separator = i > 0 && i + 2 < raw.size() && raw[i + 1] == '\\' &&
                             raw[i + 2] != '\\' && raw[i + 2] != ']';
      if (!plain_separator) return false;
      unit = 0;
      i += 2;
    } else {
      unit = static_cast<char32_t>(FoldUnit(static_cast<unsigned char>(c))) + 1;
      ++i;
    }
    if (unit == key[k]) {
      ++k;
      continue;
    }
    // The paths differ here: the key's and, when it is the first difference with the
    // parent too, the parent's relation follow from this unit alone.
    block->key = Relation{false, false, unit > key[k]};
    block->parent = k < parent.size() ? block->key : Relation{false, true, true};
    std::size_t close = i;
    while (close < raw.size() && raw[close] != ']') close += raw[close] == '\\' ? 2 : 1;
    block->valid = close < raw.size();
    block->stamp = close + 1;  // from the start of `raw`
    return true;
  }
  return false;
}

}  // namespace

Line LineAt(std::string_view text, std::size_t pos) {
  Line line{pos, text.find('\n', pos), 0};
  if (line.end == std::string_view::npos) line.end = text.size();
  line.next = line.end < text.size() ? line.end + 1 : text.size();
  return line;
}

// The first character of a line that is not a blank, or its end.
std::size_t FirstNonBlank(std::string_view text, const Line& line) {
  std::size_t p = line.begin;
  while (p < line.end && IsHiveSpace(text[p])) ++p;
  return p;
}

Joined JoinFolded(const std::vector<std::u16string>& names) {
  Joined joined;
  for (const std::u16string& name : names) {
    for (char16_t c : name) joined.push_back(static_cast<char32_t>(FoldUnit(c)) + 1);
    joined.push_back(0);
  }
  return joined;
}

std::vector<Block> ScanBlocks(std::string_view text, const Joined& key, const Joined& parent,
                              std::vector<ValueAt>* values) {
  std::vector<Block> blocks;
  std::u16string path, name;
  Joined joined;
  for (std::size_t pos = LineAt(text, 0).next; pos < text.size();) {
    Line line = LineAt(text, pos);
    pos = line.next;
    std::size_t p = FirstNonBlank(text, line);
    if (p == line.end) continue;
    if (text[p] == '[') {
      if (!blocks.empty()) blocks.back().end = line.begin;
      Block block;
      block.begin = line.begin;
      block.header_end = line.end;
      block.end = text.size();
      if (QuickRelate(text.substr(p + 1, line.end - p - 1), key, parent, &block)) {
        if (block.valid) block.stamp += p + 1;
        blocks.push_back(block);
        continue;
      }
      std::size_t after = ParseRegEscaped(text.substr(0, line.end), p + 1, ']', &path);
      if (after != std::string_view::npos) {
        block.valid = true;
        block.stamp = after;
        FoldHeaderPath(path, &joined);
        block.key = Relate(joined, key);
        block.parent = Relate(joined, parent);
      }
      blocks.push_back(block);
    } else if ((text[p] == '"' || text[p] == '@') && !blocks.empty() && blocks.back().valid) {
      bool open = false;
      pos = ValueStop(text, line, p, &open);
      if (!blocks.back().key.same) continue;
      name.clear();
      if (text[p] == '"' &&
          ParseRegEscaped(text.substr(0, line.end), p + 1, '"', &name) == std::string_view::npos) {
        continue;
      }
      values->push_back({blocks.size() - 1, line.begin, pos, FoldCase(name), open});
    }
  }
  return blocks;
}

std::string_view LineBefore(std::string_view text, std::size_t pos) {
  if (pos == 0) return {};
  std::size_t end = text[pos - 1] == '\n' ? pos - 1 : pos;
  std::size_t begin = end == 0 ? std::string_view::npos : text.rfind('\n', end - 1);
  begin = begin == std::string_view::npos ? 0 : begin + 1;
  return text.substr(begin, end - begin);
}

bool IsBlankLine(std::string_view line) {
  for (char c : line) {
    if (!IsHiveSpace(c)) return false;
  }
  return true;
}

}  // namespace setup
