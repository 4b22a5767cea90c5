#include "text/message.h"

#include <string>

#include "base/code_page_text.h"
#include "base/utf8.h"
#include "platform/system.h"

namespace setup {
namespace {

// Bytes a character of the program's own texts takes in code page 932.
std::size_t Cp932Width(char32_t cp) {
  if (cp < 0x80) return 1;
  if (cp >= 0xFF61 && cp <= 0xFF9F) return 1;  // half-width katakana
  return 2;
}

class Builder {
 public:
  Builder(System& system, std::size_t limit) : system_(system), limit_(limit) {}

  // Appends program text; false once the limit is reached.
  bool AddUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
      Utf8Char c = DecodeUtf8(text, i);
      std::size_t width = Cp932Width(c.code_point);
      if (used_ + width > limit_) return false;
      used_ += width;
      out_.append(text, i, c.length);
      i += c.length;
    }
    return true;
  }

  // Appends code-page text, converted to UTF-8; false once the limit is reached.
  bool AddCodePage(std::string_view text) {
    std::string_view cut = CutText(system_, text, limit_ - used_);
    used_ += cut.size();
    out_ += system_.ToUtf8(cut);
    return cut.size() == text.size();
  }

  std::string Take() { return std::move(out_); }

 private:
  System& system_;
  std::size_t limit_;
  std::size_t used_ = 0;
  std::string out_;
};

}  // namespace

bool SystemLeadByte::operator()(unsigned char byte) const { return system_.IsLeadByte(byte); }

std::string_view CutText(System& system, std::string_view text, std::size_t limit) {
  return CutWhole(SystemLeadByte(system), text, limit);
}

std::string FormatMessage(System& system, std::string_view format,
                          std::initializer_list<MessageArg> args, std::size_t limit) {
  Builder b(system, limit);
  const MessageArg* arg = args.begin();
  std::size_t start = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) continue;
    char spec = format[i + 1];
    if (spec != 's' && spec != 'd' && spec != '%') continue;
    if (!b.AddUtf8(format.substr(start, i - start))) return b.Take();
    start = i + 2;
    ++i;
    if (spec == '%') {
      if (!b.AddUtf8("%")) return b.Take();
      continue;
    }
    if (arg == args.end()) continue;
    bool more = arg->is_number ? b.AddUtf8(std::to_string(arg->number)) : b.AddCodePage(arg->text);
    ++arg;
    if (!more) return b.Take();
  }
  b.AddUtf8(format.substr(start));
  return b.Take();
}

}  // namespace setup
