// Path mapping of the POSIX system layer, on real directories: a prefix with drives
// made as Wine makes them (symbolic links in dosdevices), case-insensitive lookup,
// code page 932 names, "." and "..", separators, relative paths.
#include "platform/posix/path_map.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/posix/folder_cache.h"
#include "platform/posix/posix_system.h"
#include "tests/unit/posix_temp_dir.h"

namespace setup {
namespace {

class PosixPathMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp_.path().empty());
    prefix_ = tmp_.MakeWinePrefix();
    ASSERT_FALSE(prefix_.empty());
    tmp_.MakeDir("prefix/drive_c/Program Files/Acme");
    tmp_.MakeDir("ddrive");
    ASSERT_EQ(symlink((tmp_ / "ddrive").c_str(), (prefix_ + "/dosdevices/d:").c_str()), 0);
    ASSERT_EQ(symlink((tmp_ / "ddrive").c_str(), (prefix_ + "/dosdevices/E:").c_str()), 0);
    tmp_.Write("prefix/drive_c/windows/win.ini", "");
    tmp_.Write("prefix/drive_c/twice/Readme.txt", "1");
    tmp_.Write("prefix/drive_c/twice/README.TXT", "2");
    c_ = prefix_ + "/dosdevices/c:";
  }

  TempDir tmp_;
  std::string prefix_;
  std::string c_;
};

TEST_F(PosixPathMapTest, DrivePaths) {
  struct Case {
    const char* windows;
    std::string posix;
  } cases[] = {
      {"C:\\windows", c_ + "/windows"},
      {"c:/windows", c_ + "/windows"},
      {"C:\\WINDOWS\\SYSTEM32", c_ + "/windows/system32"},
      {"C:\\Windows\\Win.INI", c_ + "/windows/win.ini"},
      {"C:\\program files\\ACME\\New Dir\\File.TXT", c_ + "/Program Files/Acme/New Dir/File.TXT"},
      {"C:\\windows\\", c_ + "/windows/"},
      {"C:\\windows\\\\", c_ + "/windows/"},
      {"C:\\\\windows//system32", c_ + "/windows/system32"},
      {"C:\\windows\\.\\system32\\.", c_ + "/windows/system32"},
      {"C:\\windows\\..\\WINDOWS\\system32", c_ + "/windows/system32"},
      {"C:\\windows\\..\\..\\..\\Windows", c_ + "/windows"},  // never above the drive
      {"C:\\missing\\..\\WINDOWS", c_ + "/windows"},
      {"C:\\", c_ + "/"},
      {"C:", c_},
      {"C:windows", c_ + "/windows"},
      {"D:\\Data\\x", prefix_ + "/dosdevices/d:/Data/x"},
      {"e:\\x", prefix_ + "/dosdevices/E:/x"},  // the link itself found ignoring case
      {"Q:\\x", prefix_ + "/dosdevices/q:/x"},  // no such drive: names nothing
  };
  for (const Case& c : cases) EXPECT_EQ(MapWindowsPath(c.windows, prefix_), c.posix) << c.windows;
}

TEST(NormalizeWin32ComponentTest, TrailingBlanksAndDotsAndRefusedCharacters) {
  struct Case {
    const char* name;
    bool last;
    const char* normalized;  // null: refused
  } cases[] = {
      {"b.txt.", true, "b.txt"},
      {"x . .. ", true, "x"},
      {"...", true, ""},
      {" lead", true, " lead"},
      {"d..", false, "d."},
      {"d. ", false, "d. "},  // one dot
      {"\x81\x40.", true, "\x81\x40"},
      {"a:b", true, nullptr},  // a stream of "a" to Windows
      {"a<b", true, nullptr},
      {"\"q.txt\"", true, nullptr},
      {"a|b", true, nullptr},
      {"a?b", true, nullptr},
      {"*", true, nullptr},
      {"\x1f.", false, nullptr},
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_EQ(NormalizeWin32Component(c.name, c.last, &out), c.normalized != nullptr) << c.name;
    if (c.normalized) {
      EXPECT_EQ(out, c.normalized) << c.name;
    }
  }
}

