#include "script/macro_table.h"

#include <algorithm>
#include <cstring>

namespace setup {
namespace {

void CopyField(char (&field)[MacroTable::kFieldSize], std::string_view text) {
  std::size_t n = std::min(text.size(), MacroTable::kFieldSize - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

}  // namespace

MacroTable::DefineResult MacroTable::Define(std::string_view name, std::string_view value) {
  name = name.substr(0, kFieldSize - 1);
  for (int i = 0; i < count_; ++i) {
    if (name == rows_[i].name) {
      CopyField(rows_[i].value, value);
      return DefineResult::kDefined;
    }
  }
  if (count_ >= kMaxRows) return DefineResult::kFull;
  CopyField(rows_[count_].name, name);
  CopyField(rows_[count_].value, value);
  ++count_;
  return DefineResult::kDefined;
}

bool MacroTable::Expand(const char* input, char* out, std::size_t out_size) const {
  if (out_size == 0) return false;
  std::size_t o = 0;
  const std::size_t room = out_size - 1;  // bytes before the NUL
  const char* in = input;
  while (*in) {
    const Entry* match = nullptr;
    std::size_t name_len = 0;
    for (int i = 0; i < count_; ++i) {
      const char* name = rows_[i].name;
      if (!name[0] || name[0] != *in) continue;
      std::size_t k = 1;
      while (name[k] && in[k] == name[k]) ++k;
      if (!name[k]) {
        match = &rows_[i];
        name_len = k;
        break;
      }
    }
    if (match) {
      std::size_t len = std::strlen(match->value);
      if (len > room - o) {
        std::memcpy(out + o, match->value, room - o);
        out[room] = '\0';
        return false;
      }
      std::memcpy(out + o, match->value, len);
      o += len;
      in += name_len;
    } else {
      if (o >= room) {
        out[room] = '\0';
        return false;
      }
      out[o++] = *in++;
    }
  }
  out[o] = '\0';
  return true;
}

}  // namespace setup
