// Component registration on POSIX: programs started in a working directory and polled,
// children reaped, shared objects loaded and their DllRegisterServer called.
#include "platform/posix/posix_process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/posix/posix_system.h"
#include "tests/unit/posix_temp_dir.h"
#include "tests/unit/system_calls.h"

namespace setup {
namespace {

class PosixProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp_.path().empty());
    prefix_ = tmp_.MakeWinePrefix();
    ASSERT_FALSE(prefix_.empty());
    tools_ = tmp_.MakeDir("prefix/drive_c/Tools");
    system_ = std::make_unique<PosixSystem>(prefix_);
  }

  std::string Script(const std::string& name, const std::string& body) {
    std::string path = tmp_.Write("prefix/drive_c/Tools/" + name, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
    return path;
  }
  // Polls until the process ends; false after ten seconds.
  static bool WaitFor(Process* process) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!process->HasEnded()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  TempDir tmp_;
  std::string prefix_;
  std::string tools_;
  std::unique_ptr<PosixSystem> system_;
};

TEST(PosixArgumentsTest, SplitAtBlanks) {
  struct Case {
    const char* text;
    std::vector<std::string> words;
  } cases[] = {
      {"", {}},
      {"/regserver", {"/regserver"}},
      {" \t/a  /b\t", {"/a", "/b"}},
      {"\"x y\"", {"\"x", "y\""}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitArguments(c.text), c.words) << c.text;
}

TEST_F(PosixProcessTest, StartsTheProgramWithItsArgumentsInTheWorkingDirectory) {
  Script("reg.sh", "pwd > where.txt\necho \"$# $@\" > args.txt\nexit 3\n");
  auto process = Started(*system_, "C:\\TOOLS\\REG.SH", "/regserver", "C:\\tools\\");
  ASSERT_TRUE(process);
  ASSERT_TRUE(WaitFor(process.get()));
  EXPECT_TRUE(process->HasEnded());  // stays ended
  EXPECT_EQ(ReadFileOrMissing(tools_ + "/args.txt"), "1 /regserver\n");
  EXPECT_EQ(ReadFileOrMissing(tools_ + "/where.txt"),
            std::filesystem::canonical(tools_).string() + "\n");
}

// A terminal's Ctrl-C goes to its foreground process group: the child is in another,
// its own, so that only this program receives it.
TEST_F(PosixProcessTest, TheProgramRunsInAProcessGroupOfItsOwn) {
  // Fields 1 and 5 of /proc/<pid>/stat: the process and its group.
  Script("group.sh", "cut -d' ' -f1,5 /proc/$$/stat > group.txt\n");
  auto process = Started(*system_, "C:\\tools\\group.sh", "", "C:\\tools");
  ASSERT_TRUE(process);
  ASSERT_TRUE(WaitFor(process.get()));
  std::string text = ReadFileOrMissing(tools_ + "/group.txt");
  long pid = 0, group = 0;
  ASSERT_EQ(std::sscanf(text.c_str(), "%ld %ld", &pid, &group), 2) << text;
  EXPECT_EQ(group, pid);
  EXPECT_NE(group, static_cast<long>(getpgrp()));
}

TEST_F(PosixProcessTest, AnEmptyWorkingDirectoryIsTheCurrentOne) {
  std::string out = tmp_ / "cwd.txt";
  auto process = Started(*system_, "/bin/sh", "-c pwd>" + out, "");
  ASSERT_TRUE(process);
  ASSERT_TRUE(WaitFor(process.get()));
  EXPECT_EQ(ReadFileOrMissing(out), std::filesystem::current_path().string() + "\n");
}

TEST_F(PosixProcessTest, WhatCannotBeExecutedIsNotStarted) {
  tmp_.Write("prefix/drive_c/Tools/library.dll", "MZ not a program");
  std::string garbage = tmp_.Write("prefix/drive_c/Tools/garbage.exe", "MZ\x90\x00 no ELF");
  chmod(garbage.c_str(), 0755);
  Script("ok.sh", "exit 0\n");
  PosixSystem no_prefix("");
  struct Case {
    System* system;
    const char* program;
    const char* working_dir;
    StatusKind kind;
  } cases[] = {
      {system_.get(), "C:\\tools\\missing.exe", "", StatusKind::kNotFound},
      {system_.get(), "C:\\tools\\library.dll", "C:\\tools\\", StatusKind::kAccessDenied},
      {system_.get(), "C:\\tools\\garbage.exe", "C:\\tools\\", StatusKind::kFailed},
      {system_.get(), "C:\\tools", "", StatusKind::kAccessDenied},
      {system_.get(), "", "", StatusKind::kNotFound},
      {system_.get(), "C:\\tools\\ok.sh", "C:\\no-such-dir\\", StatusKind::kNotFound},
      {&no_prefix, "C:\\tools\\ok.sh", "", StatusKind::kNotFound},
      {&no_prefix, "/bin/sh", "C:\\tools", StatusKind::kNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " in " + c.working_dir);
    std::unique_ptr<Process> process;
    Status status = c.system->StartProcess(c.program, "/regserver", c.working_dir, &process);
    EXPECT_EQ(status.kind(), c.kind) << status.os_error();
    EXPECT_FALSE(process);
  }
}

TEST_F(PosixProcessTest, ARunningProcessHasNotEnded) {
  // The child blocks opening the FIFO until the test opens its other end.
  ASSERT_EQ(mkfifo((tools_ + "/gate").c_str(), 0600), 0);
  Script("wait.sh", "read x < gate\necho done > done.txt\n");
  auto process = Started(*system_, "C:\\tools\\wait.sh", "", "C:\\tools");
  ASSERT_TRUE(process);
  EXPECT_FALSE(process->HasEnded());
  EXPECT_FALSE(process->HasEnded());
  {
    int gate = open((tools_ + "/gate").c_str(), O_WRONLY);
    ASSERT_GE(gate, 0);
    ASSERT_EQ(write(gate, "go\n", 3), 3);
    close(gate);
  }
  ASSERT_TRUE(WaitFor(process.get()));
  EXPECT_EQ(ReadFileOrMissing(tools_ + "/done.txt"), "done\n");
}

TEST_F(PosixProcessTest, ADroppedProcessRunsOnAndIsReapedLater) {
  ASSERT_EQ(mkfifo((tools_ + "/gate").c_str(), 0600), 0);
  Script("wait.sh", "read x < gate\necho done > done.txt\n");
  Script("quick.sh", "exit 0\n");
  auto process = Started(*system_, "C:\\tools\\wait.sh", "", "C:\\tools");
  ASSERT_TRUE(process);
  process.reset();  // neither waits for the child nor kills it
  int gate = open((tools_ + "/gate").c_str(), O_WRONLY);
  ASSERT_GE(gate, 0);
  ASSERT_EQ(write(gate, "go\n", 3), 3);
  close(gate);
  // Wait until the dropped child has ended, without reaping it.
  siginfo_t info{};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  do {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    info.si_pid = 0;
    ASSERT_EQ(waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT), 0);
  } while (info.si_pid == 0);
  EXPECT_EQ(ReadFileOrMissing(tools_ + "/done.txt"), "done\n");
  // The next start and poll reap it: no child of this process is left.
  auto quick = Started(*system_, "C:\\tools\\quick.sh", "", "");
  ASSERT_TRUE(quick);
  ASSERT_TRUE(WaitFor(quick.get()));
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(PosixProcessTest, SleepWaitsAtLeastAsLongAsAsked) {
  auto start = std::chrono::steady_clock::now();
  system_->SleepMilliseconds(20);
  system_->SleepMilliseconds(0);
  system_->SleepMilliseconds(-5);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(20));
}

