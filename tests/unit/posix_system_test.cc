// The POSIX system layer on real files in a scoped temporary directory: the prefix and
// its directories, the registry and version blocks, reading, replacement output
// (posix_copy_test.cc: byte copies, directories, file status).
#include "platform/posix/posix_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "platform/posix/posix_file.h"
#include "tests/unit/posix_system_fixture.h"
#include "tests/unit/posix_temp_dir.h"
#include "tests/unit/system_calls.h"

namespace setup {
namespace {

// --- The prefix and the directories of the system

TEST_F(PosixSystemTest, WindowsDirectoriesComeFromAPrefixWithWindows) {
  std::string dir;
  ASSERT_TRUE(system_->WindowsDirectory(&dir).ok());
  EXPECT_EQ(dir, "C:\\windows");
  ASSERT_TRUE(system_->SystemDirectory(&dir).ok());
  EXPECT_EQ(dir, "C:\\windows\\system32");
  EXPECT_TRUE(system_->has_windows());

  std::string empty_prefix = tmp_.MakeDir("empty/drive_c");
  for (const std::string& prefix : {tmp_ / "empty", tmp_ / "missing", std::string()}) {
    PosixSystem without(prefix);
    EXPECT_FALSE(without.WindowsDirectory(&dir).ok()) << prefix;
    EXPECT_FALSE(without.SystemDirectory(&dir).ok()) << prefix;
  }
}

TEST_F(PosixSystemTest, DefaultPrefixIsWineprefixElseHomeDotWine) {
  {
    ScopedEnv prefix("WINEPREFIX", prefix_.c_str());
    EXPECT_EQ(PosixSystem().prefix(), prefix_);
    EXPECT_TRUE(PosixSystem().has_windows());
  }
  ScopedEnv home("HOME", tmp_.path().c_str());
  {
    ScopedEnv prefix("WINEPREFIX", "");
    EXPECT_EQ(DefaultWinePrefix(), tmp_.path() + "/.wine");
  }
  ScopedEnv prefix("WINEPREFIX", nullptr);
  EXPECT_EQ(DefaultWinePrefix(), tmp_.path() + "/.wine");
  EXPECT_FALSE(PosixSystem().has_windows());
}

// --- Registry and version blocks, read from the prefix and the files

TEST_F(PosixSystemTest, RegistryIsReadFromThePrefix) {
  tmp_.Write("prefix/system.reg",
             "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
             "[Software\\\\Acme] 1700000000\n\"Path\"=\"C:\\\\Acme\"\n");
  RegKey key = OpenedKey(*system_, kHkeyLocalMachine, "SOFTWARE\\acme");
  ASSERT_NE(key, 0u);
  std::string data;
  EXPECT_TRUE(system_->QueryRegistryValue(key, "path", &data).ok());
  EXPECT_EQ(data, std::string("C:\\Acme", 8));
  EXPECT_FALSE(system_->QueryRegistryValue(key, "Missing", &data).ok());
  system_->CloseRegistryKey(key);
  EXPECT_EQ(OpenedKey(*system_, kHkeyLocalMachine, "Software\\Other"), 0u);
}

TEST_F(PosixSystemTest, VersionBlocksNeedAnExecutable) {
  Write("plain.dll", "MZ but nothing more");
  std::vector<std::uint8_t> block;
  EXPECT_EQ(system_->ReadVersionBlock("C:\\work\\plain.dll", &block).kind(), StatusKind::kNotFound);
  EXPECT_EQ(system_->ReadVersionBlock("C:\\work\\missing.dll", &block).kind(),
            StatusKind::kNotFound);
  EXPECT_FALSE(PosixSystem("").ReadVersionBlock("C:\\work\\plain.dll", &block).ok());
  std::string value;
  EXPECT_EQ(
      system_->QueryVersionValue(block, "\\StringFileInfo\\040904b0\\FileVersion", &value).kind(),
      StatusKind::kNotFound);
}

// --- Reading

TEST_F(PosixSystemTest, OpenForReadingGivesTheBytes) {
  std::string data("a\r\nb\0c\x1a\xff", 8);
  Write("data.bin", data);
  auto in = OpenedFile(*system_, "C:\\WORK\\DATA.BIN");
  ASSERT_TRUE(in);
  EXPECT_EQ(ReadAll(in.get()), data);
  EXPECT_EQ(in->Read(nullptr, 0), 0);

  EXPECT_FALSE(OpenedFile(*system_, "C:\\work\\missing.bin"));
  EXPECT_FALSE(OpenedFile(*system_, "C:\\work"));  // a directory is no file
  EXPECT_FALSE(OpenedFile(*system_, "C:\\work\\"));
  EXPECT_FALSE(OpenedFile(*system_, ""));
  ASSERT_EQ(mkfifo((work_ + "/fifo").c_str(), 0600), 0);
  auto fifo = OpenedFile(*system_, "C:\\work\\fifo");  // does not hang
  if (fifo) {
    EXPECT_EQ(fifo->Read(nullptr, 0), 0);
  }
}

// --- Replacement output

TEST_F(PosixSystemTest, CommitReplacesTheDestination) {
  std::string dest = Write("out.txt", "old contents, longer than the new");
  ASSERT_EQ(chmod(dest.c_str(), 0604), 0);
  auto out = Replacement(*system_, "C:\\work\\OUT.TXT");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Write("new", 3).ok());
  EXPECT_TRUE(out->Write("", 0).ok());
  EXPECT_EQ(Read("out.txt"), "old contents, longer than the new");  // not before Commit
  EXPECT_TRUE(out->Commit().ok());
  EXPECT_EQ(Read("out.txt"), "new");
  EXPECT_EQ(Mode(dest), 0604u);      // the replaced file's permissions
  EXPECT_FALSE(out->Commit().ok());  // only once
  out.reset();
  EXPECT_EQ(List(), "out.txt");
}

TEST_F(PosixSystemTest, NewFileGetsTheUsualPermissions) {
  mode_t mask = umask(022);
  auto out = Replacement(*system_, "C:\\work\\new.txt");
  umask(mask);
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Write("x", 1).ok());
  EXPECT_TRUE(out->Commit().ok());
  EXPECT_EQ(Read("new.txt"), "x");
  EXPECT_EQ(Mode(work_ + "/new.txt") & 0777, 0644u & ~mask);
}

