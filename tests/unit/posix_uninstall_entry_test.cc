// The uninstall entry in a real prefix directory's system.reg, written by PosixSystem with
// no Wine server running: the hive rewritten beside itself, only the entry's block changed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/hive_file.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/reg_hive.h"
#include "platform/posix/utf16_text.h"
#include "record/uninstall_entry.h"
#include "tests/unit/posix_temp_dir.h"

namespace setup {
namespace {

// A hive as Wine 8 saves one, with what the rewrite must carry over untouched: escapes,
// a hex value over two lines, a key without values, the 32-bit view.
constexpr char kSystemReg[] = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Classes\\*\\shellex] 1796667098
#time=1dd867667399dfe

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall] 1796667098
#time=1dd8676673c4658

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wine Gecko] 1796667098
#time=1dd8676673c4658
"DisplayName"="Wine Gecko (32-bit) \x00e9\"q\""
"Bin"=hex:00,01,\
  02

[Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall] 1796667103
#time=1dd867669d2ad30
)";

UninstallEntryValues Values(const std::string& version) {
  UninstallEntryValues v;
  v.id = "Example.Demo";
  v.display_name = "Demo \x83\x66\x83\x82";  // "Demo デモ" in code page 932
  v.display_version = version;
  v.publisher = "Example";
  v.install_location = "C:\\Program Files\\Demo";
  v.install_date = "20261207";
  v.estimated_size = 42;
  v.uninstall_string = "\"C:\\Program Files\\Demo\\Setup.exe\" /UNINSTALL";
  return v;
}

std::string Read(const std::string& path) { return ReadFileOrMissing(path); }

class PosixUninstallEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("drive_c/windows/placeholder", "");
    hive_ = dir_.Write("system.reg", kSystemReg);
    chmod(hive_.c_str(), 0640);
  }
  TempDir dir_;
  std::string hive_;
};

