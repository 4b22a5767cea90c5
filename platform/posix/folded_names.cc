#include "platform/posix/folded_names.h"

#include "platform/posix/path_map.h"

namespace setup {
namespace {

constexpr std::size_t kSmallestTable = 16;

std::uint32_t EntryOf(std::uint64_t slot) { return static_cast<std::uint32_t>(slot); }
std::uint32_t HashOf(std::uint64_t slot) { return static_cast<std::uint32_t>(slot >> 32); }

}  // namespace

std::uint32_t FoldedNameHash(std::string_view name) {
  std::uint32_t hash = 2166136261u;
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte - 'A' + 'a');
    hash = (hash ^ byte) * 16777619u;
  }
  // FNV's low bits mix poorly for short names, and the table takes the low bits.
  hash ^= hash >> 15;
  hash *= 0x2c1b3c6du;
  hash ^= hash >> 12;
  return hash;
}

FoldedNames::Answer FoldedNames::Lookup(std::string_view name, std::string* found) const {
  if (table_.empty()) return Answer::kNone;
  std::uint32_t hash = FoldedNameHash(name);
  std::size_t mask = table_.size() - 1;
  const Entry* only = nullptr;
  int matches = 0;
  for (std::size_t slot = hash & mask; table_[slot] != 0; slot = (slot + 1) & mask) {
    if (HashOf(table_[slot]) != hash) continue;
    const Entry& entry = entries_[EntryOf(table_[slot]) - 1];
    if (!entry.live || entry.length != name.size()) continue;
    std::string_view held = Text(entry);
    if (held == name) {
      found->assign(name);
      return Answer::kExact;
    }
    if (EqualsIgnoringAsciiCase(held, name)) {
      only = &entry;
      ++matches;
    }
  }
  if (matches != 1) return Answer::kNone;
  found->assign(Text(*only));
  return Answer::kFolded;
}

std::ptrdiff_t FoldedNames::FindExact(std::string_view name, std::uint32_t hash) const {
  if (table_.empty()) return -1;
  std::size_t mask = table_.size() - 1;
  for (std::size_t slot = hash & mask; table_[slot] != 0; slot = (slot + 1) & mask) {
    if (HashOf(table_[slot]) != hash) continue;
    const Entry& entry = entries_[EntryOf(table_[slot]) - 1];
    if (entry.live && Text(entry) == name) {
      return static_cast<std::ptrdiff_t>(slot);
    }
  }
  return -1;
}

void FoldedNames::Insert(std::string_view name) {
  std::uint32_t hash = FoldedNameHash(name);
  if (FindExact(name, hash) >= 0) return;
  // At most half the slots taken, erased entries counted: every probe ends at an empty one.
  if ((taken_ + 1) * 2 > table_.size()) Rebuild(1);
  entries_.push_back({text_.size(), static_cast<std::uint32_t>(name.size()), hash, true});
  text_.append(name);
  Place(static_cast<std::uint32_t>(entries_.size()));
  ++live_;
  ++taken_;
}

void FoldedNames::Erase(std::string_view name) {
  std::ptrdiff_t slot = FindExact(name, FoldedNameHash(name));
  if (slot < 0) return;
  entries_[EntryOf(table_[static_cast<std::size_t>(slot)]) - 1].live = false;
  --live_;
}

void FoldedNames::Clear() {
  text_.clear();
  entries_.clear();
  table_.clear();
  live_ = 0;
  taken_ = 0;
}

void FoldedNames::Place(std::uint32_t entry) {
  std::size_t mask = table_.size() - 1;
  std::uint32_t hash = entries_[entry - 1].hash;
  std::size_t slot = hash & mask;
  while (table_[slot] != 0) slot = (slot + 1) & mask;
  table_[slot] = (std::uint64_t{hash} << 32) | entry;
}

void FoldedNames::Rebuild(std::size_t extra) {
  if (live_ != entries_.size()) {
    // Erased names leave: their text and their places are dropped.
    std::string text;
    std::vector<Entry> entries;
    entries.reserve(live_ + extra);
    for (const Entry& entry : entries_) {
      if (!entry.live) continue;
      entries.push_back({text.size(), entry.length, entry.hash, true});
      text.append(Text(entry));
    }
    text_ = std::move(text);
    entries_ = std::move(entries);
  }
  std::size_t size = kSmallestTable;
  while (size < (live_ + extra) * 4) size *= 2;
  table_.assign(size, 0);
  for (std::uint32_t i = 1; i <= entries_.size(); ++i) Place(i);
  taken_ = live_;
}

}  // namespace setup
