#include "platform/win32/wide_text.h"

#include <climits>

#include "platform/win32/windows_headers.h"

namespace setup {
namespace {

std::wstring ToWide(UINT code_page, std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  int size = static_cast<int>(text.size());
  int n = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  n = MultiByteToWideChar(code_page, 0, text.data(), size, wide.data(), n);
  wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return wide;
}

std::string FromWide(UINT code_page, std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  int size = static_cast<int>(text.size());
  int n = WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string bytes(static_cast<std::size_t>(n), '\0');
  n = WideCharToMultiByte(code_page, 0, text.data(), size, bytes.data(), n, nullptr, nullptr);
  bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return bytes;
}

}  // namespace

std::wstring WideFromUtf8(std::string_view text) { return ToWide(CP_UTF8, text); }
std::string Utf8FromWide(std::wstring_view text) { return FromWide(CP_UTF8, text); }
std::wstring WideFromAnsi(std::string_view text) { return ToWide(CP_ACP, text); }
std::string AnsiFromWide(std::wstring_view text) { return FromWide(CP_ACP, text); }

}  // namespace setup
