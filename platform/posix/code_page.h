// Code page 932 (Shift-JIS as Windows has it), the code page of the POSIX build: the
// lead-byte test and conversions to and from UTF-8, the encoding of POSIX file names and
// of everything the user interface shows.
#ifndef SETUP_PLATFORM_POSIX_CODE_PAGE_H_
#define SETUP_PLATFORM_POSIX_CODE_PAGE_H_

#include <iconv.h>

#include <string>
#include <string_view>

#include "base/code_page_text.h"  // IsCp932LeadByte
#include "base/encoding.h"

namespace setup {

// An iconv descriptor, closed on destruction. Not copyable.
class ScopedIconv {
 public:
  ScopedIconv(const char* to_code, const char* from_code);
  ~ScopedIconv();
  ScopedIconv(const ScopedIconv&) = delete;
  ScopedIconv& operator=(const ScopedIconv&) = delete;

  bool valid() const { return cd_ != kInvalid; }
  iconv_t get() const { return cd_; }

 private:
  static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
  iconv_t cd_;
};

// Converts between code page 932 and UTF-8. A byte sequence that cannot be converted
// (an invalid byte, a character the other side lacks, a sequence cut off at the end)
// becomes one '?' and conversion goes on after it, so no text is lost silently. ASCII
// passes through unchanged, even when the iconv converters are unavailable; other
// bytes then become '?'.
class Cp932Converter {
 public:
  Cp932Converter();
  Cp932Converter(const Cp932Converter&) = delete;
  Cp932Converter& operator=(const Cp932Converter&) = delete;

  std::string ToUtf8(std::string_view cp932);
  std::string FromUtf8(std::string_view utf8);

 private:
  ScopedIconv to_utf8_;
  ScopedIconv from_utf8_;
};

// Code page 932 as the encoding of a run: the native program's choice.
class Cp932Encoding : public Encoding {
 public:
  bool IsLeadByte(unsigned char byte) const override { return IsCp932LeadByte(byte); }
  std::string ToUtf8(std::string_view text) override { return converter_.ToUtf8(text); }
  std::string FromUtf8(std::string_view text) override { return converter_.FromUtf8(text); }

 private:
  Cp932Converter converter_;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_CODE_PAGE_H_
