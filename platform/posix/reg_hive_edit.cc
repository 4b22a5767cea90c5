#include "platform/posix/reg_hive_edit.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/hex_digit.h"
#include "platform/posix/reg_hive.h"
#include "platform/posix/utf16_text.h"

namespace setup {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

// What the reader skips as space.
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// One line of the text: [begin, end) without its '\n'; `next` is where the next begins.
struct Line {
  std::size_t begin = 0, end = 0, next = 0;
};

Line LineAt(std::string_view text, std::size_t pos) {
  Line line{pos, text.find('\n', pos), 0};
  if (line.end == std::string_view::npos) line.end = text.size();
  line.next = line.end < text.size() ? line.end + 1 : text.size();
  return line;
}

// The first character of a line that is not a blank, or its end.
std::size_t FirstNonBlank(std::string_view text, const Line& line) {
  std::size_t p = line.begin;
  while (p < line.end && IsBlank(text[p])) ++p;
  return p;
}

// A key path folded for comparison as one string: each folded name's units moved up by
// one, each name followed by a 0, which sorts below every unit (a NUL in a name too), so
// that comparing two of them compares the names one by one, as Wine orders its keys.
using Joined = std::u32string;

Joined JoinFolded(const std::vector<std::u16string>& names) {
  Joined joined;
  for (const std::u16string& name : names) {
    for (char16_t c : name) joined.push_back(static_cast<char32_t>(FoldUnit(c)) + 1);
    joined.push_back(0);
  }
  return joined;
}

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

// How a block's key stands to the key a change is about and to that key's parent.
struct Relation {
  bool same = false;   // the key itself
  bool under = false;  // the key or a key beneath it
  bool after = false;  // sorts after the key
};

Relation Relate(const Joined& path, const Joined& key) {
  Relation r;
  r.under = path.starts_with(key);
  r.same = r.under && path.size() == key.size();
  r.after = path > key;
  return r;
}

// A key's block: from its "[path]" line to where the next block's line begins.
struct Block {
  std::size_t begin = 0;
  std::size_t stamp = 0;       // after the ']' of the header: the seconds follow
  std::size_t header_end = 0;  // the end of the header line
  std::size_t end = 0;
  bool valid = false;  // the header's path could be read
  Relation key, parent;
};

// A value's line, with the lines the reader takes as more of it.
struct ValueAt {
  std::size_t block, begin, end;
  std::u16string folded_name;
  bool open;  // its last line goes on, but the text ends
};

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
  while (q < s.size() && IsBlank(s[q])) ++q;
  if (q >= s.size() || s[q] != '=') return line.next;
  for (++q; q < s.size() && IsBlank(s[q]);) ++q;
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
    while (i < data.size() && IsBlank(data[i])) ++i;
    if (i == data.size() || data[i] != '\\') return next;
    if (next >= text.size()) {
      *open = true;
      return next;
    }
    Line more = LineAt(text, next);
    next = more.next;
    data = text.substr(more.begin, more.end - more.begin);
    if (data.ends_with('\r')) data.remove_suffix(1);
    while (!data.empty() && IsBlank(data.front())) data.remove_prefix(1);
  }
}

// The blocks of a hive text, in file order, each related to `key` and `parent` (joined
// and folded), read line by line as the reader reads them; the value lines of the blocks
// of `key` itself go to `*values`. A hive holds tens of thousands of keys: nothing more
// is kept of them.
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

// A replacement of [begin, end) by `text`; a change is a sorted list of disjoint ones.
struct Splice {
  std::size_t begin, end;
  std::string text;
};

std::string ApplySplices(std::string_view text, std::vector<Splice> splices) {
  std::stable_sort(splices.begin(), splices.end(),
                   [](const Splice& a, const Splice& b) { return a.begin < b.begin; });
  std::string out;
  out.reserve(text.size() + 256);
  std::size_t at = 0;
  for (const Splice& s : splices) {
    // Two removals may share a separating line: the later one starts where the first ended.
    std::size_t begin = std::max(s.begin, at);
    out.append(text.substr(at, begin - at));
    out.append(s.text);
    at = std::max(s.end, begin);
  }
  out.append(text.substr(at));
  return out;
}

std::string KeyHeader(const std::vector<std::u16string>& names, std::uint64_t filetime) {
  std::string header = "[";
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) header += "\\\\";
    AppendWineEscaped(names[i], "[]", &header);
  }
  char stamp[64];
  unsigned seconds = static_cast<unsigned>(
      filetime > kTicksFrom1601To1970 ? (filetime - kTicksFrom1601To1970) / kTicksPerSecond : 0);
  std::snprintf(stamp, sizeof stamp, "] %u\n#time=%x%08x\n", seconds,
                static_cast<unsigned>(filetime >> 32), static_cast<unsigned>(filetime));
  return header + stamp;
}

