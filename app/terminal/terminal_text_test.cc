// The texts of the terminal front end: the progress line, dialog texts, answers.
#include "app/terminal/terminal_text.h"

#include <gtest/gtest.h>

#include "platform/ui.h"

namespace setup {
namespace {

TEST(TerminalTextTest, ProgressLine) {
  struct Case {
    int pos, max, width;
    const char* expected;
  } cases[] = {
      {0, 20, 40, "[----------------]    0%  line  0 of 20"},
      {7, 20, 40, "[#####-----------]   35%  line  7 of 20"},
      {25, 20, 40, "[################]  100%  line 20 of 20"},  // clamped
      {-1, 20, 40, "[----------------]    0%  line  0 of 20"},
      {0, 0, 40, "[------------------]    0%  line 0 of 0"},
      {1, 4, 200, "[##########------------------------------]   25%  line 1 of 4"},
      {1, 4, 20, "[##--------]   25% "},  // cut, never wrapped
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressLine(c.pos, c.max, c.width), c.expected)
        << c.pos << "/" << c.max << " in " << c.width;
  }
}

TEST(TerminalTextTest, DialogTextDropsMnemonicAmpersands) {
  EXPECT_EQ(DialogText("&Next"), "Next");
  EXPECT_EQ(DialogText("A && B"), "A & B");
  EXPECT_EQ(DialogText("end&"), "end");
  EXPECT_EQ(DialogText("続けますか?"), "続けますか?");
}

TEST(TerminalTextTest, QuestionAnswer) {
  for (const char* ok : {"", "  ", "OK", "o", "Yes", " ok "})
    EXPECT_EQ(QuestionAnswer(ok), kIdOk) << ok;
  for (const char* cancel : {"cancel", "c", "N"})
    EXPECT_EQ(QuestionAnswer(cancel), kIdCancel) << cancel;
  for (const char* again : {"maybe", "okay"}) EXPECT_EQ(QuestionAnswer(again), 0) << again;
}

TEST(TerminalTextTest, StoppedLine) {
  struct Case {
    int line;
    const char* reason;
    const char* expected;
  } cases[] = {
      {12, "The 'C:\\x' directroy can not be make",
       "Stopped at line 12 of Setup.Inf: The 'C:\\x' directroy can not be make"},
      {3, "two\nlines\r\nand\ta tab", "Stopped at line 3 of Setup.Inf: two lines  and a tab"},
      {4, " \n padded \n", "Stopped at line 4 of Setup.Inf: padded"},
      {7, "", "Stopped at line 7 of Setup.Inf."},
      {7, " \n ", "Stopped at line 7 of Setup.Inf."},
      {-1, "x", "Stopped at line 0 of Setup.Inf: x"},
      {5, "続けますか?", "Stopped at line 5 of Setup.Inf: 続けますか?"},
  };
  for (const Case& c : cases) EXPECT_EQ(StoppedLine(c.line, c.reason), c.expected) << c.reason;
}

TEST(TerminalTextTest, CancelledReason) {
  EXPECT_EQ(CancelledReason("続けますか? Yes"), "CANCEL was answered to \"続けますか? Yes\"");
  EXPECT_EQ(StoppedLine(5, CancelledReason("a\nb")),
            "Stopped at line 5 of Setup.Inf: CANCEL was answered to \"a b\"");
}

}  // namespace
}  // namespace setup
