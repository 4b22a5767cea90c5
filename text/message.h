// One place formats every message the program shows.
//
// A message is printf-style: the format is UTF-8 (the program's own texts), `%s` takes a
// text in the process code page (a path, a script token), `%d` a number. The result is
// cut at 255 bytes as the code page counts them, never inside a double-byte character,
// and handed on as UTF-8.
#ifndef SETUP_TEXT_MESSAGE_H_
#define SETUP_TEXT_MESSAGE_H_

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace setup {

class Encoding;

struct MessageArg {
  MessageArg(std::string_view text) : text(text) {}            // NOLINT: implicit by design
  MessageArg(const char* text) : text(text) {}                 // NOLINT
  MessageArg(const std::string& text) : text(text) {}          // NOLINT
  MessageArg(int number) : number(number), is_number(true) {}  // NOLINT
  std::string_view text;
  int number = 0;
  bool is_number = false;
};

inline constexpr std::size_t kMessageLimit = 255;
inline constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

// Formats `format_utf8` with `args`. Code-page bytes of the arguments are measured with
// the encoding's lead-byte test and converted to UTF-8; the program's own texts count as
// code page 932 would store them (half-width katakana one byte, other non-ASCII two).
std::string FormatMessage(Encoding& encoding, std::string_view format_utf8,
                          std::initializer_list<MessageArg> args,
                          std::size_t limit = kMessageLimit);

// Cuts `text` (code-page bytes) to at most `limit` bytes without splitting a
// double-byte character.
std::string_view CutText(const Encoding& encoding, std::string_view text, std::size_t limit);

}  // namespace setup

#endif  // SETUP_TEXT_MESSAGE_H_
