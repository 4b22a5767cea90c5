#include "sysquery/registry_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/fakes.h"

namespace setup {
namespace {

// Records the name of every key component the core asks the platform to open.
class RecordingSystem : public FakeSystem {
 public:
  Status OpenRegistryKey(RegKey parent, const std::string& subkey, RegKey* key) override {
    opened.push_back(subkey);
    return FakeSystem::OpenRegistryKey(parent, subkey, key);
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
  RegKey key = OpenKeyPath(sys_, sys_.encoding, kHkeyLocalMachine, "Software\\Sample");
  ASSERT_NE(key, 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "Sample"}));
  EXPECT_EQ(sys_.open_keys, 1);  // only the one handed back
  sys_.CloseRegistryKey(key);
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, OpenKeyPathFailureLeavesNoKeyOpen) {
  EXPECT_EQ(OpenKeyPath(sys_, sys_.encoding, kHkeyLocalMachine, "Software\\Missing\\Deeper"), 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "Missing"}));
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, OpenKeyPathEmptyComponentsReopenTheParent) {
  RegKey key = OpenKeyPath(sys_, sys_.encoding, kHkeyLocalMachine, "Software\\\\Sample\\");
  ASSERT_NE(key, 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "", "Sample", ""}));
  sys_.CloseRegistryKey(key);
  EXPECT_EQ(sys_.open_keys, 0);

  key = OpenKeyPath(sys_, sys_.encoding, kHkeyCurrentUser, "");
  ASSERT_NE(key, 0u);
  sys_.CloseRegistryKey(key);
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, OpenKeyPathNeverSplitsADoubleByteCharacter) {
  // 0x95 0x5C is one character in code page 932; its second byte is a backslash.
  EXPECT_EQ(OpenKeyPath(sys_, sys_.encoding, kHkeyLocalMachine, "Software\\\x95\x5C"), 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "\x95\x5C"}));
  EXPECT_EQ(sys_.open_keys, 0);

  // In a single-byte code page every 0x5C separates.
  sys_.opened.clear();
  sys_.encoding.lead_bytes_932 = false;
  sys_.AddRegistryKey(kHkeyLocalMachine, "Software\\\x95\\Sub");
  RegKey key = OpenKeyPath(sys_, sys_.encoding, kHkeyLocalMachine, "Software\\\x95\x5C\\Sub");
  EXPECT_NE(key, 0u);
  EXPECT_EQ(sys_.opened, (std::vector<std::string>{"Software", "\x95", "", "Sub"}));
  sys_.CloseRegistryKey(key);
  EXPECT_EQ(sys_.open_keys, 0);
}

TEST_F(RegistryPathTest, OpenKeyPathRefusesKeyNamesOver255Bytes) {
  std::string long_name(256, 'k');
  sys_.AddRegistryKey(kHkeyLocalMachine, "Software\\" + long_name);
  sys_.AddRegistryKey(kHkeyLocalMachine, "Software\\" + long_name.substr(1));
  EXPECT_EQ(OpenKeyPath(sys_, sys_.encoding, kHkeyLocalMachine, "Software\\" + long_name), 0u);
  EXPECT_EQ(sys_.open_keys, 0);
  RegKey key =
      OpenKeyPath(sys_, sys_.encoding, kHkeyLocalMachine, "Software\\" + long_name.substr(1));
  EXPECT_NE(key, 0u);
  sys_.CloseRegistryKey(key);
}

TEST_F(RegistryPathTest, ReadRegistryValueReadsTextUpToTheFirstNul) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Kinds", "Dword1", std::string("1\0\0\0", 4));
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Kinds", "Dword0",
                        std::string("\0\x31\0\0", 4));
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Kinds", "Multi",
                        std::string("first\0second\0\0", 14));
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Kinds", "Expand",
                        std::string("%SystemRoot%\\x\0", 16));
  struct Case {
    const char* name;
    const char* want;
  } cases[] = {
      {"Dword1", "1"}, {"Dword0", ""}, {"Multi", "first"}, {"Expand", "%SystemRoot%\\x"},
      {"Missing", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadRegistryValue(sys_, sys_.encoding, kHkeyLocalMachine, "Software\\Kinds", c.name),
              c.want)
        << c.name;
    EXPECT_EQ(sys_.open_keys, 0) << c.name;
  }
  EXPECT_EQ(
      ReadRegistryValue(sys_, sys_.encoding, kHkeyLocalMachine, "Software\\Nothing", "Dword1"), "");
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
    EXPECT_EQ(ReadRegistryPath(sys_, sys_.encoding, c.path), c.want) << c.path;
    EXPECT_EQ(sys_.open_keys, 0) << c.path;
  }
}

TEST_F(RegistryPathTest, ReadRegistryPathRefusesPartsOver255Bytes) {
  std::string key(255, 'k');
  sys_.SetRegistryValue(kHkeyLocalMachine, key, "V", "fits");
  EXPECT_EQ(ReadRegistryPath(sys_, sys_.encoding, "HKEY_LOCAL_MACHINE\\" + key + "\\V"), "fits");
  std::string name(256, 'n');
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software", name, "too long");
  EXPECT_EQ(ReadRegistryPath(sys_, sys_.encoding, "HKEY_LOCAL_MACHINE\\Software\\" + name), "");
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
    EXPECT_EQ(RegistryKeyExists(sys_, sys_.encoding, c.path), c.want) << c.path;
    EXPECT_EQ(sys_.open_keys, 0) << c.path;
  }
}

}  // namespace
}  // namespace setup
