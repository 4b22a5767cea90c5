#include "text/status_text.h"

#include "platform/ui.h"
#include "text/message.h"
#include "text/reporter.h"

namespace setup {
namespace {

std::string LoadScriptText(Encoding& encoding, const Status& status) {
  if (status.Is(StatusKind::kTooLong)) {
    return FormatMessage(encoding, "%s file is too large.", {status.path()});
  }
  if (status.Is(StatusKind::kReadError)) {
    return FormatMessage(encoding, "Can't read %s file", {status.path()});
  }
  return FormatMessage(encoding, "Can't Open %s file.", {status.path()});
}

std::string TextCopyText(Encoding& encoding, const Status& status) {
  const std::string& path = status.path();
  switch (status.kind()) {
    case StatusKind::kSyntaxError:
      return FormatMessage(encoding, "%s:(%d) /* */ Syntax Error", {path, status.line()});
    case StatusKind::kTooLong:
      return FormatMessage(encoding, "%s:(%d) line too long", {path, status.line()});
    case StatusKind::kReadError: return FormatMessage(encoding, "Can't read %s file", {path});
    case StatusKind::kWriteError: return FormatMessage(encoding, "Can't write %s file", {path});
    default:
      if (!status.other_path().empty()) {
        return FormatMessage(encoding, "Can't Create %s file", {path});
      }
      return FormatMessage(encoding, "Can't open %s file", {path});
  }
}

}  // namespace

std::string StatusText(Encoding& encoding, FailedStep step, const Status& status) {
  switch (step) {
    case FailedStep::kFindWindows:
      return FormatMessage(encoding,
                           "Install Windows System in the destination than it is'nt installed", {});
    case FailedStep::kLoadScript: return LoadScriptText(encoding, status);
    case FailedStep::kCopyBytes:
      return FormatMessage(encoding, "It failed in the copy form %s to %s",
                           {status.other_path(), status.path()});
    case FailedStep::kMakeDirectory:
      return FormatMessage(encoding, "The '%s' directroy can not be make", {status.path()});
    case FailedStep::kRegister:
      return FormatMessage(encoding, " '%s' registration can't be done", {status.path()}, kNoLimit);
    case FailedStep::kTextCopy: return TextCopyText(encoding, status);
  }
  return std::string();
}

std::uint32_t StatusStyle(FailedStep step) {
  return step == FailedStep::kRegister ? kMbTopmost : kMbOk;
}

void ShowStatus(Reporter& reporter, FailedStep step, const Status& status) {
  reporter.ShowText(StatusText(reporter.encoding(), step, status), StatusStyle(step));
}

}  // namespace setup
