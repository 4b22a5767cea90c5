#include "text/status_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/ui.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

Status Failed(StatusKind kind, std::string path, std::string other = std::string()) {
  Status status(kind, std::move(path));
  if (!other.empty()) status.WithOtherPath(std::move(other));
  return status;
}

// Every message a failed step shows, byte for byte, from the status the step hands up.
TEST(StatusTextTest, EveryMessageOfAFailedStep) {
  const std::string script = "D:\\Dist\\Setup.Inf";
  const std::string long_source = "C:\\src\\" + std::string(293, 's');  // 300 bytes
  FakeEncoding encoding;
  const std::string kana = encoding.FromUtf8("ア");  // two bytes in code page 932
  std::string long_dir = "X";
  for (int i = 0; i < 149; ++i) long_dir += kana;  // 299 bytes
  std::string cut_dir_utf8 = "X";
  for (int i = 0; i < 124; ++i) cut_dir_utf8 += "ア";
  struct Case {
    FailedStep step;
    Status status;
    std::string text;
  } cases[] = {
      {FailedStep::kFindWindows, Status(StatusKind::kUnsupported),
       "Install Windows System in the destination than it is'nt installed"},
      {FailedStep::kLoadScript, Failed(StatusKind::kNotFound, script),
       "Can't Open D:\\Dist\\Setup.Inf file."},
      {FailedStep::kLoadScript, Failed(StatusKind::kAccessDenied, script),
       "Can't Open D:\\Dist\\Setup.Inf file."},
      {FailedStep::kLoadScript, Failed(StatusKind::kTooLong, script),
       "D:\\Dist\\Setup.Inf file is too large."},
      {FailedStep::kLoadScript, Failed(StatusKind::kReadError, script),
       "Can't read D:\\Dist\\Setup.Inf file"},
      {FailedStep::kCopyBytes, Failed(StatusKind::kNotFound, "C:\\d.bin", "C:\\s.bin"),
       "It failed in the copy form C:\\s.bin to C:\\d.bin"},
      // The fixed text counts toward the 255 bytes: 27 of it, 228 of the source.
      {FailedStep::kCopyBytes, Failed(StatusKind::kAccessDenied, "C:\\d.bin", long_source),
       "It failed in the copy form " + long_source.substr(0, 228)},
      {FailedStep::kMakeDirectory, Failed(StatusKind::kNotFound, "C:\\App"),
       "The 'C:\\App' directroy can not be make"},
      // 5 bytes of fixed text leave 250: one byte and 124 double-byte characters, the
      // 125th not split.
      {FailedStep::kMakeDirectory, Failed(StatusKind::kAccessDenied, long_dir),
       "The '" + cut_dir_utf8},
      {FailedStep::kRegister, Failed(StatusKind::kNotFound, "C:\\App\\x.dll"),
       " 'C:\\App\\x.dll' registration can't be done"},
      {FailedStep::kRegister, Failed(StatusKind::kFailed, long_source),  // no limit
       " '" + long_source + "' registration can't be done"},
      {FailedStep::kTextCopy, Failed(StatusKind::kNotFound, "C:\\out.txt", "C:\\in.txt"),
       "Can't Create C:\\out.txt file"},
      {FailedStep::kTextCopy, Failed(StatusKind::kDiskFull, "C:\\out.txt", "C:\\in.txt"),
       "Can't Create C:\\out.txt file"},
      {FailedStep::kTextCopy, Failed(StatusKind::kNotFound, "C:\\in.txt"),
       "Can't open C:\\in.txt file"},
      {FailedStep::kTextCopy, Failed(StatusKind::kIsDirectory, "C:\\in.txt"),
       "Can't open C:\\in.txt file"},
      {FailedStep::kTextCopy, Failed(StatusKind::kSyntaxError, "C:\\in.txt").AtLine(3),
       "C:\\in.txt:(3) /* */ Syntax Error"},
      {FailedStep::kTextCopy, Failed(StatusKind::kTooLong, "C:\\in.txt").AtLine(12),
       "C:\\in.txt:(12) line too long"},
      {FailedStep::kTextCopy, Failed(StatusKind::kReadError, "C:\\in.txt"),
       "Can't read C:\\in.txt file"},
      {FailedStep::kTextCopy, Failed(StatusKind::kWriteError, "C:\\out.txt", "C:\\in.txt"),
       "Can't write C:\\out.txt file"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatusText(encoding, c.step, c.status), c.text) << c.text;
    // Only the registration message stays on top.
    EXPECT_EQ(StatusStyle(c.step), c.step == FailedStep::kRegister ? kMbTopmost : kMbOk) << c.text;
  }
}

}  // namespace
}  // namespace setup
