// The install record's calls of PosixSystem on real files in a scratch prefix: sizes,
// removals that never take a folder, renames that replace only when asked, hard links
// that keep the old bytes through a replacement, a record file written at offsets, and
// DllUnregisterServer of a real shared object.
#include <gtest/gtest.h>

#include <string>

#include "platform/posix/posix_system.h"
#include "tests/unit/posix_temp_dir.h"

namespace setup {
namespace {

class PosixChangesTest : public ::testing::Test {
 protected:
  PosixChangesTest() : system_(dir_.MakeWinePrefix()) {}
  std::string C(const std::string& name) { return dir_ / ("prefix/drive_c/" + name); }
  std::string Read(const std::string& name) { return ReadFileOrMissing(C(name)); }

  TempDir dir_;
  PosixSystem system_;
};

TEST_F(PosixChangesTest, SizesRemovalsAndRenames) {
  dir_.Write("prefix/drive_c/App/a.txt", "12345");
  dir_.MakeDir("prefix/drive_c/App/empty");
  std::uint64_t size = 0;
  ASSERT_TRUE(system_.GetFileSize("C:\\App\\A.TXT", &size).ok());  // found without case
  EXPECT_EQ(size, 5u);
  EXPECT_TRUE(system_.GetFileSize("C:\\App\\empty", &size).Is(StatusKind::kIsDirectory));
  EXPECT_TRUE(system_.GetFileSize("C:\\App\\none", &size).Is(StatusKind::kNotFound));

  EXPECT_TRUE(system_.RemoveFile("C:\\App\\empty").Is(StatusKind::kIsDirectory));
  EXPECT_TRUE(system_.RemoveEmptyDirectory("C:\\App").Is(StatusKind::kFailed));  // not empty
  EXPECT_TRUE(system_.RemoveEmptyDirectory("C:\\App\\empty").ok());
  EXPECT_TRUE(system_.RemoveEmptyDirectory("C:\\App\\empty").Is(StatusKind::kNotFound));

  dir_.Write("prefix/drive_c/App/b.txt", "old");
  EXPECT_TRUE(
      system_.RenameFile("C:\\App\\a.txt", "C:\\App\\b.txt", false).Is(StatusKind::kAlreadyExists));
  EXPECT_EQ(Read("App/b.txt"), "old");
  ASSERT_TRUE(system_.RenameFile("C:\\App\\a.txt", "C:\\App\\b.txt", true).ok());
  EXPECT_EQ(Read("App/b.txt"), "12345");
  EXPECT_TRUE(system_.GetFileSize("C:\\App\\a.txt", &size).Is(StatusKind::kNotFound));
  ASSERT_TRUE(system_.RemoveFile("C:\\App\\b.txt").ok());
  EXPECT_TRUE(system_.RemoveFile("C:\\App\\b.txt").Is(StatusKind::kNotFound));
  EXPECT_EQ(dir_.List("prefix/drive_c/App"), "");
  EXPECT_TRUE(system_.RemoveFileAtRestart("C:\\App\\x").Is(StatusKind::kUnsupported));
}

TEST_F(PosixChangesTest, ALinkKeepsTheOldBytesThroughAReplacement) {
  dir_.Write("prefix/drive_c/App/a.txt", "old bytes");
  ASSERT_TRUE(system_.LinkFile("C:\\App\\a.txt", "C:\\App\\a.txt.~rollback").ok());
  std::unique_ptr<OutputFile> out;
  ASSERT_TRUE(system_.CreateReplacement("C:\\App\\a.txt", &out).ok());
  ASSERT_TRUE(out->Write("new", 3).ok() && out->Commit().ok());
  EXPECT_EQ(Read("App/a.txt"), "new");
  EXPECT_EQ(Read("App/a.txt.~rollback"), "old bytes");
  EXPECT_TRUE(system_.LinkFile("C:\\App\\a.txt", "C:\\App\\a.txt.~rollback")
                  .Is(StatusKind::kAlreadyExists));
  ASSERT_TRUE(system_.RenameFile("C:\\App\\a.txt.~rollback", "C:\\App\\a.txt", true).ok());
  EXPECT_EQ(Read("App/a.txt"), "old bytes");
}

TEST_F(PosixChangesTest, ARecordFileIsWrittenAtOffsets) {
  dir_.MakeDir("prefix/drive_c/App");
  std::unique_ptr<RecordFile> file;
  EXPECT_TRUE(system_.OpenRecordFile("C:\\App\\r.rec", false, &file).Is(StatusKind::kNotFound));
  EXPECT_EQ(file, nullptr);
  ASSERT_TRUE(system_.OpenRecordFile("C:\\App\\r.rec", true, &file).ok());
  ASSERT_TRUE(file->WriteAt(4, "tail", 4).ok());
  ASSERT_TRUE(file->WriteAt(0, "head", 4).ok());
  ASSERT_TRUE(file->Sync().ok());
  file.reset();
  EXPECT_EQ(Read("App/r.rec"), "headtail");
  ASSERT_TRUE(system_.OpenRecordFile("C:\\App\\r.rec", false, &file).ok());
  ASSERT_TRUE(file->WriteAt(0, "HE", 2).ok());
  file.reset();
  EXPECT_EQ(Read("App/r.rec"), "HEadtail");
}

// Whatever keeps a component from loading, the call answers kNotFound, naming the
// component by its Windows path, as it does on Windows.
TEST_F(PosixChangesTest, DllUnregisterServerOfWhatDoesNotLoad) {
  dir_.Write("prefix/drive_c/App/text.dll", "no library");
  dir_.MakeDir("prefix/drive_c/App/folder.dll");
  const char* const kPaths[] = {"C:\\App\\none.dll", "C:\\App\\text.dll", "C:\\App\\folder.dll"};
  for (const char* path : kPaths) {
    SCOPED_TRACE(path);
    std::int32_t hresult = -1;
    Status called = system_.CallDllUnregisterServer(path, &hresult);
    EXPECT_TRUE(called.Is(StatusKind::kNotFound));
    EXPECT_EQ(called.path(), path);
    EXPECT_EQ(hresult, -1);
  }
}

#ifdef SETUP_TEST_REGSERVER_MODULE
TEST_F(PosixChangesTest, DllUnregisterServerOfARealLibrary) {
  std::int32_t hresult = -1;
  EXPECT_TRUE(system_.CallDllUnregisterServer("C:\\none.dll", &hresult).Is(StatusKind::kNotFound));
  ASSERT_TRUE(system_.CallDllUnregisterServer(SETUP_TEST_REGSERVER_MODULE, &hresult).ok());
  EXPECT_EQ(hresult, 7);
}
#endif

}  // namespace
}  // namespace setup
