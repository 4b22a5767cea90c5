// The POSIX system layer's byte copies, folder indexes, directories and file status, on
// real files in a scoped temporary directory (the fixture: posix_system_fixture.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "platform/posix/posix_system.h"
#include "tests/unit/posix_system_fixture.h"
#include "tests/unit/posix_temp_dir.h"
#include "tests/unit/system_calls.h"

namespace setup {
namespace {

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