std::string ValueLine(const HiveEdit& edit) {
  std::string line;
  if (edit.value_name.empty()) {
    line = "@=";
  } else {
    line = "\"";
    AppendWineEscaped(edit.value_name, "\"\"", &line);
    line += "\"=";
  }
  if (edit.type == kRegDword) {
    char number[16];
    std::snprintf(number, sizeof number, "dword:%08x", static_cast<unsigned>(edit.number));
    line += number;
  } else {
    line += edit.type == kRegExpandSz ? "str(2):\"" : "\"";
    AppendWineEscaped(edit.text, "\"\"", &line);
    line += '"';
  }
  return line + "\n";
}

// The splices that put the header's seconds and the "#time=" line of `block` to `filetime`.
void Restamp(std::string_view text, const Block& block, std::uint64_t filetime,
             std::vector<Splice>* splices) {
  std::string fresh = KeyHeader({}, filetime);  // "[] secs\n#time=...\n"
  std::size_t newline = fresh.find('\n');
  splices->push_back({block.stamp, block.header_end, fresh.substr(2, newline - 2)});
  if (block.header_end >= block.end) return;
  Line line = LineAt(text, block.header_end + 1);
  if (line.begin < block.end &&
      text.substr(line.begin, line.end - line.begin).starts_with("#time=")) {
    splices->push_back(
        {line.begin, line.end, fresh.substr(newline + 1, fresh.size() - newline - 2)});
  }
}

// The line that ends just before `pos`: the line before a line start, or the line `pos`
// ends when it is not one (the end of a text without a final newline).
std::string_view LineBefore(std::string_view text, std::size_t pos) {
  if (pos == 0) return {};
  std::size_t end = text[pos - 1] == '\n' ? pos - 1 : pos;
  std::size_t begin = end == 0 ? std::string_view::npos : text.rfind('\n', end - 1);
  begin = begin == std::string_view::npos ? 0 : begin + 1;
  return text.substr(begin, end - begin);
}

bool IsBlankLine(std::string_view line) {
  for (char c : line) {
    if (!IsBlank(c)) return false;
  }
  return true;
}

// Where a line added to `block` goes: after its last line that is not blank.
std::size_t ContentEnd(std::string_view text, const Block& block) {
  std::size_t end = block.end;
  while (end > block.header_end && (text[end - 1] == '\n' || IsBlank(text[end - 1]))) --end;
  // The start of the line after it (blanks may end the line), or the end of the text.
  std::size_t newline = text.find('\n', end);
  return newline == std::string_view::npos || newline >= block.end ? block.end : newline + 1;
}

// A new block for `names` holding `values`, placed where Wine's sorted order puts it:
// before the first block that sorts after it (for the parent of a deleted key, leaving
// out the deleted blocks).
Splice NewBlock(std::string_view text, const std::vector<Block>& blocks,
                const std::vector<std::u16string>& names, const std::string& values,
                std::uint64_t filetime, bool for_parent) {
  std::string block = KeyHeader(names, filetime) + values;
  for (const Block& b : blocks) {
    if (!b.valid || (for_parent && b.key.under)) continue;
    if (!(for_parent ? b.parent.after : b.key.after)) continue;
    // A blank line first, unless there is one: nothing before can run on into the header.
    std::string lead = IsBlankLine(LineBefore(text, b.begin)) ? "" : "\n";
    return {b.begin, b.begin, lead + block + "\n"};
  }
  std::string tail = !text.empty() && text.back() != '\n' ? "\n\n" : "\n";
  return {text.size(), text.size(), tail + block};
}

}  // namespace

void AppendWineEscaped(std::u16string_view text, const char quote[2], std::string* out) {
  static constexpr char kEscapes[33] = ".......abtnvfr.............e....";
  char buffer[16];
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
    if (c > 127) {
      bool hex_next = next < 128 && ((next >= '0' && next <= '9') || (next >= 'a' && next <= 'f') ||
                                     (next >= 'A' && next <= 'F'));
      std::snprintf(buffer, sizeof buffer, hex_next ? "\\x%04x" : "\\x%x",
                    static_cast<unsigned>(c));
      out->append(buffer);
    } else if (c < 32) {
      if (kEscapes[c] != '.') {
        out->push_back('\\');
        out->push_back(kEscapes[c]);
      } else {
        std::snprintf(buffer, sizeof buffer, next >= '0' && next <= '7' ? "\\%03o" : "\\%o",
                      static_cast<unsigned>(c));
        out->append(buffer);
      }
    } else {
      if (c == '\\' || c == quote[0] || c == quote[1]) out->push_back('\\');
      out->push_back(static_cast<char>(c));
    }
  }
}

