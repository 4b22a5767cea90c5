#include "text/thread_start.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

namespace setup {
namespace {

TEST(ThreadStartTest, StartsTheWork) {
  std::atomic<int> runs{0};
  std::thread thread;
  ASSERT_TRUE(StartThread(&thread, [&runs] { ++runs; }));
  ASSERT_TRUE(thread.joinable());
  thread.join();
  EXPECT_EQ(runs.load(), 1);
}

// The exit status of a child that tries to start a thread where the system allows its
// user none: 0 when StartThread answers false and leaves the thread unstarted, 1 when
// it starts one, 2 when it answers false but touches the thread, 3 when the limit
// cannot be set (a user the limit does not bind).
int ChildWithoutThreads() {
  pid_t pid = fork();
  if (pid == 0) {
    // Root is not bound by RLIMIT_NPROC: become nobody first (harmless when not root).
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    rlimit none = {0, 0};
    if (setrlimit(RLIMIT_NPROC, &none) != 0) _exit(3);
    std::atomic<int> runs{0};
    std::thread thread;
    bool started = StartThread(&thread, [&runs] { ++runs; });
    if (started) {
      thread.join();
      _exit(1);
    }
    _exit(thread.joinable() || runs.load() != 0 ? 2 : 0);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(ThreadStartTest, AnswersFalseWhereNoThreadCanBeHad) {
  int status = ChildWithoutThreads();
  if (status == 3) GTEST_SKIP() << "no user here is bound by a limit on threads";
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace setup