TEST_F(PosixSystemTest, UncommittedOutputLeavesNothingBehind) {
  Write("keep.txt", "keep");
  for (const char* name : {"C:\\work\\keep.txt", "C:\\work\\fresh.txt"}) {
    auto out = Replacement(*system_, name);
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->Write("junk", 4).ok());
    EXPECT_EQ(List().find(' ') != std::string::npos, true);  // the temporary file exists
  }
  EXPECT_EQ(List(), "keep.txt");
  EXPECT_EQ(Read("keep.txt"), "keep");
}

TEST_F(PosixSystemTest, ReplacementCannotBeMadeWhereNoFileCanBe) {
  tmp_.MakeDir("prefix/drive_c/work/adir");
  std::string read_only = Write("ro.txt", "old");
  ASSERT_EQ(chmod(read_only.c_str(), 0444), 0);
  struct Case {
    const char* path;
    StatusKind kind;
  } cases[] = {
      {"C:\\work\\missing\\x.txt", StatusKind::kNotFound},
      {"C:\\work\\adir", StatusKind::kIsDirectory},
      {"C:\\work\\", StatusKind::kIsDirectory},
      {"", StatusKind::kNotFound},
      {"C:\\work\\a?b.txt", StatusKind::kInvalidName},  // a name Windows refuses
      {"C:\\work\\RO.TXT", StatusKind::kAccessDenied},  // read-only
  };
  for (const Case& c : cases) {
    std::unique_ptr<OutputFile> out;
    Status status = system_->CreateReplacement(c.path, &out);
    EXPECT_EQ(status.kind(), c.kind) << c.path;
    EXPECT_EQ(status.path(), c.path);
    EXPECT_FALSE(out) << c.path;
  }
  Status copy = system_->CopyFileBytes("C:\\work\\ro.txt", "C:\\work\\ro.txt.");
  EXPECT_EQ(copy.kind(), StatusKind::kAccessDenied);
  EXPECT_EQ(copy.os_error(), static_cast<std::uint32_t>(EACCES));
  EXPECT_EQ(copy.path(), "C:\\work\\ro.txt.");
  EXPECT_EQ(copy.other_path(), "C:\\work\\ro.txt");
  EXPECT_EQ(Read("ro.txt"), "old");
  EXPECT_EQ(List(), "adir ro.txt");
}