namespace {

Status EditValue(std::string_view text, const std::vector<Block>& blocks,
                 const std::vector<ValueAt>& values, const HiveEdit& edit, std::uint64_t filetime,
                 std::vector<Splice>* splices) {
  bool set = edit.kind == HiveEdit::Kind::kSetValue;
  const Block* last = nullptr;
  std::size_t last_index = 0;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].valid && blocks[i].key.same) {
      last = &blocks[i];
      last_index = i;
    }
  }
  if (last == nullptr) {
    if (!set) return Status(StatusKind::kNotFound);
    splices->push_back(NewBlock(text, blocks, edit.key, ValueLine(edit), filetime, false));
    return Status::Ok();
  }
  std::u16string folded_name = FoldCase(edit.value_name);
  const ValueAt* in_place = nullptr;  // the value's last line in the last block
  for (const ValueAt& value : values) {
    if (value.folded_name != folded_name) continue;
    splices->push_back({value.begin, value.end, std::string()});
    if (value.block == last_index) in_place = &value;
  }
  if (!set && splices->empty()) return Status(StatusKind::kNotFound);
  Restamp(text, *last, filetime, splices);
  if (!set) return Status::Ok();
  std::string line = ValueLine(edit);
  if (in_place != nullptr) {
    // A value replaced keeps its place among the others.
    for (Splice& splice : *splices) {
      if (splice.begin == in_place->begin) splice.text = line;
    }
    return Status::Ok();
  }
  std::size_t at = ContentEnd(text, *last);
  // Where the reader would take the new line as more of the value before it, a blank
  // line ends that value first.
  for (const ValueAt& value : values) {
    if (value.block == last_index &&
        ((value.begin < at && at < value.end) || (value.end == at && value.open))) {
      line.insert(0, "\n");
      break;
    }
  }
  if (at == text.size() && !text.empty() && text.back() != '\n') line.insert(0, "\n");
  splices->push_back({at, at, line});
  return Status::Ok();
}

Status DeleteKey(std::string_view text, const std::vector<Block>& blocks, const HiveEdit& edit,
                 std::uint64_t filetime, std::vector<Splice>* splices) {
  bool parent_stays = edit.key.size() == 1;
  for (const Block& block : blocks) {
    if (block.valid && block.key.under) {
      std::size_t begin = block.begin;
      // The last block of the file takes the blank line before it along.
      if (block.end == text.size() && begin >= 2 && text[begin - 1] == '\n' &&
          text[begin - 2] == '\n') {
        --begin;
      }
      splices->push_back({begin, block.end, std::string()});
    } else if (block.valid && block.parent.under) {
      parent_stays = true;
    }
  }
  if (splices->empty()) return Status(StatusKind::kNotFound);
  if (!parent_stays) {
    // The parent was written only through its children: it keeps a block of its own.
    std::vector<std::u16string> names(edit.key.begin(), edit.key.end() - 1);
    splices->push_back(NewBlock(text, blocks, names, std::string(), filetime, true));
  }
  return Status::Ok();
}

}  // namespace

Status EditHiveText(std::string_view text, const HiveEdit& edit, std::uint64_t filetime,
                    std::string* out) {
  // The first line must be the header alone, as the reader wants it.
  std::string_view first = text.substr(0, LineAt(text, 0).end);
  if (first.ends_with('\r')) first.remove_suffix(1);
  if (first != kHeader) return Status(StatusKind::kCorrupt);
  for (const std::u16string& name : edit.key) {
    if (name.empty() || name.find(u'\\') != std::u16string::npos) {
      return Status(StatusKind::kInvalidName);
    }
  }
  if (edit.key.empty()) return Status(StatusKind::kInvalidName);
  std::vector<std::u16string> parent(edit.key.begin(), edit.key.end() - 1);
  std::vector<ValueAt> values;
  std::vector<Block> blocks = ScanBlocks(text, JoinFolded(edit.key), JoinFolded(parent), &values);
  std::vector<Splice> splices;
  Status status;
  switch (edit.kind) {
    case HiveEdit::Kind::kCreateKey:
      for (const Block& block : blocks) {
        if (block.valid && block.key.under) {
          *out = std::string(text);
          return Status::Ok();
        }
      }
      splices.push_back(NewBlock(text, blocks, edit.key, std::string(), filetime, false));
      break;
    case HiveEdit::Kind::kSetValue:
    case HiveEdit::Kind::kDeleteValue:
      status = EditValue(text, blocks, values, edit, filetime, &splices);
      break;
    case HiveEdit::Kind::kDeleteKey:
      status = DeleteKey(text, blocks, edit, filetime, &splices);
      break;
  }
  if (!status.ok()) return status;
  *out = ApplySplices(text, std::move(splices));
  return Status::Ok();
}

}  // namespace setup
