// The one place a failure handed up as a Status becomes the message the user sees.
//
// A step of the run that fails returns a Status (base/status.h) and shows nothing; the
// command or start-up step it belongs to names which of the run's messages it is (a
// FailedStep), and the status's kind, paths and line fill it in. The texts are the
// program's own, byte for byte, cut at 255 bytes like every message (FormatMessage), the
// fixed text counted too; the registration message alone has no limit.
#ifndef SETUP_TEXT_STATUS_TEXT_H_
#define SETUP_TEXT_STATUS_TEXT_H_

#include <cstdint>
#include <string>

#include "base/status.h"

namespace setup {

class Encoding;
class Reporter;

// Which message of the run a failed step shows.
enum class FailedStep : std::uint8_t {
  // Start-up finds no Windows or system directory.
  kFindWindows,
  // Loading the script (path): kTooLong for a script over its store, kReadError for a
  // failed read, any other kind for a script that cannot be opened.
  kLoadScript,
  // BinCopy: the destination as path, the source as other path.
  kCopyBytes,
  // MakeDir: the directory as path.
  kMakeDirectory,
  // Regsvr: the component as path.
  kRegister,
  // A text copy (TextFilter): kSyntaxError and kTooLong on the source at line() (the
  // source's chunk number), kReadError on the source, kWriteError on the destination; any
  // other kind is a file that could not be made (the destination, with the source as
  // other path) or opened (the source, no other path).
  kTextCopy,
};

// The message, UTF-8, as it is shown.
std::string StatusText(Encoding& encoding, FailedStep step, const Status& status);

// The message box style it is shown with.
std::uint32_t StatusStyle(FailedStep step);

// Shows the message of a failed step through `reporter`.
void ShowStatus(Reporter& reporter, FailedStep step, const Status& status);

}  // namespace setup

#endif  // SETUP_TEXT_STATUS_TEXT_H_
