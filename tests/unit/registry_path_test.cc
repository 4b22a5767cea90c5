#include "sysquery/registry_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "script/run_state.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

// Records the name of every key component the core asks the platform to open.
class RecordingSystem : public FakeSystem {
 public:
  RegKey OpenRegistryKey(RegKey parent, const std::string& subkey) override {
    opened.push_back(subkey);
    return FakeSystem::OpenRegistryKey(parent, subkey);
  }
  std::vector<std::string> opened;
};

class RegistryPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Version", "5.1");
    sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", "D:\\Sample\\");
    sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "", "default text");
    sys_.SetRegistryValue(kHkeyCurrentUser, "", "Name", "user name");
    sys_.SetRegistryValue(kHkeyCurrentUser, "Software\\Sample", "", "hkcu default");
  }

  RecordingSystem sys_;
};

TEST_F(RegistryPathTest, OpenKeyPathOpensEachComponentAndClosesIntermediates) {
  RegKey key = OpenKeyPath(sys_, kHkeyLocalMachine, "Software\\Sample");
  ASSERT_NE(key, 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "Sample"}));
  EXPECT_EQ(sys_.open_keys, 1);  // only the one handed back
  sys_.CloseRegistryKey(key);
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, OpenKeyPathFailureLeavesNoKeyOpen) {
  EXPECT_EQ(OpenKeyPath(sys_, kHkeyLocalMachine, "Software\\Missing\\Deeper"), 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "Missing"}));
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, OpenKeyPathEmptyComponentsReopenTheParent) {
  RegKey key = OpenKeyPath(sys_, kHkeyLocalMachine, "Software\\\\Sample\\");
  ASSERT_NE(key, 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "", "Sample", ""}));
  sys_.CloseRegistryKey(key);
  EXPECT_EQ(sys_.open_keys, 0);

  key = OpenKeyPath(sys_, kHkeyCurrentUser, "");
  ASSERT_NE(key, 0u);
  sys_.CloseRegistryKey(key);
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, OpenKeyPathNeverSplitsADoubleByteCharacter) {
  // 0x95 0x5C is one character in code page 932; its second byte is a backslash.
  EXPECT_EQ(OpenKeyPath(sys_, kHkeyLocalMachine, "Software\\\x95\x5C"), 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "\x95\x5C"}));
  EXPECT_EQ(sys_.open_keys, 0);

  // In a single-byte code page every 0x5C separates.
  sys_.opened.clear();
  sys_.lead_bytes_932 = false;
  sys_.AddRegistryKey(kHkeyLocalMachine, "Software\\\x95\\Sub");
  RegKey key = OpenKeyPath(sys_, kHkeyLocalMachine, "Software\\\x95\x5C\\Sub");
  EXPECT_NE(key, 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "\x95", "", "Sub"}));
  sys_.CloseRegistryKey(key);
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, OpenKeyPathRefusesKeyNamesOver255Bytes) {
  std::string long_name(256, 'k');
  sys_.AddRegistryKey(kHkeyLocalMachine, "Software\\" + long_name);
  sys_.AddRegistryKey(kHkeyLocalMachine, "Software\\" + long_name.substr(1));
  EXPECT_EQ(OpenKeyPath(sys_, kHkeyLocalMachine, "Software\\" + long_name), 0u);
  EXPECT_EQ(sys_.open_keys, 0);
  RegKey key = OpenKeyPath(sys_, kHkeyLocalMachine, "Software\\" + long_name.substr(1));
  EXPECT_NE(key, 0u);
  sys_.CloseRegistryKey(key);
}