TEST_F(PosixPathMapTest, PathsAreNormalisedAsWin32Does) {
  struct Case {
    const char* windows;
    std::string posix;
  } cases[] = {
      {"C:\\windows.\\win.ini.", c_ + "/windows/win.ini"},
      {"C:\\windows \\win.ini", c_ + "/windows /win.ini"},  // not found: kept as given
      {"C:\\windows\\...\\..\\windows", c_ + "/windows"},
      {"C:\\windows\\x. \\", c_ + "/windows/x. /"},
      {"C:\\windows\\a:b", ""},
      {"C:\\a|b\\windows", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MapWindowsPath(c.windows, prefix_), c.posix) << c.windows;
}

TEST_F(PosixPathMapTest, CaseInsensitiveLookupNeedsExactlyOneMatch) {
  // Two entries differ only in case: each exact spelling finds its own, any other
  // spelling is ambiguous and keeps its own spelling.
  EXPECT_EQ(MapWindowsPath("C:\\twice\\Readme.txt", prefix_), c_ + "/twice/Readme.txt");
  EXPECT_EQ(MapWindowsPath("C:\\twice\\README.TXT", prefix_), c_ + "/twice/README.TXT");
  EXPECT_EQ(MapWindowsPath("C:\\TWICE\\readme.TXT", prefix_), c_ + "/twice/readme.TXT");
  std::string found;
  EXPECT_FALSE(FindEntry(c_ + "/twice", "readme.txt", &found));
  EXPECT_TRUE(FindEntry(c_ + "/windows", "WIN.ini", &found));
  EXPECT_EQ(found, "win.ini");
  EXPECT_FALSE(FindEntry(c_ + "/no-such-dir", "x", &found));
}

TEST_F(PosixPathMapTest, TheFolderCacheMapsAsThePlainLookupsReadingEachFolderOnce) {
  FolderCache cache;
  for (int pass = 0; pass < 2; ++pass) {
    for (const char* path : {"C:\\twice\\Readme.txt", "C:\\TWICE\\readme.TXT",
                             "c:\\WINDOWS\\WIN.INI", "C:\\windows\\new.ini", "d:\\x", "Q:\\nothing",
                             "C:\\no-such-dir\\x", "C:\\Windows\\..\\TWICE\\."}) {
      EXPECT_EQ(MapWindowsPath(path, prefix_, cache, nullptr), MapWindowsPath(path, prefix_))
          << path;
    }
  }
  EXPECT_EQ(cache.Folder(c_ + "/twice").reads(), 1);
  EXPECT_EQ(cache.Folder(c_ + "/windows").reads(), 1);
}

TEST_F(PosixPathMapTest, PosixPaths) {
  EXPECT_EQ(MapWindowsPath("/", prefix_), "/");
  EXPECT_EQ(MapWindowsPath("\\", prefix_), "/");
  EXPECT_EQ(MapWindowsPath(tmp_.path() + "\\PREFIX\\Drive_C", prefix_), prefix_ + "/drive_c");
  EXPECT_EQ(MapWindowsPath("/no-such-top/x\\y/", prefix_), "/no-such-top/x/y/");
  EXPECT_EQ(MapWindowsPath("/../..", prefix_), "/");
  EXPECT_EQ(MapWindowsPath(std::string("C:\\windows\0\\system32", 20), prefix_), c_ + "/windows");
}

TEST_F(PosixPathMapTest, DrivePathsNeedAPrefix) {
  EXPECT_EQ(MapWindowsPath("C:\\windows", ""), "");
  EXPECT_EQ(MapWindowsPath("/etc", ""), "/etc");
}

class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& dir) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~CurrentDirectory() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

TEST_F(PosixPathMapTest, RelativePathsStartAtTheCurrentDirectory) {
  std::string real = std::filesystem::canonical(prefix_).string();
  CurrentDirectory cwd(prefix_);
  EXPECT_EQ(MapWindowsPath("DRIVE_C\\Windows", prefix_), real + "/drive_c/windows");
  EXPECT_EQ(MapWindowsPath("new.txt", prefix_), real + "/new.txt");
  EXPECT_EQ(MapWindowsPath(".\\drive_c", prefix_), real + "/drive_c");
  EXPECT_EQ(MapWindowsPath("..\\DDRIVE", prefix_),
            std::filesystem::canonical(tmp_.path()).string() + "/ddrive");
  EXPECT_EQ(MapWindowsPath(".", prefix_), real);
  EXPECT_EQ(MapWindowsPath("", prefix_), "");  // names nothing, as on Windows
}

// The cache takes the current directory once: the program never changes it.
TEST_F(PosixPathMapTest, TheFolderCacheTakesTheCurrentDirectoryOnce) {
  std::string real = std::filesystem::canonical(prefix_).string();
  FolderCache cache;
  struct Case {
    const char* cwd;  // under the prefix
    const char* path;
    const char* plain;   // the plain look-ups' answer, under the prefix
    const char* cached;  // the cache's
  } cases[] = {
      {"", "DRIVE_C\\Windows", "/drive_c/windows", "/drive_c/windows"},
      {"drive_c", "Windows", "/drive_c/windows", "/Windows"},
      {"drive_c/windows", "drive_c\\..\\new.txt", "/drive_c/windows/new.txt", "/new.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cwd);
    CurrentDirectory cwd(prefix_ + "/" + c.cwd);
    EXPECT_EQ(MapWindowsPath(c.path, prefix_), real + c.plain);
    EXPECT_EQ(MapWindowsPath(c.path, prefix_, cache, nullptr), real + c.cached);
  }
}

TEST_F(PosixPathMapTest, Cp932NamesAreStoredAsUtf8) {
  tmp_.Write("prefix/drive_c/日本語/表.txt", "x");
  tmp_.Write("prefix/drive_c/日本語/ReadMe.TXT", "y");
  PosixSystem system(prefix_);
  // 表 is 0x95 0x5C: its trail byte must not split the path.
  EXPECT_EQ(system.MapPath("C:\\\x93\xfa\x96\x7b\x8c\xea\\\x95\x5c.txt"), c_ + "/日本語/表.txt");
  EXPECT_EQ(system.MapPath("c:\\\x93\xfa\x96\x7b\x8c\xea\\readme.txt"), c_ + "/日本語/ReadMe.TXT");
  EXPECT_EQ(system.MapPath("C:\\\xb1\xb2.txt"), c_ + "/ｱｲ.txt");
}

}  // namespace
}  // namespace setup
