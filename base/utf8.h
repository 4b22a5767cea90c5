// Reading UTF-8, the encoding of the program's own texts and of everything the user
// interface shows.
#ifndef SETUP_BASE_UTF8_H_
#define SETUP_BASE_UTF8_H_

#include <cstddef>
#include <string_view>

namespace setup {

struct Utf8Char {
  std::size_t length;  // bytes taken: 1 to 4
  char32_t code_point;
  bool well_formed;  // false: one stray byte, `code_point` its value
};

// The character at `text[i]`: a lead byte 0xC2 to 0xF4 followed by as many continuation
// bytes as it announces, or ASCII; anything else is one stray byte. The form is all
// that is checked: overlong three- and four-byte forms and surrogates pass.
inline Utf8Char DecodeUtf8(std::string_view text, std::size_t i) {
  auto c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) return {1, c, true};
  std::size_t length = c >= 0xF0 && c <= 0xF4  ? 4
                       : c >= 0xE0 && c < 0xF0 ? 3
                       : c >= 0xC2 && c < 0xE0 ? 2
                                               : 0;
  if (length == 0 || i + length > text.size()) return {1, c, false};
  char32_t code_point = length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
  for (std::size_t k = 1; k < length; ++k) {
    auto t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return {1, c, false};
    code_point = (code_point << 6) | (t & 0x3F);
  }
  return {length, code_point, true};
}

}  // namespace setup

#endif  // SETUP_BASE_UTF8_H_
