// The POSIX system layer on real files in a scoped temporary directory: the prefix and
// its directories, reading, replacement output, byte copies, directories, file status.
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
#include "tests/unit/posix_temp_dir.h"
#include "tests/unit/system_calls.h"

namespace setup {
namespace {

class PosixSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp_.path().empty());
    prefix_ = tmp_.MakeWinePrefix("Windows");  // found ignoring case, as Wine does
    ASSERT_FALSE(prefix_.empty());
    work_ = tmp_.MakeDir("prefix/drive_c/work");
    system_ = std::make_unique<PosixSystem>(prefix_);
  }

  std::string Read(const std::string& name) { return ReadFileOrMissing(work_ + "/" + name); }
  std::string Write(const std::string& name, const std::string& data) {
    return tmp_.Write("prefix/drive_c/work/" + name, data);
  }
  std::string List() { return tmp_.List("prefix/drive_c/work"); }
  static std::string ReadAll(InputFile* in) {
    std::string out;
    char buffer[7];  // small, so that reads end inside the file
    std::ptrdiff_t n;
    while ((n = in->Read(buffer, sizeof buffer)) > 0) out.append(buffer, n);
    return n < 0 ? "<error>" : out;
  }
  static mode_t Mode(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  static time_t Mtime(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
  }
  static void SetMtime(const std::string& path, time_t seconds) {
    timespec times[2] = {{0, UTIME_OMIT}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  TempDir tmp_;
  std::string prefix_;
  std::string work_;
  std::unique_ptr<PosixSystem> system_;
};

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

// Lowers the file size limit for the life of the object, so that writes fail with
// EFBIG as on a full disk; SIGXFSZ is ignored meanwhile.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit saved_;
  sighandler_t old_handler_;
};

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
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
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
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the check that failed, see the child above";
}

// --- Byte copies

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; i += 3) out[i] = static_cast<char>(random());
  return out;
}

TEST_F(PosixSystemTest, CopyIsByteIdenticalAndKeepsTimeAndMode) {
  for (std::size_t size :
       {std::size_t{0}, std::size_t{1}, std::size_t{(1 << 20) + 3}, std::size_t{5 << 20}}) {
    std::string data = RandomBytes(size, static_cast<unsigned>(size));
    std::string source = Write("source.bin", data);
    ASSERT_EQ(chmod(source.c_str(), 0751), 0);
    SetMtime(source, 1000000000);
    ASSERT_TRUE(system_->CopyFileBytes("C:\\work\\source.bin", "C:\\work\\copy.bin").ok()) << size;
    EXPECT_TRUE(Read("copy.bin") == data) << size;
    EXPECT_EQ(Mtime(work_ + "/copy.bin"), 1000000000) << size;
    EXPECT_EQ(Mode(work_ + "/copy.bin"), 0751u) << size;
  }
  EXPECT_EQ(List(), "copy.bin source.bin");
}

TEST_F(PosixSystemTest, CopyReplacesAnExistingFile) {
  Write("source.bin", "short");
  std::string dest = Write("Dest.bin", std::string(100000, 'z'));
  ASSERT_EQ(chmod(dest.c_str(), 0600), 0);
  ASSERT_TRUE(system_->CopyFileBytes("C:\\work\\source.bin", "C:\\WORK\\dest.BIN").ok());
  EXPECT_EQ(Read("Dest.bin"), "short");
  EXPECT_EQ(Mode(dest), 0644u);  // the source's mode, as written by Write
  EXPECT_EQ(List(), "Dest.bin source.bin");
}

TEST_F(PosixSystemTest, CopyOntoItselfFailsAndKeepsTheFile) {
  std::string source = Write("self.bin", "precious");
  ASSERT_EQ(link(source.c_str(), (work_ + "/hardlink.bin").c_str()), 0);
  const char* spellings[] = {
      "C:\\work\\self.bin",
      "c:/WORK/SELF.BIN",
      "C:\\work\\..\\work\\.\\self.bin",
      "C:\\work\\hardlink.bin",
  };
  std::string posix = work_ + "/self.bin";
  for (const char* dest : spellings) {
    EXPECT_FALSE(system_->CopyFileBytes("C:\\work\\self.bin", dest).ok()) << dest;
  }
  EXPECT_FALSE(system_->CopyFileBytes(posix, "C:\\work\\self.bin").ok());
  EXPECT_EQ(Read("self.bin"), "precious");
  EXPECT_EQ(List(), "hardlink.bin self.bin");
}

