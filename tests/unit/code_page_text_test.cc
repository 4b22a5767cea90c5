#include "base/code_page_text.h"

#include <gtest/gtest.h>

#include <string>

#include "base/hex_digit.h"
#include "base/utf8.h"

namespace setup {
namespace {

const auto kCp932 = [](unsigned char b) { return IsCp932LeadByte(b); };
const auto kIsDot = [](char c) { return c == '.'; };

// "\x95\\" is one character whose trail byte is a backslash.
TEST(CodePageTextTest, WalksNeverTakeATrailByteForACharacter) {
  struct Case {
    std::string text;
    std::size_t length;
  } cases[] = {{"name", 0},   {"C:\\dir\\name", 7}, {"a/b\\c", 4},
               {"\x95\\", 0}, {"x\\\x95\\\\y", 5},  {"a\\\x95", 2}};
  for (const Case& c : cases) EXPECT_EQ(DirectoryLength(kCp932, c.text), c.length) << c.text;
  const std::string text = "k\x95\\y\\z.\x81.e";
  EXPECT_EQ(FindChar(kCp932, text, 0, '\\'), 4u);
  EXPECT_EQ(FindChar(kCp932, text, 5, '\\'), text.size());
  EXPECT_EQ(FindLastCharIf(kCp932, text, kIsDot), 6u);
  EXPECT_EQ(FindLastCharIf(kCp932, std::string("abc"), kIsDot), std::string::npos);
  EXPECT_FALSE(EndsWithChar(kCp932, std::string("C:\\\x95\\"), '\\'));
  EXPECT_TRUE(EndsWithChar(kCp932, std::string("C:\\\x95\\\\"), '\\'));
  EXPECT_FALSE(EndsWithChar(kCp932, std::string(""), '\\'));
}

// "\x83\x61" (ヂ) has the trail byte of 'a' and "\x95\\" (表) that of a backslash.
TEST(CodePageTextTest, FoldPathLeavesDoubleByteCharactersAlone) {
  struct Case {
    std::string text, folded;
  } cases[] = {{"c:/Dir/a.txt", "C:\\DIR\\A.TXT"},
               {"\x83\x61"
                "b",
                "\x83\x61"
                "B"},
               {"\x95\\/x", "\x95\\\\X"},
               {"a\x83", "A\x83"}};
  for (const Case& c : cases) EXPECT_EQ(FoldPath(kCp932, c.text), c.folded) << c.text;
}

TEST(CodePageTextTest, CutWholeNeverSplitsACharacter) {
  struct Case {
    std::string text;
    std::size_t limit;
    std::string cut;
  } cases[] = {{"abc", 5, "abc"},
               {"a\x95\\b", 2, "a"},
               {"a\x95\\b", 3, "a\x95\\"},
               {"ab\x95", 3, "ab\x95"},
               {"ab\x95x", 3, "ab"}};
  for (const Case& c : cases) EXPECT_EQ(CutWhole(kCp932, c.text, c.limit), c.cut) << c.text;
}

// The double-byte words of a buffer: whole characters only, each second byte accepted.
TEST(CodePageTextTest, SkipDoubleByteCharsTakesWholeCharactersOnly) {
  const auto not_lf = [](unsigned char b) { return b != '\n'; };
  struct Case {
    std::string text;
    std::size_t taken;
  } cases[] = {
      {"", 0},
      {"ab", 0},                    // no lead byte
      {"\x82\xa0\x82\xa2x", 4},     // two characters, then a single byte
      {"\x82\xa0\x82", 2},          // a lead byte that ends the buffer is left out
      {"\x82\xa0\x82\n", 2},        // a refused second byte ends the run before it
      {"\x95\x5c\x95\x5c\x82", 4},  // 0x5C as a second byte is part of a character
      {"\xa0\xa0", 0},              // 0xA0 is no lead byte of code page 932
  };
  for (const Case& c : cases) {
    const auto* begin = reinterpret_cast<const unsigned char*>(c.text.data());
    const unsigned char* end = begin + c.text.size();
    EXPECT_EQ(SkipDoubleByteChars(kCp932, begin, end, not_lf) - begin,
              static_cast<std::ptrdiff_t>(c.taken))
        << c.text;
  }
  EXPECT_EQ(CharLengthOfFirstByte(kCp932, 0x82), 2u);
  EXPECT_EQ(CharLengthOfFirstByte(kCp932, 0xFC), 2u);
  EXPECT_EQ(CharLengthOfFirstByte(kCp932, 0xA0), 1u);
  EXPECT_EQ(CharLengthOfFirstByte(kCp932, '\\'), 1u);
}

TEST(Utf8Test, DecodesWellFormedSequencesAndStepsOverStrayBytes) {
  struct Case {
    std::string text;
    std::size_t length;
    char32_t code_point;
  } cases[] = {{"\xC3\xA9", 2, U'\u00E9'}, {"\xF0\x9F\x98\x80", 4, U'\U0001F600'},
               {"\xC3", 1, 0xC3},  // this one and the ones below are not well formed
               {"\xE6\x97x", 1, 0xE6},     {"\x80", 1, 0x80},
               {"\xC0\x80", 1, 0xC0},      {"\xF5\x80\x80\x80", 1, 0xF5}};
  for (const Case& c : cases) {
    Utf8Char u = DecodeUtf8(c.text, 0);
    EXPECT_EQ(u.length, c.length) << c.text;
    EXPECT_EQ(u.code_point, c.code_point) << c.text;
    EXPECT_EQ(u.well_formed, c.length > 1) << c.text;
  }
}

TEST(HexDigitTest, EveryByte) {
  const std::string digits = "0123456789ABCDEF";
  for (int b = 0; b < 256; ++b) {
    std::size_t at = digits.find(static_cast<char>(b >= 'a' && b <= 'f' ? b - 32 : b));
    EXPECT_EQ(HexDigit(static_cast<char>(b)), b && at != std::string::npos ? int(at) : -1) << b;
  }
}

}  // namespace
}  // namespace setup
