#include "platform/posix/utf16_text.h"

#include <cerrno>

#include "platform/posix/code_page.h"

namespace setup {
namespace {

// One converter per direction for the life of the process; iconv_open loads a module
// and is far too slow to repeat for every key name.
ScopedIconv& ToUtf16() {
  static ScopedIconv converter("UTF-16LE", "CP932");
  return converter;
}

ScopedIconv& FromUtf16() {
  static ScopedIconv converter("CP932", "UTF-16LE");
  return converter;
}

}  // namespace

bool Cp932ToUtf16(std::string_view text, std::u16string* out) {
  out->clear();
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    for (char c : text) out->push_back(static_cast<char16_t>(c));
    return true;
  }
  ScopedIconv& converter = ToUtf16();
  if (!converter.valid()) return false;
  iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  std::string bytes(text.size() * 2 + 4, '\0');
  char* in_ptr = const_cast<char*>(text.data());  // iconv does not write through it
  std::size_t in_left = text.size();
  char* out_ptr = bytes.data();
  std::size_t out_left = bytes.size();
  if (iconv(converter.get(), &in_ptr, &in_left, &out_ptr, &out_left) ==
      static_cast<std::size_t>(-1)) {
    return false;
  }
  std::size_t used = bytes.size() - out_left;
  *out = Utf16FromLittleEndian(reinterpret_cast<const std::uint8_t*>(bytes.data()), used / 2);
  return true;
}

std::string Utf16ToCp932(std::u16string_view text) {
  std::string out;
  bool ascii = true;
  for (char16_t u : text) ascii = ascii && u < 0x80;
  ScopedIconv& converter = FromUtf16();
  if (ascii || !converter.valid()) {
    for (char16_t u : text) out.push_back(u < 0x80 ? static_cast<char>(u) : '?');
    return out;
  }
  iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  std::string in = Utf16ToLittleEndian(text);
  char* in_ptr = in.data();
  std::size_t in_left = in.size();
  out.resize(text.size() * 2 + 4);
  std::size_t used = 0;
  while (in_left >= 2) {
    char* out_ptr = out.data() + used;
    std::size_t out_left = out.size() - used;
    std::size_t r = iconv(converter.get(), &in_ptr, &in_left, &out_ptr, &out_left);
    int error = errno;
    used = out.size() - out_left;
    if (r != static_cast<std::size_t>(-1)) break;
    if (error == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ (no code page 932 form, a lone surrogate) or EINVAL (a high surrogate at
    // the end): one '?' for the unit, then go on after it.
    if (used == out.size()) out.resize(out.size() * 2);
    out[used++] = '?';
    in_ptr += 2;
    in_left -= 2;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(used);
  return out;
}

std::u16string Utf16FromLittleEndian(const std::uint8_t* bytes, std::size_t count) {
  std::u16string out;
  out.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
  }
  return out;
}

std::string Utf16ToLittleEndian(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char16_t u : text) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

char16_t FoldUnit(char16_t u) {
  if (u < 0x80) return u >= 'a' && u <= 'z' ? static_cast<char16_t>(u - 0x20) : u;
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char16_t>(u - 0x20);
  if (u == 0xFF) return 0x178;
  // Latin Extended-A pairs its capitals and small letters on alternating code points;
  // the dotted and dotless i (0x130, 0x131) and the long s (0x17F) have no pair.
  if ((u >= 0x100 && u <= 0x12F) || (u >= 0x132 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) {
    return static_cast<char16_t>(u & ~1u);
  }
  if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) {
    return (u & 1u) ? u : static_cast<char16_t>(u - 1);
  }
  if (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2) return static_cast<char16_t>(u - 0x20);
  if (u >= 0x430 && u <= 0x44F) return static_cast<char16_t>(u - 0x20);
  if (u >= 0x450 && u <= 0x45F) return static_cast<char16_t>(u - 0x50);
  if (u >= 0xFF41 && u <= 0xFF5A) return static_cast<char16_t>(u - 0x20);
  return u;
}

std::u16string FoldCase(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& u : out) u = FoldUnit(u);
  return out;
}

}  // namespace setup