TEST_F(PosixSystemTest, FailedCopiesLeaveNothingBehind) {
  Write("source.bin", "data");
  Write("dest.bin", "old");
  tmp_.MakeDir("prefix/drive_c/work/adir");
  struct Case {
    const char* source;
    const char* destination;
    StatusKind kind;
  } cases[] = {
      {"C:\\work\\missing.bin", "C:\\work\\dest.bin", StatusKind::kNotFound},
      {"C:\\work\\missing.bin", "C:\\work\\new.bin", StatusKind::kNotFound},
      {"C:\\work\\source.bin", "C:\\work\\nodir\\new.bin", StatusKind::kNotFound},
      {"C:\\work\\adir", "C:\\work\\new.bin", StatusKind::kIsDirectory},
      {"C:\\work\\source.bin", "C:\\work\\adir", StatusKind::kIsDirectory},
      {"C:\\work\\source.bin", "", StatusKind::kNotFound},
      {"", "C:\\work\\new.bin", StatusKind::kNotFound},
  };
  for (const Case& c : cases) {
    Status status = system_->CopyFileBytes(c.source, c.destination);
    EXPECT_EQ(status.kind(), c.kind) << c.source << " > " << c.destination;
    EXPECT_EQ(status.path(), c.destination);
    EXPECT_EQ(status.other_path(), c.source);
  }
  EXPECT_EQ(Read("dest.bin"), "old");
  EXPECT_EQ(List(), "adir dest.bin source.bin");
  EXPECT_EQ(tmp_.List("prefix/drive_c/work/adir"), "");
}

TEST_F(PosixSystemTest, ACopyThatCannotBeWrittenFailsAndKeepsTheDestination) {
  Write("source.bin", std::string(64 * 1024, 's'));
  Write("dest.bin", "old");
  {
    FileSizeLimit limit(4096);
    EXPECT_FALSE(system_->CopyFileBytes("C:\\work\\source.bin", "C:\\work\\dest.bin").ok());
  }
  EXPECT_EQ(Read("dest.bin"), "old");
  EXPECT_EQ(List(), "dest.bin source.bin");
}

TEST_F(PosixSystemTest, CopyReadsFilesThatReportNoSize) {
  // /proc files report size 0; the kernel copy gives nothing for them.
  ASSERT_TRUE(system_->CopyFileBytes("/proc/self/status", "C:\\work\\status.txt").ok());
  EXPECT_NE(Read("status.txt").find("Pid:"), std::string::npos);
}

