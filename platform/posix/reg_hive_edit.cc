#include "platform/posix/reg_hive_edit.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/posix/reg_hive.h"
#include "platform/posix/utf16_text.h"

namespace setup {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

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

// A key path folded for comparison as one string: the folded names, each followed by
// a NUL, which sorts below every character, so that comparing two of them compares the
// names one by one, as Wine orders its keys.
std::u16string JoinFolded(const std::vector<std::u16string>& names) {
  std::u16string joined;
  for (const std::u16string& name : names) joined += FoldCase(name) + u'\0';
  return joined;
}

// Folds `path` (a header's path as read) into `*joined` in place of JoinFolded.
void FoldHeaderPath(const std::u16string& path, std::u16string* joined) {
  joined->clear();
  std::size_t name_start = 0;
  for (char16_t c : path) {
    if (c == u'\\') {
      if (joined->size() > name_start) {
        joined->push_back(u'\0');
        name_start = joined->size();
      }
    } else {
      joined->push_back(FoldUnit(c));
    }
  }
  if (joined->size() > name_start) joined->push_back(u'\0');
}

// How a block's key stands to the key a change is about and to that key's parent.
struct Relation {
  bool same = false;   // the key itself
  bool under = false;  // the key or a key beneath it
  bool after = false;  // sorts after the key
};

Relation Relate(const std::u16string& path, const std::u16string& key) {
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

// The blocks of a hive text, in file order, each related to `key` and `parent` (joined
// and folded). A hive holds tens of thousands of keys: nothing is kept of each but this.
std::vector<Block> ScanBlocks(std::string_view text, const std::u16string& key,
                              const std::u16string& parent) {
  std::vector<Block> blocks;
  std::u16string path, joined;
  for (std::size_t pos = 0; pos < text.size();) {
    Line line = LineAt(text, pos);
    pos = line.next;
    std::size_t p = FirstNonBlank(text, line);
    if (p == line.end || text[p] != '[') continue;
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

// The lines of `block` that hold the value `folded_name`, each with its continuation
// lines (a line of hex bytes ending in a backslash goes on).
std::vector<Splice> ValueLines(std::string_view text, const Block& block,
                               const std::u16string& folded_name) {
  std::vector<Splice> found;
  std::size_t pos = block.header_end < block.end ? block.header_end + 1 : block.end;
  while (pos < block.end) {
    Line line = LineAt(text, pos);
    std::size_t stop = line.next;
    std::size_t last = line.end;
    while (last > line.begin && IsBlank(text[last - 1])) --last;
    while (last > line.begin && text[last - 1] == '\\' && stop < block.end) {
      Line more = LineAt(text, stop);
      stop = more.next;
      last = more.end;
      while (last > more.begin && IsBlank(text[last - 1])) --last;
    }
    std::size_t p = FirstNonBlank(text, line);
    std::u16string name;
    bool named =
        p < line.end &&
        (text[p] == '@' || (text[p] == '"' && ParseRegEscaped(text.substr(0, line.end), p + 1, '"',
                                                              &name) != std::string_view::npos));
    if (named && FoldCase(name) == folded_name) found.push_back({line.begin, stop, std::string()});
    pos = stop;
  }
  return found;
}

// Where a line added to `block` goes: after its last line that is not blank.
std::size_t ContentEnd(std::string_view text, const Block& block) {
  std::size_t end = block.end;
  while (end > block.header_end && (text[end - 1] == '\n' || IsBlank(text[end - 1]))) --end;
  return end < block.end && text[end] == '\n' ? end + 1 : end;
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
    if (for_parent ? b.parent.after : b.key.after) return {b.begin, b.begin, block + "\n"};
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

Status EditValue(std::string_view text, const std::vector<Block>& blocks, const HiveEdit& edit,
                 std::uint64_t filetime, std::vector<Splice>* splices) {
  bool set = edit.kind == HiveEdit::Kind::kSetValue;
  const Block* last = nullptr;
  bool removed = false;
  std::u16string folded_name = FoldCase(edit.value_name);
  for (const Block& block : blocks) {
    if (!block.valid || !block.key.same) continue;
    last = &block;
    for (Splice& line : ValueLines(text, block, folded_name)) {
      splices->push_back(std::move(line));
      removed = true;
    }
  }
  if (last == nullptr) {
    if (!set) return Status(StatusKind::kNotFound);
    splices->push_back(NewBlock(text, blocks, edit.key, ValueLine(edit), filetime, false));
    return Status::Ok();
  }
  if (!set && !removed) return Status(StatusKind::kNotFound);
  Restamp(text, *last, filetime, splices);
  if (set) {
    std::string line = ValueLine(edit);
    // A value replaced in place keeps its place among the others.
    for (Splice& s : *splices) {
      if (s.text.empty() && s.begin >= last->begin && s.end <= last->end) {
        s.text = line;
        return Status::Ok();
      }
    }
    std::size_t at = ContentEnd(text, *last);
    if (at == text.size() && !text.empty() && text.back() != '\n') line.insert(0, "\n");
    // After a line that goes on (a backslash at its end), a blank line ends it first.
    std::size_t before = at;
    while (before > 0 && (text[before - 1] == '\n' || IsBlank(text[before - 1]))) --before;
    if (before > 0 && text[before - 1] == '\\') line.insert(0, "\n");
    splices->push_back({at, at, line});
  }
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
  if (!text.starts_with(kHeader)) return Status(StatusKind::kCorrupt);
  for (const std::u16string& name : edit.key) {
    if (name.empty() || name.find(u'\\') != std::u16string::npos) {
      return Status(StatusKind::kInvalidName);
    }
  }
  if (edit.key.empty()) return Status(StatusKind::kInvalidName);
  std::vector<std::u16string> parent(edit.key.begin(), edit.key.end() - 1);
  std::vector<Block> blocks = ScanBlocks(text, JoinFolded(edit.key), JoinFolded(parent));
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
      status = EditValue(text, blocks, edit, filetime, &splices);
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
