#include "text/reporter.h"

namespace setup {

void Reporter::Show(std::string_view format_utf8, std::initializer_list<MessageArg> args,
                    std::uint32_t style, std::size_t limit) {
  ui_.ShowMessageBox(FormatMessage(encoding_, format_utf8, args, limit), style);
}

void Reporter::ShowText(const std::string& utf8, std::uint32_t style) {
  ui_.ShowMessageBox(utf8, style);
}

}  // namespace setup
