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
  auto process = system_->StartProcess("C:\\TOOLS\\REG.SH", "/regserver", "C:\\tools\\");
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
  auto process = system_->StartProcess("C:\\tools\\group.sh", "", "C:\\tools");
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
  auto process = system_->StartProcess("/bin/sh", "-c pwd>" + out, "");
  ASSERT_TRUE(process);
  ASSERT_TRUE(WaitFor(process.get()));
  EXPECT_EQ(ReadFileOrMissing(out), std::filesystem::current_path().string() + "\n");
}

TEST_F(PosixProcessTest, WhatCannotBeExecutedIsNotStarted) {
  tmp_.Write("prefix/drive_c/Tools/library.dll", "MZ not a program");
  std::string garbage = tmp_.Write("prefix/drive_c/Tools/garbage.exe", "MZ\x90\x00 no ELF");
  chmod(garbage.c_str(), 0755);
  EXPECT_FALSE(system_->StartProcess("C:\\tools\\missing.exe", "/regserver", ""));
  EXPECT_FALSE(system_->StartProcess("C:\\tools\\library.dll", "/regserver", "C:\\tools\\"));
  EXPECT_FALSE(system_->StartProcess("C:\\tools\\garbage.exe", "/regserver", "C:\\tools\\"));
  EXPECT_FALSE(system_->StartProcess("C:\\tools", "", ""));
  EXPECT_FALSE(system_->StartProcess("", "", ""));
  Script("ok.sh", "exit 0\n");
  EXPECT_FALSE(system_->StartProcess("C:\\tools\\ok.sh", "", "C:\\no-such-dir\\"));
  EXPECT_FALSE(PosixSystem("").StartProcess("C:\\tools\\ok.sh", "", ""));
  EXPECT_FALSE(PosixSystem("").StartProcess("/bin/sh", "", "C:\\tools"));
}

TEST_F(PosixProcessTest, ARunningProcessHasNotEnded) {
  // The child blocks opening the FIFO until the test opens its other end.
  ASSERT_EQ(mkfifo((tools_ + "/gate").c_str(), 0600), 0);
  Script("wait.sh", "read x < gate\necho done > done.txt\n");
  auto process = system_->StartProcess("C:\\tools\\wait.sh", "", "C:\\tools");
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
  auto process = system_->StartProcess("C:\\tools\\wait.sh", "", "C:\\tools");
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
  auto quick = system_->StartProcess("C:\\tools\\quick.sh", "", "");
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
  EXPECT_EQ(system_->CallDllRegisterServer("C:\\tools\\missing.dll", &hresult),
            DllRegisterResult::kNotLoaded);
  EXPECT_EQ(system_->CallDllRegisterServer("C:\\tools\\text.dll", &hresult),
            DllRegisterResult::kNotLoaded);
  EXPECT_EQ(system_->CallDllRegisterServer("", &hresult), DllRegisterResult::kNotLoaded);
  EXPECT_EQ(system_->CallDllRegisterServer("C:\\tools", &hresult), DllRegisterResult::kNotLoaded);
  // A real shared object without the export: the C library this test runs on.
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&dladdr), &info), 0);
  ASSERT_NE(info.dli_fname, nullptr);
  EXPECT_EQ(system_->CallDllRegisterServer(info.dli_fname, &hresult),
            DllRegisterResult::kNoEntryPoint);
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
    EXPECT_EQ(system_->CallDllRegisterServer("c:\\TOOLS\\server.DLL", &hresult),
              DllRegisterResult::kCalled);
    EXPECT_EQ(hresult, c.hresult) << c.value;
  }
  // As LoadLibraryA: ".dll" completes a name without an extension, and only such a name.
  std::filesystem::create_directories(tmp_ / "prefix/drive_c/tools.d");
  std::filesystem::copy_file(SETUP_TEST_REGSERVER_MODULE,
                             tmp_ / "prefix/drive_c/tools.d/Server.dll");
  const struct {
    const char* path;
    DllRegisterResult result;
  } names[] = {{"C:\\tools\\Server", DllRegisterResult::kCalled},
               {"C:\\tools.d\\server", DllRegisterResult::kCalled},
               {"C:\\tools\\server.", DllRegisterResult::kNotLoaded},
               {"C:\\tools\\server.ocx", DllRegisterResult::kNotLoaded}};
  for (const auto& name : names) {
    std::int32_t hresult = 12345;
    EXPECT_EQ(system_->CallDllRegisterServer(name.path, &hresult), name.result) << name.path;
  }
  unsetenv("SETUP_TEST_HRESULT");
  unsetenv("SETUP_TEST_REGISTER_LOG");
  EXPECT_EQ(ReadFileOrMissing(log), "called\ncalled\ncalled\ncalled\ncalled\n");
}
#endif

}  // namespace
}  // namespace setup
