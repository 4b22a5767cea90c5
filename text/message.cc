#include "text/message.h"

#include <string>

#include "base/code_page_text.h"
#include "base/encoding.h"
#include "base/utf8.h"

namespace setup {
namespace {

class Builder {
 public:
  Builder(Encoding& encoding, std::size_t limit) : encoding_(encoding), limit_(limit) {}

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
    std::string_view cut = CutText(encoding_, text, limit_ - used_);
    used_ += cut.size();
    out_ += encoding_.ToUtf8(cut);
    return cut.size() == text.size();
  }

  std::string Take() { return std::move(out_); }

 private:
  Encoding& encoding_;
  std::size_t limit_;
  std::size_t used_ = 0;
  std::string out_;
};

}  // namespace

std::string_view CutText(const Encoding& encoding, std::string_view text, std::size_t limit) {
  return CutWhole(LeadByteOf(encoding), text, limit);
}

std::string FormatMessage(Encoding& encoding, std::string_view format,
                          std::initializer_list<MessageArg> args, std::size_t limit) {
  Builder b(encoding, limit);
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