TEST_F(PosixUninstallEntryTest, WrittenReadBackReplacedAndRemovedLeavingTheRestAsItWas) {
  {
    PosixSystem system(dir_.path());
    ASSERT_TRUE(WriteUninstallEntry(system, Values("1.0")).ok());
    UninstallEntryValues same_run;
    ASSERT_TRUE(ReadUninstallEntry(system, "Example.Demo", &same_run).ok());
    EXPECT_EQ(same_run.display_version, "1.0");
  }
  std::string written = Read(hive_);
  const std::string block_start =
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Example.Demo] ";
  std::size_t begin = written.find(block_start);
  ASSERT_NE(begin, std::string::npos) << written;
  std::size_t end = written.find("\n\n[", begin);
  ASSERT_NE(end, std::string::npos);
  std::string block = written.substr(begin, end + 2 - begin);
  EXPECT_NE(block.find("\"DisplayName\"=\"Demo \\x30c7\\x30e2\"\n"), std::string::npos) << block;
  EXPECT_EQ(written.substr(0, begin) + written.substr(end + 2), kSystemReg);
  struct stat st;
  ASSERT_EQ(stat(hive_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  {
    PosixSystem system(dir_.path());  // reads the file afresh
    UninstallEntryValues read;
    ASSERT_TRUE(ReadUninstallEntry(system, "EXAMPLE.DEMO", &read).ok());
    EXPECT_EQ(read.display_name, Values("1.0").display_name);
    EXPECT_EQ(read.install_location, "C:\\Program Files\\Demo");
    EXPECT_EQ(read.estimated_size, 42u);
    UninstallEntryValues second = Values("2.0");
    second.publisher.clear();
    ASSERT_TRUE(WriteUninstallEntry(system, second).ok());
  }
  std::string replaced = Read(hive_);
  EXPECT_EQ(replaced.find("Example.Demo]"), replaced.rfind("Example.Demo]")) << "one entry";
  EXPECT_EQ(replaced.find("\"Publisher\""), std::string::npos);
  EXPECT_NE(replaced.find("\"DisplayVersion\"=\"2.0\""), std::string::npos);

  PosixSystem system(dir_.path());
  ASSERT_TRUE(RemoveUninstallEntry(system, "Example.Demo").ok());
  EXPECT_EQ(Read(hive_), kSystemReg);
  UninstallEntryValues gone;
  EXPECT_TRUE(ReadUninstallEntry(system, "Example.Demo", &gone).Is(StatusKind::kNotFound));
  EXPECT_TRUE(RemoveUninstallEntry(system, "Example.Demo").ok());
  EXPECT_EQ(Read(hive_), kSystemReg);
}

TEST_F(PosixUninstallEntryTest, AHiveThatIsNotWinesIsNeverRewritten) {
  const std::string texts[] = {"", "Windows Registry Editor Version 5.00\n"};
  for (const std::string& text : texts) {
    dir_.Write("system.reg", text);
    PosixSystem system(dir_.path());
    Status status = WriteUninstallEntry(system, Values("1.0"));
    EXPECT_TRUE(status.Is(StatusKind::kCorrupt)) << text;
    EXPECT_EQ(Read(hive_), text);
  }
  unlink(hive_.c_str());
  PosixSystem system(dir_.path());
  EXPECT_TRUE(WriteUninstallEntry(system, Values("1.0")).Is(StatusKind::kNotFound));
  EXPECT_FALSE(PosixSystem("")
                   .OpenRegistryKeyForWriting(kHkeyLocalMachine, "Software",
                                              System::KeyDisposition::kMustExist, nullptr)
                   .ok());
}

// The leaf of a Wine server's directory for the prefix `prefix`.
std::string ServerLeaf(const std::string& prefix) {
  struct stat st;
  if (stat(prefix.c_str(), &st) != 0) return "";
  char leaf[96];
  std::snprintf(leaf, sizeof leaf, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  return leaf;
}

// A Wine server is seen by the lock it holds in its directory: here Debian's kind,
// named by the prefix's file "wineserver", held by a child process as a server holds it.
TEST_F(PosixUninstallEntryTest, ARunningServerIsSeenByItsLock) {
  std::string leaf = ServerLeaf(dir_.path());
  ASSERT_FALSE(leaf.empty());
  std::string lock = dir_.Write("tmp/" + leaf + "/lock", "");
  dir_.Write("wineserver", dir_ / "tmp" + "\n");
  EXPECT_FALSE(WineServerLock(dir_.path()).server_running());
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int fd = open(lock.c_str(), O_RDWR);
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    bool locked = fd >= 0 && fcntl(fd, F_SETLK, &fl) == 0;
    if (write(ready[1], locked ? "1" : "0", 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  EXPECT_EQ(answer, '1');
  EXPECT_TRUE(WineServerLock(dir_.path()).server_running());
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_FALSE(WineServerLock(dir_.path()).server_running());
  std::vector<std::string> dirs = WineServerDirectories(dir_.path());
  ASSERT_EQ(dirs.size(), 2u);
  EXPECT_EQ(dirs[0], "/tmp/.wine-" + std::to_string(getuid()) + "/" + leaf);
  EXPECT_EQ(dirs[1], dir_ / "tmp/" + leaf);
}

// A stand-in for Wine: `wine reg VERB ...` answers the exit status the test put in
// answer-VERB; an export that answers 0 writes export.reg, when there is one, as the file
// it names, else removes that file.
constexpr char kFakeWine[] = R"(#!/bin/sh
read -r code < "$WINEPREFIX/answer-$2" || exit 99
if [ "$2" = export ] && [ "$code" = 0 ]; then
  out="$WINEPREFIX/drive_c/windows/temp/${4##*\\}"
  if [ -f "$WINEPREFIX/export.reg" ]; then cat "$WINEPREFIX/export.reg" > "$out"; else rm -f "$out"; fi
fi
exit "$code"
)";

// What a running server holds is asked of it with `wine reg export`; only a key it does
// not hold is missing, never Wine that cannot run or an export that cannot be read.
TEST_F(PosixUninstallEntryTest, OnlyAKeyTheServerLacksIsMissing) {
  dir_.Write("wineserver", dir_ / "tmp" + "\n");
  dir_.MakeDir("tmp/" + ServerLeaf(dir_.path()) + "/lock");  // unopenable: a server runs
  dir_.MakeDir("drive_c/windows/temp");
  std::string wine = dir_.Write("bin/wine", kFakeWine);
  chmod(wine.c_str(), 0755);
  const std::string exported = Utf16ToLittleEndian(
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\Software\\Demo]\r\n\"N\"=dword:00000040\r\n");
  const struct Row {
    const char* export_answer;
    const char* query_answer;
    const char* file;  // what the export writes; null: it leaves no file
    bool wine_found;
    StatusKind kind;
    std::uint32_t os_error;
  } rows[] = {
      {"1", "1", nullptr, true, StatusKind::kNotFound, 1},
      {"1", "0", nullptr, true, StatusKind::kFailed, 1},   // there: another refusal
      {"1", "53", nullptr, true, StatusKind::kFailed, 1},  // the query did not answer
      {"53", "1", nullptr, true, StatusKind::kFailed, 53},
      {"0", "1", "", true, StatusKind::kOk, 0},
      {"0", "1", nullptr, true, StatusKind::kReadError, ENOENT},
      {"0", "1", "REGEDIT4\r\n", true, StatusKind::kCorrupt, 0},
      {"1", "1", nullptr, false, StatusKind::kUnsupported, ENOENT},
  };
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.export_answer) + " " + row.query_answer);
    dir_.Write("answer-export", std::string(row.export_answer) + "\n");
    dir_.Write("answer-query", std::string(row.query_answer) + "\n");
    unlink((dir_ / "export.reg").c_str());
    if (row.file) dir_.Write("export.reg", *row.file ? row.file : exported);
    setenv("PATH", (row.wine_found ? dir_ / "bin:" + path : dir_ / "none").c_str(), 1);
    std::string text;
    Status status = ExportFromServer(dir_.path(), "HKLM", {u"Software", u"Demo"}, &text);
    PosixSystem system(dir_.path());
    UninstallEntryValues values;
    Status read = ReadUninstallEntry(system, "Example.Demo", &values);
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(status.kind(), row.kind);
    EXPECT_EQ(status.os_error(), row.os_error);
    EXPECT_EQ(text.find("[Software\\\\Demo]\n\"N\"=dword:00000040\n") != std::string::npos,
              status.ok());
    // Opening a key that must exist asks the server the same and answers alike.
    EXPECT_EQ(read.kind(), row.kind == StatusKind::kOk ? StatusKind::kNotFound : row.kind);
  }
  EXPECT_EQ(dir_.List("drive_c/windows/temp"), "") << "no export file is left";
}

