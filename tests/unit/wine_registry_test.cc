#include "platform/posix/wine_registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace setup {
namespace {

using namespace std::string_literals;

constexpr char kSystemReg[] = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\Machine

#arch=win64

[Software\\Sample] 1700000000
#time=1d9a2b3c4d5e6f7
@="default"
"Path"="C:\\Program Files\\Sample"
"Count"=dword:0000002a
"Small"=dword:7
"Bin"=hex:01,02,03,\
  04,05
"Empty"=hex:
"Expand"=str(2):"%SystemRoot%\\sample"
"Multi"=str(7):"one\0two\0"
"Plain"=str:"plain text"
"ExpandHex"=hex(2):25,00,41,00,25,00,00,00
"MultiHex"=hex(7):41,00,00,00,42,00,00,00,00,00
"Qword"=hex(b):01,02,03,04,05,06,07,08
"NoNul"=hex(1):41,00,42,00
"Dup"="first"
"Dup"="second"
"Accent"="caf\xe9"

[Software\\Sample\\Sub] 1700000000
"Deep"="yes"

[Software\\Sample] 1700000001
"Again"="merged"

[Software\\Escapes] 1700000000
"Tab"="a\tb"
"Newline"="a\nb\r"
"Quote"="say \"hi\""
"Backslash"="a\\b"
"Hiragana"="\x3042"
"HexShort"="\x41g"
"HexFollowedByDigit"="\x00410"
"NoHexDigits"="\xg"
"Octal"="\101\60"
"Nul"="a\0b"
"Controls"="\a\b\e\f\v"
"Other"="\q"
"Utf8"="日本"

[Software\\\x65e5\x672c\\\x8868\x793a] 1700000000
"Name"="japanese key"

[Software\\Cyrillic\\\x0414] 1700000000
"\xff21"="fullwidth"

[Software\\Weird\\a\]b] 1700000000
"Bracket"="ok"

[Software\\Classes\\.both] 1700000000
@="machine"
"MachineOnly"="m"

[Software\\Classes\\.both\\FromMachine] 1700000000

[Software\\Classes\\.machine] 1700000000
@="machine only"

[System\\ControlSet001\\Hardware Profiles\\Current\\Software\\Fonts] 1700000000
"LogPixels"=dword:00000060

[System\\CurrentControlSet] 1700000000
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,00,\
  5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,79,00,73,00,74,00,\
  65,00,6d,00,5c,00,43,00,6f,00,6e,00,74,00,72,00,6f,00,6c,00,53,00,65,00,74,00,\
  30,00,30,00,31,00

[Software\\Loop] 1700000000
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,00,\
  5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,74,00,\
  77,00,61,00,72,00,65,00,5c,00,4c,00,6f,00,6f,00,70,00

[Software\\Dangling] 1700000000
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,00,\
  5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,4e,00,6f,00,6e,00,65,00

[Software\\ToUser] 1700000000
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,00,\
  5c,00,55,00,73,00,65,00,72,00,5c,00,2e,00,44,00,65,00,66,00,61,00,75,00,6c,00,\
  74,00
)";

constexpr char kUserReg[] = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\User\\S-1-5-21-11-22-33-1001

[Software\\Classes\\.both] 1700000000
@="user"
"UserOnly"="u"

[Software\\Classes\\.both\\FromUser] 1700000000

[Software\\Classes\\.user] 1700000000
@="user only"

[Environment] 1700000000
"TEMP"=str(2):"%USERPROFILE%\\Temp"
)";

constexpr char kUserdefReg[] = R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\User\\.Default

[Control Panel\\Desktop] 1700000000
"Wallpaper"="default user"
)";

class WineRegistryTest : public ::testing::Test {
 protected:
  WineRegistryTest() : registry_(WineHiveTexts{kSystemReg, kUserReg, kUserdefReg}) {}
  ~WineRegistryTest() override { EXPECT_EQ(registry_.OpenHandleCount(), 0u); }

  // The value's data, or "<missing key>" / "<missing value>".
  std::string Read(RegKey root, const std::string& key_path, const std::string& name) {
    RegKey key = registry_.OpenKey(root, key_path);
    if (key == 0) return "<missing key>";
    std::string data;
    bool ok = registry_.QueryValue(key, name, &data);
    registry_.CloseKey(key);
    return ok ? data : "<missing value>";
  }

  bool KeyExists(RegKey root, const std::string& key_path) {
    RegKey key = registry_.OpenKey(root, key_path);
    registry_.CloseKey(key);
    return key != 0;
  }

  WineRegistry registry_;
};

