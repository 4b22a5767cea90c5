#include "script/script_store.h"

#include <cstring>

namespace setup {

char* ScriptStore::Append(std::string_view line) {
  if (kSize - write_end_ < line.size() + 1) return nullptr;
  char* stored = store_ + write_end_;
  std::memcpy(stored, line.data(), line.size());
  stored[line.size()] = '\0';
  write_end_ += line.size() + 1;
  ++line_count_;
  return stored;
}

ScriptStore::LineResult ScriptStore::NextLine(char* buffer, std::size_t size) {
  return LineAt(&read_, buffer, size);
}

ScriptStore::LineResult ScriptStore::LineAt(std::size_t* offset, char* buffer,
                                            std::size_t size) const {
  if (*offset >= write_end_) return LineResult::kEnd;
  const char* line = store_ + *offset;
  std::size_t len = std::strlen(line);  // every stored line ends in a NUL before write_end_
  *offset += len + 1;
  if (len + 1 > size) {
    if (size > 0) buffer[0] = '\0';
    return LineResult::kTooLong;
  }
  std::memcpy(buffer, line, len + 1);
  return LineResult::kLine;
}

}  // namespace setup
