// What the checker reads in text alone: paths resolved as Windows resolves them, names it
// refuses, findings kept to one line, words that look like macros but are none.
#include "script/check_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/fakes.h"

namespace setup {
namespace {

TEST(CheckTextTest, NormalPath) {
  FakeEncoding encoding;
  const struct {
    std::string path, normal;
  } cases[] = {
      {"D:\\Dist\\a.dat", "D:\\DIST\\A.DAT"},
      {"d:/dist/./A.dat. ", "D:\\DIST\\A.DAT"},
      {"D:\\Dist\\sub\\..\\a.dat", "D:\\DIST\\A.DAT"},
      {"D:\\..\\a.dat", "D:\\A.DAT"},
      {"..\\a\\\\b", "..\\A\\B"},
      {"\\\\server\\share\\x", "\\\\SERVER\\SHARE\\X"},
      // 表 (0x95 0x5C) and ア (0x83 0x41): the second byte is neither a separator nor a letter.
      {"C:\\\x95\\\\a", "C:\\\x95\\\\A"},
      {"C:\\\x83\x41", "C:\\\x83\x41"},
  };
  for (const auto& c : cases) EXPECT_EQ(NormalPath(encoding, c.path), c.normal) << c.path;
  EXPECT_EQ(NormalPath(encoding, "d:/Dist/./A.dat", false), "d:\\Dist\\A.dat");
  EXPECT_EQ(ParentOf(encoding, "D:\\DIST\\\x95\\"), "D:\\DIST");
}

TEST(CheckTextTest, RefusedNamesAndEscapes) {
  FakeEncoding encoding;
  EXPECT_EQ(RefusedNameChar(encoding, "C:\\a b\\\x95\\.txt"), "");
  EXPECT_EQ(RefusedNameChar(encoding, "C:\\a\tb"), "\\t");
  EXPECT_EQ(RefusedNameChar(encoding, "C:\\x\r"), "\\r");
  EXPECT_EQ(RefusedNameChar(encoding, "C:\\a?b"), "?");
  EXPECT_EQ(RefusedNameChar(encoding, "\x01\x02\\a"), "");  // unknown values
  EXPECT_EQ(EscapeControls("a\tb\r\n\x02\x7f\x0b"), "a\\tb\\r\\n\\x02\\x7F\\x0B");
}

TEST(CheckTextTest, MacroTypos) {
  std::vector<KnownMacro> macros = {{"$$FD$$", "D:", true}, {"%APPDIR%", "C:\\App", true}};
  const struct {
    const char* line;
    std::vector<std::string> words, suggestions;
  } cases[] = {
      {"BinCopy $$fd$$\\a %APPDIR\\a", {"$$fd$$", "%APPDIR"}, {"$$FD$$", "%APPDIR%"}},
      {"Message 100% of %NAME% $$ $$$ %1%", {"%NAME%"}, {""}},
      {"#define %NEW% x", {}, {}},
      {"IfString a = a N #define_registry %R% HKEY_CURRENT_USER\\x N ", {}, {}},
      {"MakeDir $$FD$\\x", {"$$FD$"}, {"$$FD$$"}},
  };
  for (const auto& c : cases) {
    std::vector<MacroTypo> typos = FindMacroTypos(c.line, macros);
    ASSERT_EQ(typos.size(), c.words.size()) << c.line;
    for (std::size_t i = 0; i < typos.size(); ++i) {
      EXPECT_EQ(typos[i].word, c.words[i]) << c.line;
      EXPECT_EQ(typos[i].suggestion, c.suggestions[i]) << c.line;
    }
  }
}

}  // namespace
}  // namespace setup
