// Conversions between the byte texts of the program (UTF-8, or the process's ANSI code
// page) and the UTF-16 texts of the Win32 W functions. Bytes that are not valid in the
// source encoding become U+FFFD; characters the ANSI code page cannot hold become its
// default character.
#ifndef SETUP_PLATFORM_WIN32_WIDE_TEXT_H_
#define SETUP_PLATFORM_WIN32_WIDE_TEXT_H_

#include <string>
#include <string_view>

namespace setup {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_WIDE_TEXT_H_
