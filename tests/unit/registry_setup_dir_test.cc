// The registry form of SetupDir, as the pre-scan hands it over: the registry value, its
// fallback and the messages of cutting them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "script/loader.h"
#include "script/run_state.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

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