TEST_F(PosixProcessTest, LibrariesThatCannotRegister) {
  tmp_.Write("prefix/drive_c/Tools/text.dll", "MZ not an ELF file");
  std::int32_t hresult = 12345;
  // Not loaded: the loader's reason; no export: kUnsupported.
  EXPECT_EQ(system_->CallDllRegisterServer("C:\\tools\\missing.dll", &hresult).kind(),
            StatusKind::kNotFound);
  EXPECT_EQ(system_->CallDllRegisterServer("C:\\tools\\text.dll", &hresult).kind(),
            StatusKind::kFailed);
  EXPECT_EQ(system_->CallDllRegisterServer("", &hresult).kind(), StatusKind::kNotFound);
  // A folder named without an extension is looked for as "tools.dll", as LoadLibraryA does.
  EXPECT_EQ(system_->CallDllRegisterServer("C:\\tools", &hresult).kind(), StatusKind::kNotFound);
  EXPECT_EQ(system_->CallDllRegisterServer("C:\\tools.", &hresult).kind(),
            StatusKind::kIsDirectory);
  // A real shared object without the export: the C library this test runs on.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&dladdr), &info), 0);
  ASSERT_NE(info.dli_fname, nullptr);
  Status no_entry = system_->CallDllRegisterServer(info.dli_fname, &hresult);
  EXPECT_EQ(no_entry.kind(), StatusKind::kUnsupported);
  EXPECT_EQ(no_entry.path(), info.dli_fname);
  EXPECT_EQ(hresult, 12345);
}

#ifdef SETUP_TEST_REGSERVER_MODULE
TEST_F(PosixProcessTest, ASelfRegisteringLibraryIsCalled) {
  std::string dll = tools_ + "/Server.dll";
  std::filesystem::copy_file(SETUP_TEST_REGSERVER_MODULE, dll);
  std::string log = tmp_ / "calls.txt";
  setenv("SETUP_TEST_REGISTER_LOG", log.c_str(), 1);
  struct Case {
    const char* value;
    std::int32_t hresult;
  } cases[] = {{"0", 0}, {"1", 1}, {"0x80004005", static_cast<std::int32_t>(0x80004005u)}};
  for (const Case& c : cases) {
    setenv("SETUP_TEST_HRESULT", c.value, 1);
    std::int32_t hresult = 12345;
    EXPECT_TRUE(system_->CallDllRegisterServer("c:\\TOOLS\\server.DLL", &hresult).ok());
    EXPECT_EQ(hresult, c.hresult) << c.value;
  }
  // As LoadLibraryA: ".dll" completes a name without an extension, and only such a name.
  std::filesystem::create_directories(tmp_ / "prefix/drive_c/tools.d");
  std::filesystem::copy_file(SETUP_TEST_REGSERVER_MODULE,
                             tmp_ / "prefix/drive_c/tools.d/Server.dll");
  const struct {
    const char* path;
    bool called;
  } names[] = {{"C:\\tools\\Server", true},
               {"C:\\tools.d\\server", true},
               {"C:\\tools\\server.", false},
               {"C:\\tools\\server.ocx", false}};
  for (const auto& name : names) {
    std::int32_t hresult = 12345;
    EXPECT_EQ(system_->CallDllRegisterServer(name.path, &hresult).ok(), name.called) << name.path;
  }
  unsetenv("SETUP_TEST_HRESULT");
  unsetenv("SETUP_TEST_REGISTER_LOG");
  EXPECT_EQ(ReadFileOrMissing(log), "called\ncalled\ncalled\ncalled\ncalled\n");
}
#endif

}  // namespace
}  // namespace setup
