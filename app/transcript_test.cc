// The transcript: its record of SetupDialog for each way the dialog can end, a refused
// destination, and a log that cannot be written.
#include "app/transcript.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "script/startup.h"
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
    EXPECT_EQ(ui.ShowSetupDialog("T", "C:\\",
                                 [&](const std::string&) {
                                   ++runs;
                                   return true;
                                 }),
              c.answer);
    EXPECT_EQ(runs, c.answer == kIdOk ? 1 : 0);
    std::rewind(out);
    std::string written;
    for (int ch; (ch = std::fgetc(out)) != EOF;) written += static_cast<char>(ch);
    std::fclose(out);
    EXPECT_EQ(written, c.record) << c.answer;
  }
}

std::string ReadAll(std::FILE* out) {
  std::rewind(out);
  std::string written;
  for (int ch; (ch = std::fgetc(out)) != EOF;) written += static_cast<char>(ch);
  return written;
}

// A run that refuses every destination but "C:\App", as start-up does: the refusal is one
// message box; an accepted destination's run begins with the progress range.
bool Judge(Ui& ui, const std::string& value) {
  if (value != "C:\\App") {
    ui.ShowMessageBox("refused " + value, kMbOk);
    return false;
  }
  ui.SetProgressRange(2);
  return true;
}

TEST(TranscriptUiTest, RefusedDestinationIsNeverRecordedAsUsed) {
  const std::string head = R"({"event":"SetupDialog","title":"T","destination":"C:\\",)";
  const std::string box = R"({"event":"MessageBox","caption":"Setup","style":0,"text":"refused )";
  struct Case {
    int answer;
    std::string typed;
    std::deque<std::string> corrections;
    int result;
    std::string record;
  } cases[] = {
      {kIdOk, "C:\\Café", {}, kIdFailed, box + R"(C:\\Café"})" + "\n"},
      {kIdOk,
       "C:\\Café",
       {"C:\\App"},
       kIdOk,
       box + R"(C:\\Café"})" + "\n" + head + R"("answer":"OK","value":"C:\\App"})" + "\n" +
           R"({"event":"Progress","range":2})" + "\n"},
      {kIdOk,
       "C:\\App",
       {},
       kIdOk,
       head + R"("answer":"OK","value":"C:\\App"})" + "\n" + R"({"event":"Progress","range":2})" +
           "\n"},
  };
  for (const Case& c : cases) {
    FakeUi inner;
    inner.answers = {c.answer};
    inner.type_destination = true;
    inner.typed_destination = c.typed;
    inner.corrections = c.corrections;
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    TranscriptUi ui(inner, out, "Setup");
    EXPECT_EQ(ui.ShowSetupDialog("T", "C:\\", [&](const std::string& v) { return Judge(ui, v); }),
              c.result);
    EXPECT_EQ(ReadAll(out), c.record) << c.typed;
    EXPECT_FALSE(ui.failed());
    std::fclose(out);
  }
}

// An accepted destination whose run shows nothing still leaves its record.
TEST(TranscriptUiTest, AcceptedDestinationOfASilentRunIsRecorded) {
  FakeUi inner;
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  TranscriptUi ui(inner, out, "Setup");
  EXPECT_EQ(ui.ShowSetupDialog("T", "D:\\", [](const std::string&) { return true; }), kIdOk);
  ui.ShowFinishDialog("T");
  EXPECT_EQ(ReadAll(out), R"({"event":"SetupDialog","title":"T","destination":"D:\\",)"
                          R"("answer":"OK","value":"D:\\"})"
                          "\n"
                          R"({"event":"FinishDialog","title":"T","answer":"OK"})"
                          "\n");
  std::fclose(out);
}

TEST(TranscriptUiTest, WriteFailureIsRemembered) {
  struct Case {
    const char* path;  // opened for writing
    bool failed;
  } cases[] = {
      {"/dev/full", true},  // every write: no space left on the device
      {"/dev/null", false},
  };
  for (const Case& c : cases) {
    std::FILE* out = std::fopen(c.path, "w");
    ASSERT_NE(out, nullptr) << c.path;
    FakeUi inner;
    TranscriptUi ui(inner, out, "Setup");
    EXPECT_FALSE(ui.failed());
    ui.SetProgressRange(3);
    EXPECT_EQ(ui.failed(), c.failed) << c.path;
    ui.SetProgressPos(1);  // the calls still reach the front end
    EXPECT_EQ(ui.failed(), c.failed) << c.path;
    EXPECT_EQ(inner.events, (std::vector<std::string>{"Range 3", "Pos 1"}));
    EXPECT_EQ(CloseTranscript(out, !ui.failed()), !c.failed) << c.path;
  }
}

TEST(TranscriptUiTest, ExitStatusAfterTheLog) {
  struct Case {
    int status;
    bool log_whole;
    int expected;
  } cases[] = {
      {kExitFinished, true, kExitFinished},
      {kExitFinished, false, kExitTranscriptFailed},
      // The run did not finish: its own status already says so.
      {kExitRunFailed, false, kExitRunFailed},
      {kExitCancelled, false, kExitCancelled},
      {kExitStartupFailed, false, kExitStartupFailed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatusAfterTranscript(c.status, c.log_whole), c.expected) << c.status;
  }
  EXPECT_TRUE(CloseTranscript(nullptr, true));
  EXPECT_FALSE(CloseTranscript(nullptr, false));
}

// A close that fails makes the log not whole although every record was written.
TEST(TranscriptUiTest, CloseFailureCounts) {
  std::FILE* out = std::fopen("/dev/null", "w");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(close(fileno(out)), 0);  // fclose's own close now fails
  EXPECT_FALSE(CloseTranscript(out, true));
}

}  // namespace
}  // namespace setup
