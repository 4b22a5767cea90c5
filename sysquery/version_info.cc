#include "sysquery/version_info.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace setup {

bool ReadVersionString(VersionReader& versions, const std::string& path, const std::string& name,
                       std::string* text) {
  text->clear();
  std::vector<std::uint8_t> block;
  if (!versions.ReadVersionBlock(path, &block).ok() || block.empty()) return false;

  // Only the first translation pair is used, even when a later one has the string.
  std::string translation;
  if (!versions.QueryVersionValue(block, "\\VarFileInfo\\Translation", &translation).ok() ||
      translation.size() < 4) {
    return false;
  }
  auto word = [&translation](std::size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(translation[at])) |
           static_cast<unsigned>(static_cast<unsigned char>(translation[at + 1])) << 8;
  };
  char table[32];
  std::snprintf(table, sizeof table, "\\StringFileInfo\\%04X%04X\\", word(0), word(2));

  std::string value;
  if (!versions.QueryVersionValue(block, table + name, &value).ok()) return false;
  // The string is the text as stored, up to its terminating NUL.
  *text = value.substr(0, value.find('\0'));
  return true;
}

}  // namespace setup
