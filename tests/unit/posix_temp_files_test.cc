// The program's temporary files on real folders: their name pattern, the removal of a
// killed run's leftovers (never a live file of another run). The signals that remove the
// live ones are tested on the program itself (tests/e2e/test_faults.py).
#include "platform/posix/temp_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <set>
#include <sstream>
#include <string>

#include "platform/posix/posix_file.h"
#include "tests/unit/posix_temp_dir.h"

namespace setup {
namespace {

TEST(TempFileNameTest, OnePattern) {
  struct Case {
    const char* name;
    bool matches;
  } cases[] = {
      {".~stpAb3xY9.tmp", true},
      {".~stp000000.tmp", true},
      {".~stpAb3xY.tmp", false},
      {".~stpAb3xY90.tmp", false},
      {"~stpAb3xY9.tmp", false},
      {".~stpAb3xY9.tmpx", false},
      {".~stpAb-xY9.tmp", false},
      {".~STPAb3xY9.tmp", false},
      {".~stpAb3xY9.TMP", false},
      {".out.txt.Ab3xY9", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsTempFileName(c.name), c.matches) << c.name;
}

std::set<std::string> Names(const std::string& list) {
  std::set<std::string> names;
  std::istringstream words(list);
  for (std::string word; words >> word;) names.insert(word);
  return names;
}

// A temporary file of a run killed part-way: a child process makes it and is killed.
void LeaveKilledTempFile(const std::string& destination) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    auto temp = TempFile::Create(destination);
    if (temp && WriteAll(temp->fd(), "partial", 7)) raise(SIGKILL);
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

TEST(LeftoverTempFilesTest, TheNextWriteIntoTheFolderRemovesThemOnce) {
  TempDir tmp;
  std::string dir = tmp.MakeDir("app");
  LeaveKilledTempFile(dir + "/out.txt");
  std::string leftover = tmp.List("app");
  ASSERT_TRUE(IsTempFileName(leftover)) << leftover;
  // Beside it: a live file of a concurrent run, and names that only resemble the pattern.
  ScopedFd live(open((dir + "/.~stpLIVE00.tmp").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  ASSERT_TRUE(live.valid());
  ASSERT_EQ(flock(live.get(), LOCK_EX | LOCK_NB), 0);
  const char* resembling[] = {".~stpABCDE.tmp", ".~stpABCDEF.tmp.x", "~stpABCDEF.tmp", ".x.tmp"};
  for (const char* name : resembling) tmp.Write(std::string("app/") + name, "keep");
  tmp.MakeDir("app/.~stpDIRECT.tmp");
  ASSERT_EQ(mkfifo((dir + "/.~stpFIFO00.tmp").c_str(), 0600), 0);
  std::string outside = tmp.Write("outside.txt", "outside");
  ASSERT_EQ(symlink(outside.c_str(), (dir + "/.~stpLINK00.tmp").c_str()), 0);
  std::string before = tmp.List("app");

  auto out = CreateReplacementFile(dir + "/out.txt");
  ASSERT_TRUE(out);
  ASSERT_TRUE(out->Write("new", 3).ok() && out->Commit().ok());
  std::set<std::string> expected = Names(before);
  ASSERT_EQ(expected.erase(leftover), 1u);
  expected.insert("out.txt");
  EXPECT_EQ(Names(tmp.List("app")), expected);
  EXPECT_EQ(ReadFileOrMissing(outside), "outside");

  // Once per folder and run: a leftover made now stays until the next run.
  LeaveKilledTempFile(dir + "/out.txt");
  std::string second = tmp.List("app");
  out = CreateReplacementFile(dir + "/out.txt");
  ASSERT_TRUE(out);
  out.reset();
  EXPECT_EQ(tmp.List("app"), second);
  EXPECT_EQ(RemoveLeftoverTempFiles(dir + "/"), 0);
}

}  // namespace
}  // namespace setup