TEST_F(RegistryPathTest, ReadRegistryValueReadsTextUpToTheFirstNul) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Kinds", "Dword1", std::string("1\0\0\0", 4));
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Kinds", "Dword0", std::string("\0\x31\0\0", 4));
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Kinds", "Multi",
                        std::string("first\0second\0\0", 14));
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Kinds", "Expand",
                        std::string("%SystemRoot%\\x\0", 16));
  struct Case {
    const char* name;
    const char* want;
  } cases[] = {
      {"Dword1", "1"}, {"Dword0", ""}, {"Multi", "first"},
      {"Expand", "%SystemRoot%\\x"}, {"Missing", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadRegistryValue(sys_, kHkeyLocalMachine, "Software\\Kinds", c.name), c.want)
        << c.name;
    EXPECT_EQ(sys_.open_keys, 0) << c.name;
  }
  EXPECT_EQ(ReadRegistryValue(sys_, kHkeyLocalMachine, "Software\\Nothing", "Dword1"), "");
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, ReadRegistryPathSplitsRootKeyPathAndValueName) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Dots", "a.b", "dotted");
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample.1", "Path", "in dotted key");
  sys_.SetRegistryValue(kHkeyLocalMachine, "Soft/", "Name", "after slash");
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software", "\x95\x5C", "kanji name");
  sys_.SetRegistryValue(kHkeyClassesRoot, "CLSID", "V", "hkcr");
  sys_.SetRegistryValue(kHkeyUsers, ".Default", "V", "users");
  sys_.SetRegistryValue(kHkeyCurrentConfig, "Software", "V", "config");
  struct Case {
    const char* path;
    const char* want;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\Sample\\Version", "5.1"},
      // The value name loses its last dot and what follows it.
      {"HKEY_LOCAL_MACHINE\\Software\\Sample\\Version.Major", "5.1"},
      {"HKEY_LOCAL_MACHINE\\Software\\Dots\\a.b.c", "dotted"},
      {"HKEY_LOCAL_MACHINE\\Software\\Sample.1\\Path", "in dotted key"},
      {"HKEY_CURRENT_USER\\Name", "user name"},
      // A trailing backslash names the default value.
      {"HKEY_CURRENT_USER\\Software\\Sample\\", "hkcu default"},
      {"HKEY_LOCAL_MACHINE\\Software\\Sample\\", "default text"},
      // A drive designation is dropped.
      {"HKEY_LOCAL_MACHINE\\C:Software\\Sample\\Path", "D:\\Sample\\"},
      // A slash separates the value name but stays in the key path.
      {"HKEY_LOCAL_MACHINE\\Soft/Name", "after slash"},
      // The second byte of a double-byte character is no separator.
      {"HKEY_LOCAL_MACHINE\\Software\\\x95\x5C", "kanji name"},
      {"HKEY_CLASSES_ROOT\\CLSID\\V", "hkcr"},
      {"HKEY_USERS\\.Default\\V", "users"},
      {"HKEY_CURRENT_CONFIG\\Software\\V", "config"},
      // No root row matches.
      {"hkey_local_machine\\Software\\Sample\\Version", ""},
      {"HKEY_LOCAL_MACHINE", ""},
      {"HKEY_LOCAL_MACHINESoftware\\Sample\\Version", ""},
      {"HKEY_PERFORMANCE_DATA\\Software\\Sample\\Version", ""},
      {"HKEY_DYN_DATA\\Software\\Sample\\Version", ""},
      {"HKLM\\Software\\Sample\\Version", ""},
      {"", ""},
      {"HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadRegistryPath(sys_, c.path), c.want) << c.path;
    EXPECT_EQ(sys_.open_keys, 0) << c.path;
  }
}

TEST_F(RegistryPathTest, ReadRegistryPathRefusesPartsOver255Bytes) {
  std::string key(255, 'k');
  sys_.SetRegistryValue(kHkeyLocalMachine, key, "V", "fits");
  EXPECT_EQ(ReadRegistryPath(sys_, "HKEY_LOCAL_MACHINE\\" + key + "\\V"), "fits");
  std::string name(256, 'n');
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software", name, "too long");
  EXPECT_EQ(ReadRegistryPath(sys_, "HKEY_LOCAL_MACHINE\\Software\\" + name), "");
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, RegistryKeyExistsTakesTheWholePathAsKey) {
  sys_.AddRegistryKey(kHkeyCurrentConfig, "System");
  struct Case {
    const char* path;
    bool want;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE\\Software\\Sample", true},
      {"HKEY_LOCAL_MACHINE\\Software\\Sample\\", true},
      {"HKEY_LOCAL_MACHINE\\software\\SAMPLE", true},  // key names fold, prefixes do not
      {"HKEY_CURRENT_CONFIG\\System", true},
      {"HKEY_LOCAL_MACHINE\\", true},
      // Version is a value of Sample, not a key.
      {"HKEY_LOCAL_MACHINE\\Software\\Sample\\Version", false},
      {"HKEY_LOCAL_MACHINE\\Software\\Missing", false},
      {"hkey_local_machine\\Software\\Sample", false},
      {"HKEY_LOCAL_MACHINE", false},
      {"HKEY_PERFORMANCE_DATA\\Software", false},
      {"HKEY_DYN_DATA\\Software", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RegistryKeyExists(sys_, c.path), c.want) << c.path;
    EXPECT_EQ(sys_.open_keys, 0) << c.path;
  }
}

// The registry form of SetupDir, as the pre-scan hands it over.
class RegistrySetupDirTest : public ::testing::Test {
 protected:
  RegistrySetupDirTest() : app_(sys_, ui_) {
    app_.script_path = "C:\\prog\\Setup.Inf";
    app_.line_number = 7;
  }

