#include "textcopy/chunk_expander.h"

#include <cstring>

namespace setup {

void ChunkExpander::Reset(const MacroTable& table) {
  table_ = &table;
  std::memset(stop_, 0, sizeof stop_);
  stop_[0] = true;
  for (int i = 0; i < table.count(); ++i) {
    const MacroTable::Entry& row = table.row(i);
    name_length_[i] = std::strlen(row.name);
    value_length_[i] = std::strlen(row.value);
    stop_[static_cast<unsigned char>(row.name[0])] = true;
  }
}

bool ChunkExpander::Expand(const char* in, std::size_t size, char* out, std::size_t out_size,
                           std::size_t* out_length) const {
  if (out_size == 0) return false;
  const std::size_t room = out_size - 1;
  const int rows = table_ != nullptr ? table_->count() : 0;
  std::size_t o = 0;
  std::size_t i = 0;
  while (i < size) {
    std::size_t j = i;
    while (j < size && !stop_[static_cast<unsigned char>(in[j])]) ++j;
    if (j - i > room - o) return false;
    std::memcpy(out + o, in + i, j - i);
    o += j - i;
    i = j;
    if (i >= size || in[i] == '\0') break;

    int match = -1;
    for (int r = 0; r < rows; ++r) {
      const std::size_t len = name_length_[r];
      if (len == 0 || len > size - i) continue;
      if (std::memcmp(table_->row(r).name, in + i, len) == 0) {
        match = r;
        break;
      }
    }
    if (match >= 0) {
      const std::size_t len = value_length_[match];
      if (len > room - o) return false;
      std::memcpy(out + o, table_->row(match).value, len);
      o += len;
      i += name_length_[match];
    } else {
      if (o >= room) return false;
      out[o++] = in[i++];
    }
  }
  out[o] = '\0';
  *out_length = o;
  return true;
}

}  // namespace setup
