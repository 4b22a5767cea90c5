// The batch front end: what makes a good answers file, how its lines are read, and a
// destination refused where nobody can correct it.
#include "app/batch/batch_ui.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <string>

#include "tests/unit/posix_temp_dir.h"

namespace setup {
namespace {

using Lines = std::deque<std::string>;

TEST(BatchUiTest, AnswersFileContents) {
  struct Case {
    std::string data;
    Lines lines;
  } cases[] = {
      {"", {}},
      {"OK\r\nCANCEL\r\n", {"OK", "CANCEL"}},
      {"OK\nOK C:\\Dest", {"OK", "OK C:\\Dest"}},  // the last line needs no line end
      {"OK C:\\Dest\r", {"OK C:\\Dest"}},
      {"\r\n\nOK\r\r\n", {"", "", "OK\r"}},  // one CR of a line end is removed, no more
      {std::string(BatchUi::kAnswersLimit - 2, 'x') + "\r\n",
       {std::string(BatchUi::kAnswersLimit - 2, 'x')}},  // exactly the limit
  };
  TempDir dir;
  for (const Case& c : cases) {
    Lines lines = {"stale"};
    EXPECT_TRUE(BatchUi::ReadAnswers(dir.Write("answers.txt", c.data), &lines));
    EXPECT_EQ(lines, c.lines) << c.data.substr(0, 20);
  }
}

// Not an answers file: the program says so and ends before anything is shown. None of
// these may wait: a FIFO without a writer, a device without an end.
TEST(BatchUiTest, BadAnswersFiles) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::string dir_path = dir / "folder";
  ASSERT_EQ(mkdir(dir_path.c_str(), 0700), 0);
  struct Case {
    std::string path;
    std::string reason;
  } cases[] = {
      {dir / "missing.txt", "No such file or directory"},
      {dir_path, "not a regular file"},
      {dir / "fifo", "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {"/dev/null", "not a regular file"},  // a device, although empty
      {dir.Write("long.txt", std::string(BatchUi::kAnswersLimit + 1, '\n')), "larger than 1 MiB"},
  };
  for (const Case& c : cases) {
    Lines lines;
    std::string reason;
    EXPECT_FALSE(BatchUi::ReadAnswers(c.path, &lines, &reason)) << c.path;
    EXPECT_TRUE(lines.empty()) << c.path;
    EXPECT_EQ(reason, c.reason) << c.path;
    EXPECT_FALSE(BatchUi::ReadAnswers(c.path, &lines)) << c.path;  // the reason is optional
  }
}

TEST(BatchUiTest, RefusedDestinationEndsTheDialog) {
  struct Case {
    Lines answers;
    bool accept;
    int answer;
    std::string offered;  // "" when on_ok was not called
  } cases[] = {
      {{}, true, kIdOk, "C:\\Default"},
      {{}, false, kIdFailed, "C:\\Default"},
      {{"OK C:\\Café"}, false, kIdFailed, "C:\\Café"},
      {{"CANCEL"}, false, kIdCancel, ""},
  };
  for (const Case& c : cases) {
    std::FILE* errors = std::tmpfile();
    ASSERT_NE(errors, nullptr);
    BatchUi ui(c.answers, errors);
    std::string offered;
    EXPECT_EQ(ui.ShowSetupDialog("T", "C:\\Default",
                                 [&](const std::string& value) {
                                   offered = value;
                                   return c.accept;
                                 }),
              c.answer);
    EXPECT_EQ(offered, c.offered);
    std::fclose(errors);
  }
}

}  // namespace
}  // namespace setup
