// Walking text in a code page with double-byte characters (code page 932 and its
// kin): a lead byte and the byte after it form one character, so the second byte of a
// character is never taken for a separator, a dot or a place to cut.
//
// Each walk takes the code page's lead-byte test, a callable `bool(unsigned char)`:
// LeadByteOf(encoding) in the core (base/encoding.h), IsDBCSLeadByte in platform/win32,
// IsCp932LeadByte for the fixed code page 932 of the text filter. A lead byte that ends
// the text counts as a character alone.
#ifndef SETUP_BASE_CODE_PAGE_TEXT_H_
#define SETUP_BASE_CODE_PAGE_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace setup {

// The lead bytes of code page 932: 0x81 to 0x9F and 0xE0 to 0xFC.
constexpr bool IsCp932LeadByte(unsigned byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The bytes a character of the program's own UTF-8 texts takes in code page 932:
// ASCII and half-width katakana one, every other character two.
constexpr std::size_t Cp932Width(char32_t code_point) {
  if (code_point < 0x80) return 1;
  if (code_point >= 0xFF61 && code_point <= 0xFF9F) return 1;
  return 2;
}

constexpr bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// The length in bytes of the character at `text[i]`: 2 for a lead byte with a byte
// after it, else 1.
template <typename IsLeadByte>
std::size_t CharLength(const IsLeadByte& is_lead_byte, std::string_view text, std::size_t i) {
  return is_lead_byte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// The position of the first character at or after `from` (a character's start) that is
// the single byte `c`; text.size() when there is none.
template <typename IsLeadByte>
std::size_t FindChar(const IsLeadByte& is_lead_byte, std::string_view text, std::size_t from,
                     char c) {
  std::size_t i = from;
  while (i < text.size() && text[i] != c) i += CharLength(is_lead_byte, text, i);
  return i < text.size() ? i : text.size();
}

// The position of the last character that is a single byte for which `matches` holds;
// std::string_view::npos when there is none.
template <typename IsLeadByte, typename Matches>
std::size_t FindLastCharIf(const IsLeadByte& is_lead_byte, std::string_view text,
                           const Matches& matches) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = CharLength(is_lead_byte, text, i);
    if (len == 1 && matches(text[i])) found = i;
    i += len;
  }
  return found;
}

// The length of the directory part of `text`: up to and including its last backslash
// or slash; 0 when it has none.
template <typename IsLeadByte>
std::size_t DirectoryLength(const IsLeadByte& is_lead_byte, std::string_view text) {
  std::size_t last = FindLastCharIf(is_lead_byte, text, IsPathSeparator);
  return last == std::string_view::npos ? 0 : last + 1;
}

// True when the last character of `text` is the single byte `c`.
template <typename IsLeadByte>
bool EndsWithChar(const IsLeadByte& is_lead_byte, std::string_view text, char c) {
  std::size_t last = 0;
  for (std::size_t i = 0; i < text.size(); i += CharLength(is_lead_byte, text, i)) last = i;
  return !text.empty() && last == text.size() - 1 && text.back() == c;
}

// `text` cut to at most `limit` bytes without splitting a character.
template <typename IsLeadByte>
std::string_view CutWhole(const IsLeadByte& is_lead_byte, std::string_view text,
                          std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t len = CharLength(is_lead_byte, text, i);
    if (i + len > limit) break;
    i += len;
  }
  return text.substr(0, i);
}

// The end of the run of whole double-byte characters that starts at `p`, before `end`:
// each a lead byte and the byte after it, for as long as `takes_trail` accepts that second
// byte. A character that would pass `end`, or whose second byte is refused, is left out:
// the run ends before it (at `p` itself when it takes none).
template <typename IsLeadByte, typename TakesTrail>
inline const unsigned char* SkipDoubleByteChars(const IsLeadByte& is_lead_byte,
                                                const unsigned char* p, const unsigned char* end,
                                                const TakesTrail& takes_trail) {
  while (end - p >= 2 && is_lead_byte(p[0]) && takes_trail(p[1])) p += 2;
  return p;
}

// For a walk that reads a byte at a time, as from a stream read in chunks: the bytes of
// the character whose first byte is `first`. A lead byte's character is 2 bytes, its
// second byte taken whatever it is and wherever it comes from (the next chunk, when the
// lead byte ends one; the end of the input); any other byte is 1.
template <typename IsLeadByte>
constexpr std::size_t CharLengthOfFirstByte(const IsLeadByte& is_lead_byte, unsigned first) {
  return is_lead_byte(first) ? 2 : 1;
}

// `text` as Windows compares paths: ASCII letters of single-byte characters upper-cased
// and slashes made backslashes; the bytes of a double-byte character stay as they are.
template <typename IsLeadByte>
std::string FoldPath(const IsLeadByte& is_lead_byte, std::string_view text) {
  std::string folded(text);
  for (std::size_t i = 0; i < folded.size();) {
    std::size_t len = CharLength(is_lead_byte, text, i);
    char& c = folded[i];
    if (len == 1 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (len == 1 && c == '/') c = '\\';
    i += len;
  }
  return folded;
}

}  // namespace setup

#endif  // SETUP_BASE_CODE_PAGE_TEXT_H_
