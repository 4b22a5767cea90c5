// The code-page walks of base/code_page_text.h and the UTF-8 reader of base/utf8.h.
#include "base/code_page_text.h"

#include <gtest/gtest.h>

#include <string>

#include "base/hex_digit.h"
#include "base/utf8.h"

namespace setup {
namespace {

const auto kCp932 = [](unsigned char b) { return IsCp932LeadByte(b); };

TEST(CodePageTextTest, DirectoryLengthNeverTakesATrailByteForASeparator) {
  struct Case {
    std::string text;
    std::size_t length;
  } cases[] = {
      {"", 0},          {"name", 0},         {"C:\\dir\\name", 7},
      {"a/b\\c", 4},    {"\\", 1},           {"\x95\\", 0},  // 表: its trail byte is a backslash
      {"x\\\x95\\", 2}, {"x\\\x95\\\\y", 5}, {"\x95", 0},    // a lead byte alone at the end
      {"a\\\x95", 2},
  };
  for (const Case& c : cases) EXPECT_EQ(DirectoryLength(kCp932, c.text), c.length) << c.text;
}

TEST(CodePageTextTest, FindCharAndFindLastCharIfStepWholeCharacters) {
  const std::string text = "k\x95\\y\\z.\x81.e";
  EXPECT_EQ(FindChar(kCp932, text, 0, '\\'), 4u);
  EXPECT_EQ(FindChar(kCp932, text, 5, '\\'), text.size());
  EXPECT_EQ(FindLastCharIf(kCp932, text, [](char c) { return c == '.'; }), 6u);
  EXPECT_EQ(FindLastCharIf(kCp932, std::string("abc"), [](char c) { return c == '.'; }),
            std::string::npos);
}

TEST(CodePageTextTest, EndsWithCharOnlyForAWholeCharacter) {
  EXPECT_TRUE(EndsWithChar(kCp932, std::string("C:\\dir\\"), '\\'));
  EXPECT_FALSE(EndsWithChar(kCp932, std::string("C:\\\x95\\"), '\\'));
  EXPECT_TRUE(EndsWithChar(kCp932, std::string("C:\\\x95\\\\"), '\\'));
  EXPECT_FALSE(EndsWithChar(kCp932, std::string(""), '\\'));
  EXPECT_TRUE(EndsWithChar(kCp932, std::string("\\"), '\\'));
}

TEST(CodePageTextTest, CutWholeNeverSplitsACharacter) {
  struct Case {
    std::string text;
    std::size_t limit;
    std::string cut;
  } cases[] = {
      {"abc", 5, "abc"},          {"abc", 2, "ab"},        {"a\x95\\b", 2, "a"},
      {"a\x95\\b", 3, "a\x95\\"}, {"ab\x95", 3, "ab\x95"}, {"ab\x95x", 3, "ab"},
      {"\x95\\", 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CutWhole(kCp932, c.text, c.limit), c.cut) << c.text;
}

TEST(Utf8Test, DecodesWellFormedSequencesAndStepsOverStrayBytes) {
  struct Case {
    std::string text;
    std::size_t length;
    char32_t code_point;
    bool well_formed;
  } cases[] = {
      {"A", 1, U'A', true},
      {"\xC3\xA9", 2, U'\u00E9', true},
      {"\xE6\x97\xA5", 3, U'\u65E5', true},
      {"\xF0\x9F\x98\x80", 4, U'\U0001F600', true},
      {"\xC3", 1, 0xC3, false},       // cut off
      {"\xE6\x97x", 1, 0xE6, false},  // a continuation byte missing
      {"\x80", 1, 0x80, false},       // a continuation byte alone
      {"\xC0\x80", 1, 0xC0, false},   // never a lead byte
      {"\xF5\x80\x80\x80", 1, 0xF5, false},
  };
  for (const Case& c : cases) {
    Utf8Char u = DecodeUtf8(c.text, 0);
    EXPECT_EQ(u.length, c.length) << c.text;
    EXPECT_EQ(u.code_point, c.code_point) << c.text;
    EXPECT_EQ(u.well_formed, c.well_formed) << c.text;
  }
}

TEST(HexDigitTest, EveryByte) {
  const std::string digits = "0123456789ABCDEF";
  for (int b = 0; b < 256; ++b) {
    char c = static_cast<char>(b);
    std::size_t upper = digits.find(static_cast<char>(b >= 'a' && b <= 'f' ? b - 32 : b));
    int expected = b != 0 && upper != std::string::npos ? static_cast<int>(upper) : -1;
    EXPECT_EQ(HexDigit(c), expected) << b;
  }
}

}  // namespace
}  // namespace setup
