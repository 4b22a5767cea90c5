// Code page 932 on POSIX: the lead-byte ranges and the conversions to and from UTF-8.
#include "platform/posix/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

TEST(PosixCodePageTest, LeadBytesAreTheTwoRangesOf932) {
  struct Case {
    unsigned char byte;
    bool lead;
  } cases[] = {
      {0x00, false}, {0x41, false}, {0x5C, false}, {0x7F, false}, {0x80, false},
      {0x81, true},  {0x9F, true},  {0xA0, false}, {0xB1, false}, {0xDF, false},
      {0xE0, true},  {0xEF, true},  {0xFC, true},  {0xFD, false}, {0xFF, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsCp932LeadByte(c.byte), c.lead) << std::hex << int{c.byte};
  }
}

TEST(PosixCodePageTest, ToUtf8) {
  struct Case {
    std::string cp932;
    std::string utf8;
  } cases[] = {
      {"", ""},
      {"Setup.Inf", "Setup.Inf"},
      {"C:\\Program Files\\~x", "C:\\Program Files\\~x"},  // 0x5C and 0x7E stay ASCII
      {"\x93\xfa\x96\x7b\x8c\xea", "日本語"},
      {"\x95\x5c.txt", "表.txt"},  // a trail byte 0x5C is no separator
      {"\xb1\xb2\xb3", "ｱｲｳ"},     // half-width katakana, one byte each
      {"\x87\x40", "①"},           // NEC special characters
      {"\xfa\x40", "ⅰ"},           // IBM extensions
      {"a\x81", "a?"},             // a lead byte cut off at the end
      {"\x81\x20x", "? x"},        // a bad trail byte is read on its own
      {"\xff!", "?!"},
      {"\xa0", "?"},
  };
  Cp932Converter converter;
  for (const Case& c : cases) EXPECT_EQ(converter.ToUtf8(c.cp932), c.utf8) << c.utf8;
}

TEST(PosixCodePageTest, FromUtf8) {
  struct Case {
    std::string utf8;
    std::string cp932;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"日本語", "\x93\xfa\x96\x7b\x8c\xea"},
      {"表\\", "\x95\x5c\\"},
      {"ｱ", "\xb1"},
      {"a😀b", "a?b"},       // no such character in 932: one '?' for the whole character
      {"Ω€", "\x83\xb6?"},  // Greek is in 932, the euro sign is not
      {"x\xc3", "x?"},      // a sequence cut off at the end
      {"\xff"
       "a",
       "?a"},  // a byte that begins no UTF-8 sequence
      {"\xe6\x97"
       "a",
       "?a"},              // a sequence broken in the middle
      {"\x80\x80", "??"},  // stray continuation bytes, one by one
  };
  Cp932Converter converter;
  for (const Case& c : cases) EXPECT_EQ(converter.FromUtf8(c.utf8), c.cp932) << c.utf8;
}

TEST(PosixCodePageTest, EveryDoubleByteCharacterOfTheKanjiRowsRoundTrips) {
  Cp932Converter converter;
  int checked = 0;
  for (int lead = 0x88; lead <= 0x9F; ++lead) {
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      std::string cp932 = {static_cast<char>(lead), static_cast<char>(trail)};
      std::string utf8 = converter.ToUtf8(cp932);
      if (utf8.find('?') != std::string::npos) continue;  // unassigned
      EXPECT_EQ(converter.FromUtf8(utf8), cp932) << std::hex << lead << " " << trail;
      ++checked;
    }
  }
  EXPECT_GT(checked, 4000);
}

TEST(PosixCodePageTest, LongTextsGrowTheOutput) {
  Cp932Converter converter;
  std::string cp932, utf8;
  for (int i = 0; i < 50000; ++i) {
    cp932 += "\xb1\x93\xfa";
    utf8 += "ｱ日";
  }
  EXPECT_EQ(converter.ToUtf8(cp932), utf8);
  EXPECT_EQ(converter.FromUtf8(utf8), cp932);
}

// The native program's encoding: code page 932's lead bytes, and the converter's texts.
TEST(PosixCodePageTest, Cp932EncodingIsTheRunsCodePage) {
  const struct {
    unsigned char byte;
    bool lead;
  } bytes[] = {{0x80, false}, {0x81, true}, {0x9f, true}, {0xa0, false}, {0xb1, false},
               {0xdf, false}, {0xe0, true}, {0xfc, true}, {0xfd, false}, {'\\', false}};
  Cp932Encoding encoding;
  for (const auto& b : bytes) EXPECT_EQ(encoding.IsLeadByte(b.byte), b.lead) << int{b.byte};
  EXPECT_EQ(encoding.ToUtf8("\x95\x5c.txt"), "表.txt");
  EXPECT_EQ(encoding.FromUtf8("表\\ｱ"), "\x95\x5c\\\xb1");
  EXPECT_EQ(encoding.FromUtf8("€"), "?");
}

}  // namespace
}  // namespace setup
