// Changes to the text of a Wine hive file (system.reg, user.reg), made the way the Wine
// server would save them: a key is a block that begins with its "[path] seconds" line and
// "#time=" line and holds its values, one "name"=data line each; names and strings are
// escaped as Wine escapes them (\x for what is not ASCII, C escapes and octal for control
// characters, a backslash before \ and the quote or brackets). A change touches only the
// blocks of its key; every other byte of the file stays as it was, so that nothing of a
// registry this program does not understand is lost.
//
// The hive text is untrusted input: a text without Wine's header is refused, never
// rewritten, and a malformed line is carried over as it stands.
#ifndef SETUP_PLATFORM_POSIX_REG_HIVE_EDIT_H_
#define SETUP_PLATFORM_POSIX_REG_HIVE_EDIT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace setup {

// Wine's #time lines count 100-ns ticks since 1601, its key lines seconds since 1970.
inline constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ull;
inline constexpr std::uint64_t kTicksPerSecond = 10000000ull;

struct HiveEdit {
  enum class Kind {
    kCreateKey,    // the key, when it does not exist (its parents exist by their children)
    kSetValue,     // the value, replaced or added; the key made when missing
    kDeleteValue,  // the value; kNotFound when the key holds no such value
    kDeleteKey,    // the key, its values and every key beneath it; kNotFound when missing
  };
  Kind kind = Kind::kCreateKey;
  // The key's names from the hive's root, as they are to be written (case kept).
  std::vector<std::u16string> key;
  std::u16string value_name;  // empty: the default value ("@")
  std::uint32_t type = 0;     // kRegSz, kRegExpandSz or kRegDword (reg_hive.h)
  std::u16string text;        // a string value, without its terminating NUL
  std::uint32_t number = 0;   // a DWORD value
};

// Applies `edit` to the hive text `text` into `*out`. `filetime` (100-ns ticks since
// 1601, as Wine's #time lines) stamps a key that is made or changed. kCorrupt for a text
// that is not a Wine hive; kNotFound as HiveEdit says; `*out` is then unspecified.
Status EditHiveText(std::string_view text, const HiveEdit& edit, std::uint64_t filetime,
                    std::string* out);

// Applies `edits` in order, as one would one after another with EditHiveText, but values
// set one after another on one key in one pass over the text. What is missing for a
// deletion (kNotFound) is no failure here: it is gone either way. Stops at the first
// other failure.
Status ApplyHiveEdits(std::string_view text, const std::vector<HiveEdit>& edits,
                      std::uint64_t filetime, std::string* out);

// Appends `text` escaped as Wine writes a name or a string, with a backslash before a
// backslash and before each character of `quote` (two characters: "\"\"" for a value
// name or a string, "[]" for a key name).
void AppendWineEscaped(std::u16string_view text, const char quote[2], std::string* out);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_REG_HIVE_EDIT_H_
