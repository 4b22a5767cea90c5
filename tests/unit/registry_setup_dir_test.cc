// The registry form of SetupDir, as the pre-scan hands it over: the registry value, its
// fallback and the messages of cutting them.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "script/command_context.h"
#include "script/loader.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

// The registry form of SetupDir, as the pre-scan hands it over.
class RegistrySetupDirTest : public ::testing::Test {
 protected:
  RegistrySetupDirTest() : app_(sys_, ui_, sys_.encoding) {
    app_.loaded.path = "C:\\prog\\Setup.Inf";
    app_.context.line_number = 7;
  }

  std::optional<std::string> Run(const std::string& argument) {
    std::string copy = argument;
    std::optional<std::string> result = RegistrySetupDir(app_.context, copy.data());
    EXPECT_EQ(sys_.open_keys, 0);
    return result;
  }

  const std::string kTab = "C:\\prog\\Setup.Infの7行目にTABが有りません";
  const std::string kQuote = "C:\\prog\\Setup.Infの7行目に\"が有りません";
  FakeSystem sys_;
  FakeUi ui_;
  SetupRun app_;
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
    EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample"), c.want)
        << c.value;
  }
  // The fallback that ends the line is not looked at when the value is used.
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, EmptyValueTakesTheFallback) {
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample "), "C:\\Sample");
  EXPECT_TRUE(ui_.messages.empty());

  // An empty value is as good as a missing one.
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", std::string("\0x", 2));
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample \tcomment"),
            "C:\\Sample");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, UnquotedFallbackEndingTheLineIsReportedAndUsed) {
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample"), "C:\\Sample");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
}

TEST_F(RegistrySetupDirTest, QuotedPathAndFallbackMayHoldBlanks) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Install Dir", "E:\\Apps\\");
  EXPECT_EQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Install Dir\" "
                "\"C:\\Program Files\\Sample\""),
            "E:\\Apps");
  EXPECT_EQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Other Dir\" "
                "\"C:\\Program Files\\Sample\""),
            "C:\\Program Files\\Sample");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, KeywordIsTheWholeFirstWordInAnyCase) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", "D:\\Sample\\");
  EXPECT_EQ(Run("registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample "), "D:\\Sample");
  EXPECT_EQ(Run("RegistryFiles HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample "),
            "D:\\Sample");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, PathEndingTheLineHasNoFallback) {
  // Reported; a value found is still used.
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", "D:\\Sample\\");
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path"), "D:\\Sample");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));

  // Without a value there is no default destination at all.
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing"), std::nullopt);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));

  // A quoted path without its closing quote runs to the end of the line.
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\x"), std::nullopt);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kQuote}));
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Path"), "D:\\Sample");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kQuote}));
}

TEST_F(RegistrySetupDirTest, MissingFallbackWithEmptyValueGivesNoDestination) {
  // A quoted path that ends the line leaves no fallback token.
  EXPECT_EQ(Run("Registry \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing\""), std::nullopt);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing "), std::nullopt);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  // An explicitly empty fallback is a fallback.
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing \"\""), "");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(RegistrySetupDirTest, WithoutPathThereIsNoDestination) {
  EXPECT_EQ(Run("Registry"), std::nullopt);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  ui_.messages.clear();
  EXPECT_EQ(Run("Registry "), std::nullopt);
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
}

TEST_F(RegistrySetupDirTest, LongValueIsCutTo255BytesWithoutSplittingACharacter) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", std::string(400, 'a'));
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample "),
            std::string(255, 'a'));

  // A double-byte character across the 255th byte is left out whole.
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path",
                        std::string(254, 'a') + "\x88\x9F" + "tail");
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample "),
            std::string(254, 'a'));

  // The cut comes first; a backslash that ends the cut text goes.
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path",
                        std::string(254, 'a') + "\\bc");
  EXPECT_EQ(Run("Registry HKEY_LOCAL_MACHINE\\Software\\Sample\\Path C:\\Sample "),
            std::string(254, 'a'));
}

}  // namespace
}  // namespace setup
