#include "sysquery/version_info.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/unit/fakes.h"

namespace setup {
namespace {

const std::string kUs(std::string("\x09\x04\xB0\x04", 4));        // 0x0409, 0x04B0
const std::string kJapanese(std::string("\x11\x04\xA4\x03", 4));  // 0x0411, 0x03A4

class VersionInfoTest : public ::testing::Test {
 protected:
  // Answers "???" first, so that an answer that is not set is seen.
  bool Read(const std::string& path, const std::string& name) {
    text_ = "???";
    return ReadVersionString(sys_, path, name, &text_);
  }
  FakeSystem sys_;
  std::string text_;
};

TEST_F(VersionInfoTest, ReadsTheStringOfTheFirstTranslationExactly) {
  sys_.SetVersionValues("C:\\lib\\a.dll",
                        {{"\\VarFileInfo\\Translation", kUs},
                         {"\\StringFileInfo\\040904B0\\FileVersion", "6, 0, 0, 0"},
                         {"\\StringFileInfo\\040904B0\\ProductVersion", "7.2.0.0"}});
  EXPECT_TRUE(Read("C:\\lib\\a.dll", "FileVersion"));
  EXPECT_EQ(text_, "6, 0, 0, 0");
  EXPECT_TRUE(Read("C:\\lib\\a.dll", "ProductVersion"));
  EXPECT_EQ(text_, "7.2.0.0");
  EXPECT_FALSE(Read("C:\\lib\\a.dll", "CompanyName"));
  EXPECT_EQ(text_, "");
}

TEST_F(VersionInfoTest, QueryPathUsesUpperCaseHexOfLanguageAndCodePage) {
  sys_.SetVersionValues("j.dll", {{"\\VarFileInfo\\Translation", kJapanese},
                                  {"\\StringFileInfo\\041103A4\\FileVersion", "1.0"}});
  EXPECT_TRUE(Read("j.dll", "FileVersion"));
  EXPECT_EQ(text_, "1.0");
  sys_.SetVersionValues("k.dll",
                        {{"\\VarFileInfo\\Translation", std::string("\xAB\xCD\xEF\x0A", 4)},
                         {"\\StringFileInfo\\CDAB0AEF\\FileVersion", "2.0"}});
  EXPECT_TRUE(Read("k.dll", "FileVersion"));
  EXPECT_EQ(text_, "2.0");
}

TEST_F(VersionInfoTest, LaterTranslationsAreNeverTried) {
  sys_.SetVersionValues("e.dll", {{"\\VarFileInfo\\Translation", kJapanese + kUs},
                                  {"\\StringFileInfo\\040904B0\\FileVersion", "5.0"}});
  EXPECT_FALSE(Read("e.dll", "FileVersion"));
  EXPECT_EQ(text_, "");
}

TEST_F(VersionInfoTest, FailuresAnswerFalseWithEmptyText) {
  sys_.AddFile("C:\\plain.dll", "MZ");
  sys_.SetVersionValues("short.dll",
                        {{"\\VarFileInfo\\Translation", std::string("\x09\x04\xB0", 3)},
                         {"\\StringFileInfo\\040904B0\\FileVersion", "1"}});
  sys_.SetVersionValues("none.dll", {{"\\StringFileInfo\\040904B0\\FileVersion", "1"}});
  for (const char* path : {"C:\\plain.dll", "C:\\missing.dll", "short.dll", "none.dll"}) {
    EXPECT_FALSE(Read(path, "FileVersion")) << path;
    EXPECT_EQ(text_, "") << path;
  }
}

TEST_F(VersionInfoTest, TextEndsAtItsNul) {
  sys_.SetVersionValues("n.dll",
                        {{"\\VarFileInfo\\Translation", kUs},
                         {"\\StringFileInfo\\040904B0\\FileVersion", std::string("1.2\0junk", 8)}});
  EXPECT_TRUE(Read("n.dll", "FileVersion"));
  EXPECT_EQ(text_, "1.2");
}

}  // namespace
}  // namespace setup