// While a server runs, the changes go to it as one file for `wine reg import`.
TEST(RegImportTextTest, EachChangeAsRegImportReadsIt) {
  using K = HiveEdit::Kind;
  auto edit = [](K kind, std::u16string name, std::uint32_t type) {
    HiveEdit e;
    e.kind = kind;
    e.key = {u"Software", u"Demo \u30c7"};
    e.value_name = std::move(name);
    e.type = type;
    e.text = u"a\"\u30c7";
    e.number = 0xFFFFFFFFu;
    return e;
  };
  std::u16string text = RegImportText(
      "HKLM",
      {edit(K::kDeleteKey, u"", 0), edit(K::kCreateKey, u"", 0),
       edit(K::kSetValue, u"Display\"Name\\", kRegSz), edit(K::kSetValue, u"", kRegExpandSz),
       edit(K::kSetValue, u"NoModify", kRegDword), edit(K::kDeleteValue, u"X", 0)});
  const std::u16string key = u"HKEY_LOCAL_MACHINE\\Software\\Demo \u30c7]\r\n";
  EXPECT_EQ(text,
            u"Windows Registry Editor Version 5.00\r\n"
            u"\r\n[-" +
                key + u"\r\n[" + key + u"\r\n[" + key +
                u"\"Display\\\"Name\\\\\"=hex(1):61,00,22,00,c7,30,00,00\r\n" + u"\r\n[" + key +
                u"@=hex(2):61,00,22,00,c7,30,00,00\r\n" + u"\r\n[" + key +
                u"\"NoModify\"=dword:ffffffff\r\n" + u"\r\n[" + key + u"\"X\"=-\r\n");
}

// What `wine reg export` writes, turned into hive text the hive reader takes.
TEST(RegExportToHiveTextTest, KeysFromTheirRootAndValuesAsTheyAre) {
  const struct Row {
    std::string exported, hive;
  } rows[] = {
      {"Windows Registry Editor Version 5.00\r\n\r\n"
       "[HKEY_LOCAL_MACHINE\\Software\\Demo]\r\n\"Path\"=\"C:\\\\x \\\"q\\\"\"\r\n"
       "\"N\"=dword:00000040\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Demo\\Sub]\r\n",
       "WINE REGISTRY Version 2\n\n[Software\\\\Demo]\n\"Path\"=\"C:\\\\x \\\"q\\\"\"\n"
       "\"N\"=dword:00000040\n\n[Software\\\\Demo\\\\Sub]\n"},
      {"\r\nWindows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]b]\n",
       "WINE REGISTRY Version 2\n[A\\]b]\n"},
      {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\A]\r\n", ""},
      {"Windows Registry Editor Version 5.00\n[NoRoot]\n[\n",
       "WINE REGISTRY Version 2\n[NoRoot]\n[\n"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(RegExportToHiveText(row.exported), row.hive) << row.exported;
  // And the reader finds the values in it.
  RegHiveKey root;
  std::vector<std::unique_ptr<RegHiveKey>> keys;
  ParseRegHive(RegExportToHiveText(rows[0].exported), &root, &keys, nullptr);
  const RegHiveKey* demo = root.subkeys.at(u"SOFTWARE")->subkeys.at(u"DEMO");
  EXPECT_EQ(demo->values.at(u"PATH").data,
            Utf16ToLittleEndian(u"C:\\x \"q\"" + std::u16string(1, u'\0')));
  EXPECT_EQ(demo->subkeys.count(u"SUB"), 1u);
}

}  // namespace
}  // namespace setup
