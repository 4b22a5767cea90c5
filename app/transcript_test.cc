// The transcript's record of SetupDialog for each way the dialog can end.
#include "app/transcript.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/unit/fakes.h"

namespace setup {
namespace {

TEST(TranscriptUiTest, SetupDialogRecord) {
  const std::string head = R"({"event":"SetupDialog","title":"T","destination":"C:\\",)";
  struct Case {
    int answer;
    std::string record;  // empty: none
  } cases[] = {
      {kIdOk, head + R"("answer":"OK","value":"C:\\"})" + "\n"},
      {kIdCancel, head + R"("answer":"CANCEL"})" + "\n"},
      {kIdFailed, ""},  // the dialog never opened: nobody answered
  };
  for (const Case& c : cases) {
    FakeUi inner;
    inner.answers = {c.answer};
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    TranscriptUi ui(inner, out, "Setup");
    int runs = 0;
    EXPECT_EQ(ui.ShowSetupDialog("T", "C:\\", [&](const std::string&) { ++runs; }), c.answer);
    EXPECT_EQ(runs, c.answer == kIdOk ? 1 : 0);
    std::rewind(out);
    std::string written;
    for (int ch; (ch = std::fgetc(out)) != EOF;) written += static_cast<char>(ch);
    std::fclose(out);
    EXPECT_EQ(written, c.record) << c.answer;
  }
}

}  // namespace
}  // namespace setup
