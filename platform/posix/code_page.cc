#include "platform/posix/code_page.h"

#include <cerrno>
#include <cstddef>

namespace setup {
namespace {

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Length of the undecodable input at the front of `rest`, which becomes one '?'. In
// code page 932 one byte (a lead byte with a bad trail byte leaves the trail byte to be
// read on its own). In UTF-8 a whole sequence: a character that code page 932 lacks, or
// the longest broken start of one.
std::size_t SkipLength(std::string_view rest, bool input_is_utf8) {
  if (!input_is_utf8) return 1;
  auto c = static_cast<unsigned char>(rest[0]);
  std::size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 1;
  std::size_t k = 1;
  while (k < len && k < rest.size() && (static_cast<unsigned char>(rest[k]) & 0xC0) == 0x80) ++k;
  return k;
}

std::string Convert(const ScopedIconv& converter, std::string_view in, bool input_is_utf8) {
  if (IsAscii(in)) return std::string(in);
  std::string out;
  if (!converter.valid()) {
    for (char c : in) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return out;
  }
  iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  out.resize(in.size() * 3 + 16);
  // iconv takes a non-const input pointer but does not write through it.
  char* in_ptr = const_cast<char*>(in.data());
  std::size_t in_left = in.size();
  std::size_t used = 0;
  while (in_left > 0) {
    char* out_ptr = out.data() + used;
    std::size_t out_left = out.size() - used;
    std::size_t r = iconv(converter.get(), &in_ptr, &in_left, &out_ptr, &out_left);
    int error = errno;
    used = out.size() - out_left;
    if (r != static_cast<std::size_t>(-1)) continue;
    if (error == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    if (error != EILSEQ && error != EINVAL) break;
    // EINVAL: a sequence cut off at the end; it is replaced as a whole.
    std::size_t skip =
        error == EINVAL ? in_left : SkipLength(std::string_view(in_ptr, in_left), input_is_utf8);
    if (used == out.size()) out.resize(out.size() * 2);
    out[used++] = '?';
    in_ptr += skip;
    in_left -= skip;
  }
  out.resize(used);
  return out;
}

}  // namespace

ScopedIconv::ScopedIconv(const char* to_code, const char* from_code)
    : cd_(iconv_open(to_code, from_code)) {}

ScopedIconv::~ScopedIconv() {
  if (valid()) iconv_close(cd_);
}

Cp932Converter::Cp932Converter() : to_utf8_("UTF-8", "CP932"), from_utf8_("CP932", "UTF-8") {}

std::string Cp932Converter::ToUtf8(std::string_view cp932) {
  return Convert(to_utf8_, cp932, false);
}

std::string Cp932Converter::FromUtf8(std::string_view utf8) {
  return Convert(from_utf8_, utf8, true);
}

}  // namespace setup
