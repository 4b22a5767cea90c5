// The parser of Wine's registry hive files (system.reg, user.reg, userdef.reg): the text
// format "WINE REGISTRY Version 2" with [key] headers and "name"=data lines, read into a
// tree of keys. Hive files are untrusted input: malformed lines are skipped, as Wine
// skips them, and nothing in them can make a read go out of bounds.
#ifndef SETUP_PLATFORM_POSIX_REG_HIVE_H_
#define SETUP_PLATFORM_POSIX_REG_HIVE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegLink = 6;
inline constexpr std::uint32_t kRegMultiSz = 7;

// The first line of every hive text; a text without it is no hive.
inline constexpr std::string_view kRegHiveHeader = "WINE REGISTRY Version 2";

// What the hive reader skips as space.
constexpr bool IsHiveSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// One key of a hive. Names are folded (FoldCase) for comparison.
struct RegHiveKey {
  struct Value {
    std::uint32_t type = 0;
    std::string data;  // raw bytes, strings in UTF-16LE with their NUL
  };
  std::map<std::u16string, RegHiveKey*> subkeys;  // by folded name; owned elsewhere
  std::map<std::u16string, Value> values;         // by folded name; "" is the default value
};

// Reads the hive text `text` into the tree under `root`; the keys it creates are added
// to `keys`, which owns them. A text without the version header is an empty hive. `sid`
// (may be null) receives the user's SID from a ";; All keys relative to" line, if any.
void ParseRegHive(std::string_view text, RegHiveKey* root,
                  std::vector<std::unique_ptr<RegHiveKey>>* keys, std::u16string* sid);

// Reads a string escaped as in a hive file from s[pos] up to the unescaped `end`
// character (0: the end of the text) into `out`. Returns the position after `end`, or
// npos when it is missing.
std::size_t ParseRegEscaped(std::string_view s, std::size_t pos, char end, std::u16string* out);

// The non-empty components of a backslash-separated key path, as given.
std::vector<std::u16string> KeyPathNames(std::u16string_view path);

// The non-empty components of a backslash-separated key path, folded for comparison.
std::vector<std::u16string> FoldedKeyPath(std::u16string_view path);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_REG_HIVE_H_