  const char* Run(const std::string& argument) {
    EXPECT_LT(argument.size(), sizeof app_.destination_buffer);
    std::memset(app_.destination_buffer, 0, sizeof app_.destination_buffer);
    std::memcpy(app_.destination_buffer, argument.data(), argument.size());
    const char* result = RegistrySetupDir(app_, app_.destination_buffer);
    EXPECT_EQ(sys_.open_keys, 0);
    return result;
  }

  const std::string kTab = "C:\\prog\\Setup.Infの7行目にTABが有りません";
  const std::string kQuote = "C:\\prog\\Setup.Infの7行目に\"が有りません";
  FakeSystem sys_;
  FakeUi ui_;
  RunState app_;
};

TEST_F(RegistrySetupDirTest, ValueWinsOverFallbackAndLosesOneTrailingBackslash) {
  struct Case {
    const char* value;
    const char* want;
  } cases[] = {
      {"D:\\Sample\\", "D:\\Sample"},
      {"C:\\", "C:"},
      {"D:\\Sample", "D:\\Sample"},
      {"D:\\Sample\\\\", "D:\\Sample\\"},
      // A double-byte character whose second byte is 0x5C stays whole.
      {"D:\\\x95\x5C", "D:\\\x95\x5C"},
      {"D:\\\x95\x5C\\", "D:\\\x95\x5C"},
  };
  for (const Case& c : cases) {
    sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", c.value);
    const char* got = Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample");
    ASSERT_EQ(got, app_.registry_value) << c.value;
    EXPECT_STREQ(got, c.want);
  }
  // The fallback that ends the line is not looked at when the value is used.
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, EmptyValueTakesTheFallback) {
  const char* got = Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample ");
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got, app_.destination_buffer + std::strlen("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path "));
  EXPECT_STREQ(got, "C:\\Sample");
  EXPECT_TRUE(ui_.messages.empty());

  // An empty value is as good as a missing one.
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", std::string("\0x", 2));
  EXPECT_STREQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample \tcomment"),
               "C:\\Sample");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, UnquotedFallbackEndingTheLineIsReportedAndUsed) {
  EXPECT_STREQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample"),
               "C:\\Sample");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
}

TEST_F(RegistrySetupDirTest, QuotedPathAndFallbackMayHoldBlanks) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Install Dir", "E:\\Apps\\");
  EXPECT_STREQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Install Dir\" "
                   "\"C:\\Program Files\\Sample\""),
               "E:\\Apps");
  EXPECT_STREQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Other Dir\" "
                   "\"C:\\Program Files\\Sample\""),
               "C:\\Program Files\\Sample");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, KeywordIsTheWholeFirstWordInAnyCase) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", "D:\\Sample\\");
  EXPECT_STREQ(Run("registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample "), "D:\\Sample");
  EXPECT_STREQ(Run("RegistryFiles HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample "),
               "D:\\Sample");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, PathEndingTheLineHasNoFallback) {
  // Reported; a value found is still used.
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", "D:\\Sample\\");
  EXPECT_STREQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path"), "D:\\Sample");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));

  // Without a value there is no default destination at all.
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing"), nullptr);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));

  // A quoted path without its closing quote runs to the end of the line.
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\x"), nullptr);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kQuote}));
  ui_.messages.clear();
  EXPECT_STREQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Path"), "D:\\Sample");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kQuote}));
}

TEST_F(RegistrySetupDirTest, MissingFallbackWithEmptyValueGivesNoDestination) {
  // A quoted path that ends the line leaves no fallback token.
  EXPECT_EQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing\""), nullptr);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing "), nullptr);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  // An explicitly empty fallback is a fallback.
  ui_.messages.clear();
  EXPECT_STREQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing \"\""), "");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, WithoutPathThereIsNoDestination) {
  EXPECT_EQ(Run("Registry"), nullptr);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry "), nullptr);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
}

TEST_F(RegistrySetupDirTest, LongValueIsCutTo255BytesWithoutSplittingACharacter) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", std::string(400, 'a'));
  const char* got = Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample ");
  EXPECT_EQ(std::string(got), std::string(255, 'a'));

  // A double-byte character across the 255th byte is left out whole.
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path",
                        std::string(254, 'a') + "\x88\x9F" + "tail");
  got = Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample ");
  EXPECT_EQ(std::string(got), std::string(254, 'a'));

  // The cut comes first; a backslash that ends the cut text goes.
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path",
                        std::string(254, 'a') + "\\bc");
  got = Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample ");
  EXPECT_EQ(std::string(got), std::string(254, 'a'));
}

}  // namespace
}  // namespace setup
