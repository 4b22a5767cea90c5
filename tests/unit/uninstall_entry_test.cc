#include "record/uninstall_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/unit/fakes.h"

namespace setup {
namespace {

const std::string kKey =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example.Demo";

UninstallEntryValues DemoValues() {
  UninstallEntryValues v;
  v.id = "Example.Demo";
  v.display_name = "Demo";
  v.display_version = "1.2.0";
  v.publisher = "Example";
  v.url_info_about = "https://example.com/demo";
  v.install_location = "C:\\Program Files\\Demo";
  v.install_date = "20261207";
  v.estimated_size = 1234;
  v.uninstall_string = "\"C:\\Program Files\\Demo\\unins000.exe\"";
  v.quiet_uninstall_string = "\"C:\\Program Files\\Demo\\unins000.exe\" /S";
  v.display_icon = "C:\\Program Files\\Demo\\demo.exe";
  return v;
}

TEST(UninstallEntryTest, WritesTheValuesInnoWritesAndReadsThemBack) {
  FakeSystem system;
  ASSERT_TRUE(WriteUninstallEntry(system, DemoValues()).ok());
  const std::vector<std::string> expected = {
      "regkey " + kKey,
      "regsz " + kKey + " DisplayName=Demo",
      "regsz " + kKey + " DisplayVersion=1.2.0",
      "regsz " + kKey + " Publisher=Example",
      "regsz " + kKey + " URLInfoAbout=https://example.com/demo",
      "regsz " + kKey + " InstallLocation=C:\\Program Files\\Demo",
      "regsz " + kKey + " InstallDate=20261207",
      "regsz " + kKey + " UninstallString=\"C:\\Program Files\\Demo\\unins000.exe\"",
      "regsz " + kKey + " QuietUninstallString=\"C:\\Program Files\\Demo\\unins000.exe\" /S",
      "regsz " + kKey + " DisplayIcon=C:\\Program Files\\Demo\\demo.exe",
      "regdword " + kKey + " EstimatedSize=1234",
      "regdword " + kKey + " NoModify=1",
      "regdword " + kKey + " NoRepair=1",
      "regflush " + kKey,
  };
  EXPECT_EQ(system.registry_log, expected);
  UninstallEntryValues read;
  ASSERT_TRUE(ReadUninstallEntry(system, "example.demo", &read).ok());
  UninstallEntryValues want = DemoValues();
  want.id = "example.demo";  // as asked for
  auto fields = [](const UninstallEntryValues& v) {
    return std::tie(v.id, v.display_name, v.display_version, v.publisher, v.url_info_about,
                    v.install_location, v.install_date, v.estimated_size, v.uninstall_string,
                    v.quiet_uninstall_string, v.display_icon);
  };
  EXPECT_EQ(fields(read), fields(want));
  EXPECT_EQ(system.open_keys, 0);
}

// A second install replaces the entry whole: nothing of the first stays, not a value it
// had and the second has not, nor a key beneath it.
TEST(UninstallEntryTest, ALeftoverEntryIsDeletedBeforeWriting) {
  FakeSystem system;
  std::string path = std::string(kUninstallKeyPath) + "\\Example.Demo";
  system.SetRegistryValue(kHkeyLocalMachine, path, "Comments", std::string("stale\0", 6));
  system.SetRegistryValue(kHkeyLocalMachine, path, "Publisher", std::string("Old\0", 4));
  system.AddRegistryKey(kHkeyLocalMachine, path + "\\Sub");
  UninstallEntryValues values = DemoValues();
  values.publisher.clear();  // not written at all when empty
  ASSERT_TRUE(WriteUninstallEntry(system, values).ok());
  EXPECT_EQ(system.registry_log.front(), "regdelkey " + kKey.substr(0, 4) + "\\" + path);
  const FakeSystem::Key* key = system.FindRegistryKey(kHkeyLocalMachine, path);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->values.count("comments"), 0u);
  EXPECT_EQ(key->values.count("publisher"), 0u);
  EXPECT_TRUE(key->subkeys.empty());
  EXPECT_EQ(key->values.size(), 11u);
}

// Whichever write fails, the status says so and no half-written entry stays.
TEST(UninstallEntryTest, AFailedWriteLeavesNoEntry) {
  for (int failing = 0; failing < 14; ++failing) {
    FakeSystem system;
    system.failing_registry_write = failing;
    Status status = WriteUninstallEntry(system, DemoValues());
    EXPECT_TRUE(status.Is(StatusKind::kAccessDenied)) << failing;
    EXPECT_EQ(system.FindRegistryKey(kHkeyLocalMachine, kKey.substr(5)), nullptr) << failing;
  }
  FakeSystem system;
  system.failing_registry_write = 14;
  EXPECT_TRUE(WriteUninstallEntry(system, DemoValues()).ok());
}

TEST(UninstallEntryTest, RefusesAnIdThatIsNotAKeyName) {
  const struct Row {
    std::string id;
    bool valid;
  } rows[] = {
      {"{6F9619FF-8B86-D011-B42D-00C04FC964FF}", true},
      {"a_b-c.1", true},
      {std::string(255, 'x'), true},
      {"", false},
      {std::string(256, 'x'), false},
      {"a\\b", false},
      {"a b", false},
      {"\x83\x66", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsValidUninstallId(row.id), row.valid) << row.id;
    FakeSystem system;
    UninstallEntryValues values = DemoValues();
    values.id = row.id;
    Status status = WriteUninstallEntry(system, values);
    EXPECT_EQ(status.ok(), row.valid) << row.id;
    if (!row.valid) {
      EXPECT_TRUE(status.Is(StatusKind::kInvalidName));
      EXPECT_TRUE(system.registry_log.empty());
      EXPECT_TRUE(RemoveUninstallEntry(system, row.id).Is(StatusKind::kInvalidName));
    }
  }
  FakeSystem system;
  UninstallEntryValues values = DemoValues();
  values.display_name.clear();
  EXPECT_TRUE(WriteUninstallEntry(system, values).Is(StatusKind::kInvalidName));
  EXPECT_TRUE(system.registry_log.empty());
}

TEST(UninstallEntryTest, RemoveDeletesTheEntryAndAMissingOneIsGoneAlready) {
  FakeSystem system;
  ASSERT_TRUE(WriteUninstallEntry(system, DemoValues()).ok());
  system.registry_log.clear();
  EXPECT_TRUE(RemoveUninstallEntry(system, "Example.Demo").ok());
  EXPECT_EQ(system.registry_log, (std::vector<std::string>{"regdelkey " + kKey, "regflush HKLM"}));
  UninstallEntryValues read;
  EXPECT_TRUE(ReadUninstallEntry(system, "Example.Demo", &read).Is(StatusKind::kNotFound));
  EXPECT_TRUE(RemoveUninstallEntry(system, "Example.Demo").ok());
  ASSERT_TRUE(WriteUninstallEntry(system, DemoValues()).ok());
  system.failing_registry_write = system.registry_writes;
  EXPECT_TRUE(RemoveUninstallEntry(system, "Example.Demo").Is(StatusKind::kAccessDenied));
}

}  // namespace
}  // namespace setup
