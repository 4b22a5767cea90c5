#include "platform/posix/reg_hive_edit.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/hex_digit.h"
#include "platform/posix/reg_hive.h"
#include "platform/posix/reg_hive_scan.h"
#include "platform/posix/utf16_text.h"

namespace setup {
namespace {

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

// Where a line added to `block` goes: after its last line that is not blank.
std::size_t ContentEnd(std::string_view text, const Block& block) {
  std::size_t end = block.end;
  while (end > block.header_end && (text[end - 1] == '\n' || IsHiveSpace(text[end - 1]))) --end;
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

// Sets or deletes values of one key: `count` changes of one kind, each a value of that key.
Status EditValues(std::string_view text, const std::vector<Block>& blocks,
                  const std::vector<ValueAt>& values, const HiveEdit* edits, std::size_t count,
                  std::uint64_t filetime, std::vector<Splice>* splices) {
  bool set = edits[0].kind == HiveEdit::Kind::kSetValue;
  // Of two changes to one value, the later counts.
  std::vector<std::u16string> names;
  std::vector<const HiveEdit*> wanted;
  for (std::size_t i = 0; i < count; ++i) {
    std::u16string name = FoldCase(edits[i].value_name);
    auto it = std::find(names.begin(), names.end(), name);
    if (it != names.end()) {
      wanted[it - names.begin()] = &edits[i];
    } else {
      names.push_back(std::move(name));
      wanted.push_back(&edits[i]);
    }
  }
  const Block* last = nullptr;
  std::size_t last_index = 0;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i].valid && blocks[i].key.same) last = &blocks[(last_index = i)];
  }
  if (last == nullptr) {
    if (!set) return Status(StatusKind::kNotFound);
    std::string lines;
    for (const HiveEdit* edit : wanted) lines += ValueLine(*edit);
    splices->push_back(NewBlock(text, blocks, edits[0].key, lines, filetime, false));
    return Status::Ok();
  }
  std::vector<const ValueAt*> in_place(names.size(), nullptr);  // in the last block
  for (const ValueAt& value : values) {
    auto it = std::find(names.begin(), names.end(), value.folded_name);
    if (it == names.end()) continue;
    splices->push_back({value.begin, value.end, std::string()});
    if (value.block == last_index) in_place[it - names.begin()] = &value;
  }
  if (!set && splices->empty()) return Status(StatusKind::kNotFound);
  Restamp(text, *last, filetime, splices);
  if (!set) return Status::Ok();
  std::string appended;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (in_place[i] == nullptr) {
      appended += ValueLine(*wanted[i]);
      continue;
    }
    // A value replaced keeps its place among the others.
    for (Splice& splice : *splices) {
      if (splice.begin == in_place[i]->begin && splice.text.empty())
        splice.text = ValueLine(*wanted[i]);
    }
  }
  if (appended.empty()) return Status::Ok();
  std::size_t at = ContentEnd(text, *last);
  // Where the reader would take the new lines as more of the value before them, a blank
  // line ends that value first.
  for (const ValueAt& value : values) {
    if (value.block == last_index &&
        ((value.begin < at && at < value.end) || (value.end == at && value.open))) {
      appended.insert(0, "\n");
      break;
    }
  }
  if (at == text.size() && !text.empty() && text.back() != '\n') appended.insert(0, "\n");
  splices->push_back({at, at, appended});
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

namespace {

// Applies `count` changes to one key, all of one kind (more than one: values set).
Status EditKey(std::string_view text, const HiveEdit* edits, std::size_t count,
               std::uint64_t filetime, std::string* out) {
  // The first line must be the header alone, as the reader wants it.
  std::string_view first = text.substr(0, LineAt(text, 0).end);
  if (first.ends_with('\r')) first.remove_suffix(1);
  if (first != kRegHiveHeader) return Status(StatusKind::kCorrupt);
  const HiveEdit& edit = edits[0];
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
      status = EditValues(text, blocks, values, edits, count, filetime, &splices);
      break;
    case HiveEdit::Kind::kDeleteKey:
      status = DeleteKey(text, blocks, edit, filetime, &splices);
      break;
  }
  if (!status.ok()) return status;
  *out = ApplySplices(text, std::move(splices));
  return Status::Ok();
}

bool SameKey(const HiveEdit& a, const HiveEdit& b) {
  if (a.key.size() != b.key.size()) return false;
  for (std::size_t i = 0; i < a.key.size(); ++i) {
    if (FoldCase(a.key[i]) != FoldCase(b.key[i])) return false;
  }
  return true;
}

}  // namespace

Status EditHiveText(std::string_view text, const HiveEdit& edit, std::uint64_t filetime,
                    std::string* out) {
  return EditKey(text, &edit, 1, filetime, out);
}

Status ApplyHiveEdits(std::string_view text, const std::vector<HiveEdit>& edits,
                      std::uint64_t filetime, std::string* out) {
  std::string current(text), next;
  for (std::size_t i = 0; i < edits.size();) {
    // A key made and then given values is made by the first of them; values set one
    // after another on one key are set in one pass over the hive.
    std::size_t count = 1;
    if (edits[i].kind == HiveEdit::Kind::kSetValue) {
      while (i + count < edits.size() && edits[i + count].kind == HiveEdit::Kind::kSetValue &&
             SameKey(edits[i], edits[i + count])) {
        ++count;
      }
    } else if (edits[i].kind == HiveEdit::Kind::kCreateKey && i + 1 < edits.size() &&
               edits[i + 1].kind == HiveEdit::Kind::kSetValue && SameKey(edits[i], edits[i + 1])) {
      ++i;
      continue;
    }
    Status status = EditKey(current, &edits[i], count, filetime, &next);
    if (status.ok()) {
      current.swap(next);
    } else if (!status.Is(StatusKind::kNotFound)) {
      return status;
    }
    i += count;
  }
  *out = std::move(current);
  return Status::Ok();
}

}  // namespace setup
