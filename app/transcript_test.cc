// The transcript: its record of SetupDialog for each way the dialog can end, a refused
// destination, and a log that cannot be written.
#include "app/transcript.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "script/startup.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

std::string ReadAll(std::FILE* out) {
  std::rewind(out);
  std::string written;
  for (int ch; (ch = std::fgetc(out)) != EOF;) written += static_cast<char>(ch);
  return written;
}

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
    EXPECT_EQ(ReadAll(out), c.record) << c.answer;
    std::fclose(out);
  }
}

// A run that refuses what the code page cannot hold, as start-up does, with one message
// box; an accepted destination's run begins with the progress range, or shows nothing.
bool Judge(Ui& ui, const std::string& value) {
  if (value == "C:\\Quiet") return true;
  if (value != "C:\\App") {
    ui.ShowMessageBox("refused " + value, kMbOk);
    return false;
  }
  ui.SetProgressRange(2);
  return true;
}

TEST(TranscriptUiTest, RefusedDestinationIsNeverRecordedAsUsed) {
  auto ok = [](const char* json_value) {
    return R"({"event":"SetupDialog","title":"T","destination":"C:\\","answer":"OK","value":")" +
           std::string(json_value) + "\"}\n";
  };
  const std::string box =
      std::string(
          R"({"event":"MessageBox","caption":"Setup","style":0,"text":"refused C:\\Café"})") +
      "\n";
  const std::string range = std::string(R"({"event":"Progress","range":2})") + "\n";
  struct Case {
    std::string typed;
    std::deque<std::string> corrections;
    int result;
    std::string record;
  } cases[] = {
      {"C:\\Café", {}, kIdFailed, box},
      {"C:\\Café", {"C:\\App"}, kIdOk, box + ok(R"(C:\\App)") + range},
      {"C:\\App", {}, kIdOk, ok(R"(C:\\App)") + range},
      {"C:\\Quiet", {}, kIdOk, ok(R"(C:\\Quiet)")},
  };
  for (const Case& c : cases) {
    FakeUi inner;
    inner.type_destination = true;
    inner.typed_destination = c.typed;
    inner.corrections = c.corrections;
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    TranscriptUi ui(inner, out, "Setup");
    EXPECT_EQ(ui.ShowSetupDialog("T", "C:\\", [&](const std::string& v) { return Judge(ui, v); }),
              c.result);
    EXPECT_EQ(ReadAll(out), c.record) << c.typed;
    std::fclose(out);
  }
}

TEST(TranscriptUiTest, WriteFailureIsRemembered) {
  struct Case {
    const char* path;  // opened for writing
    bool failed;
    int error;  // the reason the program gives
  } cases[] = {
      {"/dev/full", true, ENOSPC},  // every write: no space left on the device
      {"/dev/null", false, 0},
  };
  for (const Case& c : cases) {
    std::FILE* out = std::fopen(c.path, "w");
    ASSERT_NE(out, nullptr) << c.path;
    FakeUi inner;
    TranscriptUi ui(inner, out, "Setup");
    ui.SetProgressRange(3);
    EXPECT_EQ(ui.failed(), c.failed) << c.path;
    EXPECT_EQ(ui.error(), c.error) << c.path;
    ui.SetProgressPos(1);  // the calls still reach the front end
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
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatusAfterTranscript(c.status, c.log_whole), c.expected) << c.status;
  }
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
