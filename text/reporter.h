// Reporter: the one way the core shows a message. It formats the message (FormatMessage)
// and hands it to the user interface as a message box with the button OK.
#ifndef SETUP_TEXT_REPORTER_H_
#define SETUP_TEXT_REPORTER_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/ui.h"
#include "text/message.h"

namespace setup {

class Encoding;

class Reporter {
 public:
  Reporter(Encoding& encoding, Ui& ui) : encoding_(encoding), ui_(ui) {}
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // Shows `format_utf8` formatted with `args` and cut at `limit` (see FormatMessage).
  void Show(std::string_view format_utf8, std::initializer_list<MessageArg> args,
            std::uint32_t style = kMbOk, std::size_t limit = kMessageLimit);
  // Shows a message already formatted (StatusText).
  void ShowText(const std::string& utf8, std::uint32_t style);

  Encoding& encoding() const { return encoding_; }

 private:
  Encoding& encoding_;
  Ui& ui_;
};

}  // namespace setup

#endif  // SETUP_TEXT_REPORTER_H_