TEST_F(WineRegistryTest, ValueForms) {
  struct Case {
    const char* name;
    std::string expected;
  } cases[] = {
      {"", "default\0"s},
      {"Path", "C:\\Program Files\\Sample\0"s},
      {"Count", "\x2a\0\0\0"s},
      {"Small", "\x07\0\0\0"s},
      {"Bin", "\x01\x02\x03\x04\x05"s},
      {"Empty", ""},
      {"Expand", "%SystemRoot%\\sample\0"s},  // not expanded
      {"Multi", "one\0two\0\0"s},
      {"Plain", "plain text\0"s},
      {"ExpandHex", "%A%\0"s},
      {"MultiHex", "A\0B\0\0"s},
      {"Qword", "\x01\x02\x03\x04\x05\x06\x07\x08"s},
      {"NoNul", "AB"},  // stored without its NUL: none is added
      {"Dup", "second\0"s},
      {"Accent", "caf?\0"s},  // no code page 932 form
      {"Again", "merged\0"s},
      {"Missing", "<missing value>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(kHkeyLocalMachine, "Software\\Sample", c.name), c.expected) << c.name;
  }
}

TEST_F(WineRegistryTest, StringEscapes) {
  struct Case {
    const char* name;
    std::string expected;
  } cases[] = {
      {"Tab", "a\tb\0"s},
      {"Newline", "a\nb\r\0"s},
      {"Quote", "say \"hi\"\0"s},
      {"Backslash", "a\\b\0"s},
      {"Hiragana", "\x82\xa0\0"s},
      {"HexShort", "Ag\0"s},
      {"HexFollowedByDigit", "A0\0"s},
      {"NoHexDigits", "xg\0"s},
      {"Octal", "A0\0"s},
      {"Nul", "a\0b\0"s},
      {"Controls", "\a\b\x1b\f\v\0"s},
      {"Other", "q\0"s},
      {"Utf8", "\x93\xfa\x96\x7b\0"s},  // a hive edited by hand in UTF-8
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(kHkeyLocalMachine, "Software\\Escapes", c.name), c.expected) << c.name;
  }
}

TEST_F(WineRegistryTest, NamesCompareCaseInsensitively) {
  EXPECT_EQ(Read(kHkeyLocalMachine, "SOFTWARE\\sample", "PATH"), "C:\\Program Files\\Sample\0"s);
  EXPECT_EQ(Read(kHkeyLocalMachine, "software\\SAMPLE\\sub", "deep"), "yes\0"s);
  // Cyrillic De (U+0414) opened as small de (U+0434); a full-width A value name
  // (U+FF21) queried as full-width small a (U+FF41).
  EXPECT_EQ(Read(kHkeyLocalMachine, "Software\\Cyrillic\\\x84\x74", "\x82\x81"), "fullwidth\0"s);
  EXPECT_EQ(Read(kHkeyLocalMachine, "Software\\Weird\\a]b", "bracket"), "ok\0"s);
}

TEST_F(WineRegistryTest, JapaneseKeyNames) {
  // 日本\表示: the second byte of 表 (0x95 0x5C) is a backslash byte and must not split
  // the name.
  EXPECT_EQ(Read(kHkeyLocalMachine, "Software\\\x93\xfa\x96\x7b\\\x95\x5c\x8e\xa6", "Name"),
            "japanese key\0"s);
  RegKey key = registry_.OpenKey(kHkeyLocalMachine, "Software\\\x93\xfa\x96\x7b");
  ASSERT_NE(key, 0u);
  RegKey sub = registry_.OpenKey(key, "\x95\x5c\x8e\xa6");
  EXPECT_NE(sub, 0u);
  registry_.CloseKey(sub);
  registry_.CloseKey(key);
  // Not code page 932 at all: a lead byte with no trail byte.
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\\x93"));
}

TEST_F(WineRegistryTest, OpeningAndHandles) {
  RegKey software = registry_.OpenKey(kHkeyLocalMachine, "Software");
  ASSERT_NE(software, 0u);
  RegKey sample = registry_.OpenKey(software, "Sample");
  ASSERT_NE(sample, 0u);
  RegKey again = registry_.OpenKey(sample, "");  // the same key, a new handle
  ASSERT_NE(again, 0u);
  for (RegKey k : {software, sample, again}) {
    EXPECT_NE(k, kHkeyClassesRoot);
    EXPECT_NE(k, kHkeyCurrentUser);
    EXPECT_NE(k, kHkeyLocalMachine);
    EXPECT_NE(k, kHkeyUsers);
    EXPECT_NE(k, kHkeyCurrentConfig);
  }
  EXPECT_NE(again, sample);
  EXPECT_NE(sample, software);
  EXPECT_EQ(registry_.OpenHandleCount(), 3u);
  registry_.CloseKey(sample);
  std::string data;
  EXPECT_FALSE(registry_.QueryValue(sample, "Path", &data));  // closed
  EXPECT_TRUE(registry_.QueryValue(again, "Path", &data));
  EXPECT_EQ(registry_.OpenKey(sample, "Sub"), 0u);
  registry_.CloseKey(again);
  registry_.CloseKey(software);
  registry_.CloseKey(software);  // twice: harmless
  registry_.CloseKey(0);
  registry_.CloseKey(12345);
  registry_.CloseKey(kHkeyLocalMachine);  // roots are never closed
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software"));
}