TEST_F(PosixSystemTest, AFailedRenameFailsTheCommitAndLeavesNothingBehind) {
  auto out = Replacement(*system_, "C:\\work\\late.txt");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Write("x", 1).ok());
  tmp_.Write("prefix/drive_c/work/late.txt/inside", "");  // now a non-empty directory
  EXPECT_FALSE(out->Commit().ok());
  out.reset();
  EXPECT_EQ(List(), "late.txt");
  EXPECT_EQ(tmp_.List("prefix/drive_c/work/late.txt"), "inside");
}

TEST_F(PosixSystemTest, ReplacementReplacesASymbolicLinkAndLeavesItsTarget) {
  std::string target = Write("target.txt", "old");
  ASSERT_EQ(symlink("target.txt", (work_ + "/link.txt").c_str()), 0);
  auto out = Replacement(*system_, "C:\\work\\link.txt");
  ASSERT_TRUE(out);
  EXPECT_TRUE(out->Write("new", 3).ok());
  EXPECT_TRUE(out->Commit().ok());
  EXPECT_EQ(Read("target.txt"), "old");
  EXPECT_EQ(Read("link.txt"), "new");
  EXPECT_FALSE(std::filesystem::is_symlink(work_ + "/link.txt"));
}

TEST_F(PosixSystemTest, AWriteErrorFailsTheOutputAndKeepsTheDestination) {
  Write("out.txt", "old");
  std::string big(64 * 1024, 'x');
  {
    FileSizeLimit limit(4096);
    auto out = Replacement(*system_, "C:\\work\\out.txt");
    ASSERT_TRUE(out);
    EXPECT_FALSE(out->Write(big.data(), big.size()).ok());
    EXPECT_FALSE(out->Write("y", 1).ok());  // a failed output stays failed
    EXPECT_FALSE(out->Commit().ok());
  }
  EXPECT_EQ(Read("out.txt"), "old");
  EXPECT_EQ(List(), "out.txt");
}

// A real full disk: a 64 KiB tmpfs mounted in a private mount namespace of a child
// process. Skipped where mounting is not permitted.
TEST_F(PosixSystemTest, AFullDiskFailsTheOutputAndKeepsTheDestination) {
  std::string mount_point = tmp_.MakeDir("small");
  int code = ExitStatusOfChild([&] {
    if (unshare(CLONE_NEWNS) != 0) _exit(77);
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
    if (mount("tmpfs", mount_point.c_str(), "tmpfs", 0, "size=64k") != 0) _exit(77);
    std::string dest = mount_point + "/out.txt";
    if (!std::filesystem::exists(dest)) {
      FILE* f = std::fopen(dest.c_str(), "w");
      if (f == nullptr || std::fputs("old", f) < 0 || std::fclose(f) != 0) _exit(10);
    }
    PosixSystem system("");
    std::string chunk(16 * 1024, 'x');
    {
      auto out = Replacement(system, dest);
      if (!out) _exit(11);
      bool ok = true;
      for (int i = 0; i < 16 && ok; ++i) ok = out->Write(chunk.data(), chunk.size()).ok();
      if (ok) _exit(12);  // 256 KiB fitted on a 64 KiB disk
      if (out->Commit().ok()) _exit(13);
    }
    if (ReadFileOrMissing(dest) != "old") _exit(14);
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(mount_point)) {
      (void)entry;
      ++entries;
    }
    if (entries != 1) _exit(15);  // the temporary file is gone
    // A copy that does not fit fails the same way.
    std::string source = tmp_.Write("big.bin", std::string(256 * 1024, 'y'));
    if (system.CopyFileBytes(source, dest).ok()) _exit(16);
    if (ReadFileOrMissing(dest) != "old") _exit(17);
  });
  if (code == 77) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  EXPECT_EQ(code, 0) << "the check that failed, see the child above";
}

}  // namespace
}  // namespace setup
