// UTF-16 text as Windows stores it in registry hives and version resources, and its
// conversion to and from code page 932, the code page of the POSIX build.
#ifndef SETUP_PLATFORM_POSIX_UTF16_TEXT_H_
#define SETUP_PLATFORM_POSIX_UTF16_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

// Code page 932 bytes to UTF-16. False when the bytes are not valid code page 932 (a
// name that cannot be converted cannot name anything).
bool Cp932ToUtf16(std::string_view text, std::u16string* out);

// UTF-16 to code page 932, as the ANSI functions of Windows answer: a code unit without a
// code page 932 form becomes '?'. NUL units are converted like any other.
std::string Utf16ToCp932(std::u16string_view text);

// `count` little-endian UTF-16 code units at `bytes`.
std::u16string Utf16FromLittleEndian(const std::uint8_t* bytes, std::size_t count);
// The little-endian bytes of `text`.
std::string Utf16ToLittleEndian(std::u16string_view text);

// Upper-case folding of one code unit for comparing key names case-insensitively as
// Windows does: ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and full-width Latin.
char16_t FoldUnit(char16_t unit);
std::u16string FoldCase(std::u16string_view text);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_UTF16_TEXT_H_