TEST_F(WineRegistryTest, PathForms) {
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, ""));
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Sample\\"));
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\\\Sample"));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "\\Software"));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Sample\\Path"));  // a value
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Nothing"));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\" + std::string(256, 'x')));
  EXPECT_FALSE(KeyExists(0, "Software"));
  EXPECT_FALSE(KeyExists(0x80000004u, ""));                // HKEY_PERFORMANCE_DATA is no hive here
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, "\\.machine"));  // one leading backslash
}

TEST_F(WineRegistryTest, QueryOnARoot) {
  std::string data;
  EXPECT_FALSE(registry_.QueryValue(kHkeyLocalMachine, "Path", &data));
  EXPECT_EQ(Read(kHkeyCurrentUser, "Environment", "temp"), "%USERPROFILE%\\Temp\0"s);
}

TEST_F(WineRegistryTest, UsersAndDefaultUser) {
  EXPECT_EQ(Read(kHkeyUsers, "S-1-5-21-11-22-33-1001\\Environment", "TEMP"),
            "%USERPROFILE%\\Temp\0"s);
  EXPECT_EQ(Read(kHkeyUsers, ".default\\Control Panel\\Desktop", "Wallpaper"), "default user\0"s);
  EXPECT_EQ(Read(kHkeyCurrentUser, "Control Panel\\Desktop", "Wallpaper"), "<missing key>");
  EXPECT_FALSE(KeyExists(kHkeyUsers, "S-1-5-21-0-0-0-1000"));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Environment"));
}

TEST_F(WineRegistryTest, ClassesRootMergesUserOverMachine) {
  EXPECT_EQ(Read(kHkeyClassesRoot, ".both", ""), "user\0"s);
  EXPECT_EQ(Read(kHkeyClassesRoot, ".both", "UserOnly"), "u\0"s);
  EXPECT_EQ(Read(kHkeyClassesRoot, ".both", "MachineOnly"), "m\0"s);
  EXPECT_EQ(Read(kHkeyClassesRoot, ".machine", ""), "machine only\0"s);
  EXPECT_EQ(Read(kHkeyClassesRoot, ".user", ""), "user only\0"s);
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, ".both\\FromUser"));
  EXPECT_TRUE(KeyExists(kHkeyClassesRoot, ".both\\FromMachine"));
  RegKey both = registry_.OpenKey(kHkeyClassesRoot, ".both");
  RegKey from_machine = registry_.OpenKey(both, "frommachine");
  EXPECT_NE(from_machine, 0u);
  registry_.CloseKey(from_machine);
  registry_.CloseKey(both);
  EXPECT_FALSE(KeyExists(kHkeyClassesRoot, ".none"));
}

TEST_F(WineRegistryTest, LinksAndCurrentConfig) {
  EXPECT_EQ(Read(kHkeyCurrentConfig, "Software\\Fonts", "LogPixels"), "\x60\0\0\0"s);
  EXPECT_EQ(
      Read(kHkeyLocalMachine,
           "System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts", "LogPixels"),
      "\x60\0\0\0"s);
  EXPECT_EQ(Read(kHkeyLocalMachine, "Software\\ToUser\\Control Panel\\Desktop", "Wallpaper"),
            "default user\0"s);
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Loop"));  // a link to itself
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Loop\\Sub"));
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "Software\\Dangling"));
}

TEST(WineRegistryHives, CurrentConfigWithoutLink) {
  // Wine 8 keeps CurrentControlSet as a plain key.
  WineRegistry registry(
      WineHiveTexts{"WINE REGISTRY Version 2\n"
                    "[System\\\\CurrentControlSet\\\\Hardware Profiles\\\\Current\\\\Software] 1\n"
                    "\"V\"=\"plain\"\n",
                    "", ""});
  RegKey key = registry.OpenKey(kHkeyCurrentConfig, "software");
  ASSERT_NE(key, 0u);
  std::string data;
  EXPECT_TRUE(registry.QueryValue(key, "v", &data));
  EXPECT_EQ(data, "plain\0"s);
  registry.CloseKey(key);
}

