// Encoding: the code page the script's bytes are in, as a value the run is given. It
// answers the lead-byte test the walks of base/code_page_text.h take, and converts to and
// from UTF-8, the encoding of everything the user interface shows.
//
// The programs choose it once at start-up: code page 932 natively (and always in the text
// filter), the process's ANSI code page in Setup.exe. The core never asks the operating
// system which code page is in force; it asks the encoding it was handed.
#ifndef SETUP_BASE_ENCODING_H_
#define SETUP_BASE_ENCODING_H_

#include <string>
#include <string_view>

namespace setup {

class Encoding {
 public:
  virtual ~Encoding() = default;
  // True when `byte` begins a double-byte character.
  virtual bool IsLeadByte(unsigned char byte) const = 0;
  // A sequence the other side cannot represent becomes '?'; no text is dropped silently.
  virtual std::string ToUtf8(std::string_view text) = 0;
  virtual std::string FromUtf8(std::string_view text) = 0;
};

// An encoding's lead-byte test as the walks of base/code_page_text.h take it.
class LeadByteOf {
 public:
  explicit LeadByteOf(const Encoding& encoding) : encoding_(encoding) {}
  bool operator()(unsigned char byte) const { return encoding_.IsLeadByte(byte); }

 private:
  const Encoding& encoding_;
};

}  // namespace setup

#endif  // SETUP_BASE_ENCODING_H_