// Another process's change, late enough for the folder's times to move with the clock.
void Shell(const std::string& command) {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST_F(PosixSystemTest, TheIndexFindsNamesWithoutCaseAndReadsTheFolderOnce) {
  Write("Source.TXT", "s");
  EXPECT_TRUE(system_->CopyFileBytes("C:\\WORK\\source.txt", "C:\\work\\Copy1.txt").ok());
  EXPECT_TRUE(
      system_->CopyFileBytes("c:\\Work\\SOURCE.txt", "C:\\work\\copy1.TXT").ok());  // replaces
  EXPECT_TRUE(system_->CopyFileBytes("C:\\work\\COPY1.TXT", "C:\\WORK\\Copy2.txt").ok());
  EXPECT_TRUE(system_->MakeDirectory("C:\\work\\Sub").ok());
  EXPECT_EQ(system_->MakeDirectory("C:\\work\\SUB").kind(), StatusKind::kAlreadyExists);
  EXPECT_TRUE(system_->CopyFileBytes("C:\\work\\source.txt", "C:\\work\\sub\\x.txt").ok());
  EXPECT_EQ(List(), "Copy1.txt Copy2.txt Source.TXT Sub");
  // Kept current by the program's own copies.
  EXPECT_EQ(system_->folders().Folder(prefix_ + "/dosdevices/c:/work").reads(), 1);
}

TEST_F(PosixSystemTest, TheIndexSeesWhatAnotherProcessChanges) {
  Write("a.txt", "a");
  ASSERT_TRUE(system_->CopyFileBytes("C:\\work\\a.txt", "C:\\work\\b.txt").ok());  // reads work
  Shell("printf late > '" + work_ + "/Late.Txt'");
  ASSERT_TRUE(system_->CopyFileBytes("C:\\work\\LATE.TXT", "C:\\work\\late-copy.txt").ok());
  EXPECT_EQ(Read("late-copy.txt"), "late");
  Shell("cd '" + work_ + "' && mv a.txt A.TXT && printf B > B.TXT && rm b.txt");
  std::uint32_t mtime = 0;
  EXPECT_TRUE(system_->GetFileStatus("C:\\work\\a.txt", &mtime).ok());
  EXPECT_NE(OpenedFile(*system_, "C:\\work\\b.txt"), nullptr);
  ASSERT_TRUE(system_->CopyFileBytes("C:\\work\\a.txt", "C:\\work\\b.txt").ok());  // replaces B.TXT
  EXPECT_EQ(Read("B.TXT"), "a");
  EXPECT_EQ(List(), "A.TXT B.TXT Late.Txt late-copy.txt");
  // A second entry that differs only in case: neither is taken for the other.
  Shell("printf b > '" + work_ + "/b.txt'");
  ASSERT_TRUE(system_->CopyFileBytes("C:\\work\\late.txt", "C:\\work\\b.txt").ok());
  EXPECT_EQ(Read("b.txt"), "late");
  EXPECT_EQ(Read("B.TXT"), "a");
  EXPECT_EQ(system_->MapPath("C:\\work\\B.txt"), prefix_ + "/dosdevices/c:/work/B.txt");
}

// --- Directories and status

TEST_F(PosixSystemTest, MakeDirectoryCreatesOneLevel) {
  Write("file.txt", "");
  struct Case {
    const char* path;
    StatusKind kind;
  } cases[] = {
      {"C:\\work\\new", StatusKind::kOk},
      {"C:\\work\\new", StatusKind::kAlreadyExists},
      {"C:\\WORK\\NEW\\", StatusKind::kAlreadyExists},
      {"C:\\work\\new\\deeper\\", StatusKind::kOk},
      {"C:\\work\\file.txt", StatusKind::kAlreadyExists},  // as CreateDirectoryA says
      {"C:\\work\\missing\\child", StatusKind::kNotFound},
      {"C:\\work\\file.txt\\child", StatusKind::kNotFound},
      {"", StatusKind::kNotFound},
  };
  for (const Case& c : cases) {
    Status status = system_->MakeDirectory(c.path);
    EXPECT_EQ(status.kind(), c.kind) << c.path;
    EXPECT_EQ(status.path(), c.kind == StatusKind::kOk ? "" : c.path);
  }
  EXPECT_TRUE(std::filesystem::is_directory(work_ + "/new/deeper"));
  EXPECT_EQ(List(), "file.txt new");
  EXPECT_EQ(PosixSystem("").MakeDirectory("C:\\x").kind(), StatusKind::kNotFound);
}

TEST_F(PosixSystemTest, FileStatusGivesTheModificationTime) {
  std::string file = Write("dated.txt", "x");
  struct Case {
    time_t set;
    std::uint32_t seen;
  } cases[] = {
      {1000000000, 1000000000u},      {0, 0u},
      {4294967295, 4294967295u},      {-5, 0u},  // before 1970: no earlier time to give
      {4294967296 + 10, 4294967295u},            // after 2106: the latest time there is
  };
  for (const Case& c : cases) {
    SetMtime(file, c.set);
    if (Mtime(file) != c.set) continue;  // the file system cannot store this time
    std::uint32_t mtime = 1;
    ASSERT_TRUE(system_->GetFileStatus("c:\\Work\\DATED.txt", &mtime).ok()) << c.set;
    EXPECT_EQ(mtime, c.seen) << c.set;
  }
  std::uint32_t mtime = 0;
  SetMtime(work_, 1234567890);
  EXPECT_TRUE(system_->GetFileStatus("C:\\work", &mtime).ok());  // directories too
  EXPECT_EQ(mtime, 1234567890u);
  EXPECT_FALSE(system_->GetFileStatus("C:\\work\\missing.txt", &mtime).ok());
  EXPECT_FALSE(system_->GetFileStatus("", &mtime).ok());
}

}  // namespace
}  // namespace setup