TEST(WineRegistryHives, MissingHivesAreEmpty) {
  WineRegistry registry(WineHiveTexts{});
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentConfig, ""), 0u);
  EXPECT_EQ(registry.OpenKey(kHkeyClassesRoot, ""), 0u);
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "Software"), 0u);
  // The default SID of Wine names the user's hive when it does not name itself.
  RegKey users = registry.OpenKey(kHkeyUsers, "S-1-5-21-0-0-0-1000");
  EXPECT_NE(users, 0u);
  registry.CloseKey(users);
}

TEST(WineRegistryHives, SidFromOlderHeader) {
  WineRegistry registry(WineHiveTexts{
      "",
      "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-7-8-9-1000\n"
      "[K]\n\"V\"=\"x\"\n",
      ""});
  RegKey key = registry.OpenKey(kHkeyUsers, "s-1-5-21-7-8-9-1000\\k");
  EXPECT_NE(key, 0u);
  registry.CloseKey(key);
}

TEST(WineRegistryHives, MalformedLinesAreSkipped) {
  WineRegistry registry(
      WineHiveTexts{"WINE REGISTRY Version 2\n"
                    "\"Orphan\"=\"value before any key\"\n"
                    "[Good] 1\n"
                    "\"A\"=\"a\"\n"
                    "garbage line\n"
                    "\"BadHex\"=hex:01,zz\n"
                    "\"BadType\"=hex(2:41,00\n"
                    "\"Open\"=\"no closing quote\n"
                    "\"NoEquals\" \"x\"\n"
                    "\"Unknown\"=blob:00\n"
                    "\"NoName=\"x\"\n"
                    "\"Cont\"=hex:01,\\\n"
                    "  02\n"
                    "[Unterminated\n"
                    "\"Lost\"=\"x\"\n"
                    "[Good] 2\r\n"
                    "\"B\"=\"b\"\r\n"
                    "\"Tail\"=hex:01,\\",
                    "", ""});
  RegKey key = registry.OpenKey(kHkeyLocalMachine, "good");
  ASSERT_NE(key, 0u);
  std::string data;
  EXPECT_TRUE(registry.QueryValue(key, "A", &data));
  EXPECT_TRUE(registry.QueryValue(key, "B", &data));
  EXPECT_EQ(data, "b\0"s);
  EXPECT_TRUE(registry.QueryValue(key, "Cont", &data));
  EXPECT_EQ(data, "\x01\x02"s);
  for (const char* name :
       {"Orphan", "BadHex", "BadType", "Open", "NoEquals", "Unknown", "NoName", "Lost", "Tail"}) {
    EXPECT_FALSE(registry.QueryValue(key, name, &data)) << name;
  }
  registry.CloseKey(key);
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "Unterminated"), 0u);
}

TEST(WineRegistryHives, TextWithoutHeaderIsNoHive) {
  WineRegistry registry(WineHiveTexts{"REGEDIT4\n[K]\n\"V\"=\"x\"\n", "", ""});
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "K"), 0u);
}

// The files of a prefix are read when first needed, not when the reader is made.
TEST(WineRegistryFiles, ReadsThePrefixLazily) {
  char dir_template[] = "/tmp/wine_registry_test.XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  std::string dir = dir_template;
  WineRegistry registry(dir);
  auto write = [&dir](const char* name, const std::string& text) {
    std::FILE* f = std::fopen((dir + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  };
  write("/system.reg", kSystemReg);
  write("/user.reg", kUserReg);
  write("/userdef.reg", kUserdefReg);
  RegKey key = registry.OpenKey(kHkeyLocalMachine, "Software\\Sample");
  std::string data;
  EXPECT_TRUE(registry.QueryValue(key, "Path", &data));
  EXPECT_EQ(data, "C:\\Program Files\\Sample\0"s);
  registry.CloseKey(key);
  key = registry.OpenKey(kHkeyUsers, ".Default\\Control Panel\\Desktop");
  EXPECT_NE(key, 0u);
  registry.CloseKey(key);
  key = registry.OpenKey(kHkeyClassesRoot, ".user");
  EXPECT_NE(key, 0u);
  registry.CloseKey(key);
  for (const char* name : {"/system.reg", "/user.reg", "/userdef.reg"}) {
    unlink((dir + name).c_str());
  }
  rmdir(dir.c_str());
  // Read once: the files are gone, the hives stay.
  key = registry.OpenKey(kHkeyLocalMachine, "Software");
  EXPECT_NE(key, 0u);
  registry.CloseKey(key);
}

TEST(WineRegistryFiles, MissingPrefix) {
  WineRegistry registry(std::string("/nonexistent/prefix"));
  EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, "Software"), 0u);
}

}  // namespace
}  // namespace setup
