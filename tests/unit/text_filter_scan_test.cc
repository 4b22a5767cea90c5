// The text filter's fast paths against the places where a scan of many bytes at a time,
// or a comment read in one pass, could part from the token reader: special bytes on
// every offset of a sixteen-byte step, trail bytes that look like markers, markers cut
// by a chunk's end, and the end of input inside a comment.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/app_fixture.h"
#include "textcopy/text_filter.h"

namespace setup {
namespace {

constexpr const char* kSource = "C:\\src\\a.txt";
constexpr const char* kDest = "C:\\out\\a.txt";
constexpr LanguageMode kJa = LanguageMode::kJapanese;
constexpr LanguageMode kEn = LanguageMode::kEnglish;

class TextFilterScanTest : public ::testing::Test, public AppFixture {
 protected:
  void SetUp() override { app->context.DefineMacro("$$FD$$", "D:\\Dist"); }

  // The copy's result, its one message or "", and the destination.
  std::string Copy(const std::string& input, LanguageMode mode) {
    system.AddFile(kSource, input);
    ui.messages.clear();
    bool copied = CopyTextFile(kSource, kDest, mode);
    std::string message = ui.messages.empty() ? "" : ui.messages.back();
    return (copied ? "ok:" : "failed:") + message + ":" + (copied ? system.FileData(kDest) : "");
  }
};

struct Case {
  std::string input;
  std::string japanese;  // Copy's answer
  std::string english;
};

std::string Ok(const std::string& text) { return "ok::" + text; }

const std::string kLong(4092, 'a');  // "/*" and these fill a chunk but one byte

const Case kCases[] = {
    // A lead byte takes the byte after it, whatever it is: no opener, closer or split.
    {"\x88/* a */\n", Ok("\x88/* a */\r\n"), Ok("\x88/* a */\r\n")},
    {"/* \x88*/ x */\n", Ok("/* \x88*/ x */\r\n"), Ok("")},
    {"/* \x88$# x */\n", Ok("/* \x88$# x */\r\n"), Ok("")},
    // "$$" and "/*" inside a body are two bytes of it, never the start of "$#" or "*/".
    {"/* a $$# b */\n", Ok("/* a $$# b */\r\n"), Ok("/* a $$# b */\r\n")},
    {"/* a /*/ b */\n", Ok("/* a /*/ b */\r\n"), Ok("/* a /*/ b */\r\n")},
    {"q*/*x*/\n", Ok("q*/*x*/\r\n"), Ok("q*/*x*/\r\n")},
    // Empty bodies of every kind.
    {"/**/\n", Ok("/**/\r\n"), Ok("/**/\r\n")},
    {"x/*$#*/\n", Ok("x\r\n"), Ok("x/**/\r\n")},
    {"x/*$$*/y\n", Ok("x$$y\r\n"), Ok("x$$y\r\n")},
    {"/*$$ $# x*/\n", Ok("$$  x\r\n"), Ok("$$  x\r\n")},
    // Comments that the chunk's end cuts: after "/*", inside "$#", inside a character.
    {"ab /*\n x */\n", Ok("ab /*\n x */\r\n"), Ok("ab /*\n x */\r\n")},
    {"/* a\n b */c\n", Ok("/* a\n b */c\r\n"), Ok("/* a\n b */c\r\n")},
    {"/*$\n# a */\n", Ok("/*$\n# a */\r\n"), Ok("/*$\n# a */\r\n")},
    {"/*" + kLong + "$#b*/\n", Ok("/*" + kLong + "*/\r\n"), Ok("/*b*/\r\n")},
    {"/*" + kLong + "\x88\x9f*/\n", Ok("/*" + kLong + "\x88\x9f*/\r\n"), Ok("")},
    // Double-byte words, split markers and names side by side.
    {"/* \x88\x9f\x88\x9f $# e */ $$FD$$/*$$FD$$*/\n",
     Ok("/* \x88\x9f\x88\x9f */ D:\\Dist/*D:\\Dist*/\r\n"), Ok("/* e */ D:\\Dist/*D:\\Dist*/\r\n")},
    // The end of input inside a comment, also as a trail byte.
    {"/* a \x1A b */\n", "failed:C:\\src\\a.txt:(1) /* */ Syntax Error:",
     "failed:C:\\src\\a.txt:(1) /* */ Syntax Error:"},
    {"/* a \x88\x1A b */\n", "failed:C:\\src\\a.txt:(1) /* */ Syntax Error:",
     "failed:C:\\src\\a.txt:(1) /* */ Syntax Error:"},
};

TEST_F(TextFilterScanTest, FastPathsGiveTheTokenReadersOutput) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.input.size() < 80 ? c.input : c.input.substr(c.input.size() - 20));
    EXPECT_EQ(Copy(c.input, kJa), c.japanese);
    EXPECT_EQ(Copy(c.input, kEn), c.english);
  }
}

// Every kind of special byte on every offset of two sixteen-byte steps, before and after
// a double-byte character, outside and inside a comment.
TEST_F(TextFilterScanTest, SpecialBytesOnEveryOffset) {
  const struct {
    std::string piece;
    std::string japanese;
    std::string english;
  } pieces[] = {
      {"/* a $# b */", "/* a */", "/* b */"},   {"/*$# only */", "", "/* only */"},
      {"/* \x88\x9f */", "/* \x88\x9f */", ""}, {"/*$$FD$$*/", "/*D:\\Dist*/", "/*D:\\Dist*/"},
      {"$$FD$$", "D:\\Dist", "D:\\Dist"},       {"\x88\x9f$ * /", "\x88\x9f$ * /", "\x88\x9f$ * /"},
      {"/* x\x88/y */", "/* x\x88/y */", ""},
  };
  for (const auto& p : pieces) {
    for (std::size_t k = 0; k < 34; ++k) {
      std::string lead(k, 'x');
      SCOPED_TRACE(p.piece + " at " + std::to_string(k));
      std::string input = lead + p.piece + "z\n" + lead + "\x88\x9f" + p.piece + "\n";
      auto out = [&](const std::string& piece) {
        return Ok(lead + piece + "z\r\n" + lead + "\x88\x9f" + piece + "\r\n");
      };
      // A line left blank by a dropped comment goes; here the line keeps its x and z.
      EXPECT_EQ(Copy(input, kJa), out(p.japanese));
      EXPECT_EQ(Copy(input, kEn), out(p.english));
    }
  }
}

// Chunk edges (a chunk is at most 4095 bytes): a lead byte or the opener's first byte as
// a chunk's last byte, an opener that fills its chunk, a comment whose line already fills
// the line buffer, a comment that ends the input, and short chunks after a long one whose
// stale bytes past their end are specials.
TEST_F(TextFilterScanTest, ChunkEdges) {
  const std::string a4093(4093, 'a'), a4094(4094, 'a'), a4095(4095, 'a');
  std::string stale;
  for (int i = 0; i < 8; ++i) stale += "q*/\x88\x9f/*x*/$#";
  std::string shorts, shorts_out;
  for (std::size_t k = 0; k < 20; ++k) {
    shorts += std::string(k, 'b') + "\n";
    shorts_out += std::string(k, 'b') + "\r\n";
  }
  const Case cases[] = {
      {a4094 + "\x88\x9f\n", Ok(a4094 + "\x88\x9f\r\n"), Ok(a4094 + "\x88\x9f\r\n")},
      {a4094 + "/*x $# y*/\n", Ok(a4094 + "/*x */\r\n"), Ok(a4094 + "/* y*/\r\n")},
      {a4093 + "/*x $# y*/\n", Ok(a4093 + "/*x */\r\n"), Ok(a4093 + "/* y*/\r\n")},
      {a4095 + "/*$$ u */\n", Ok(a4095 + "$$ u \r\n"), Ok(a4095 + "$$ u \r\n")},
      {a4095 + "a/*$# e */\n", Ok(a4095 + "a\r\n"), Ok(a4095 + "a/* e */\r\n")},
      {a4095 + "aa/* c $# e */\n", Ok(a4095 + "aa/* c */\r\n"), Ok(a4095 + "aa/* e */\r\n")},
      {"a/*x $# y*/", Ok("a/*x */"), Ok("a/* y*/")},
      {"/*\x88\x9f*/", Ok("/*\x88\x9f*/"), Ok("")},
      // Both halves of a bilingual comment count toward the body's limit, in either mode.
      {"/*" + std::string(3000, 'j') + "$#" + std::string(1000, 'e') + "\n" +
           std::string(200, 'e') + "*/\n",
       "failed:C:\\src\\a.txt:(2) /* */ Syntax Error:",
       "failed:C:\\src\\a.txt:(2) /* */ Syntax Error:"},
      {stale + "\n" + shorts, Ok(stale + "\r\n" + shorts_out), Ok(stale + "\r\n" + shorts_out)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input.size() < 4090 ? c.input : c.input.substr(4090, 40));
    EXPECT_EQ(Copy(c.input, kJa), c.japanese);
    EXPECT_EQ(Copy(c.input, kEn), c.english);
  }
}

// Every kind of comment at many places relative to the output block's flushes, in lines
// short and as long as a chunk: the body written in place gives the token path's output.
TEST_F(TextFilterScanTest, CommentsAcrossBlockFlushes) {
  const struct {
    std::string comment;
    std::string japanese;  // what the comment becomes; "-" when it is dropped
    std::string english;
  } kinds[] = {
      {"/* c $# e */", "/* c */", "/* e */"}, {"/*$# e */", "-", "/* e */"},
      {"/*$$ u */", "$$ u ", "$$ u "},        {"/* \x88\x9f */", "/* \x88\x9f */", "-"},
      {"/* p */", "/* p */", "/* p */"},
  };
  std::string input, japanese, english;
  for (int i = 0; i < 6000; ++i) {
    const auto& kind = kinds[i % 5];
    std::size_t pad = i % 300 == 7 ? 4070 + i % 24 : i % 41;
    std::string before(pad, 'a'), after(i % 2 == 0 ? "" : " z");
    input += before + kind.comment + after + "\n";
    // A line left blank by a dropped comment goes.
    auto add = [&](const std::string& kept, std::string& out) {
      bool dropped = kept == "-";
      if (!dropped || !(before + after).empty()) {
        out += before + (dropped ? "" : kept) + after + "\r\n";
      }
    };
    add(kind.japanese, japanese);
    add(kind.english, english);
  }
  EXPECT_EQ(Copy(input, kJa), Ok(japanese));
  EXPECT_EQ(Copy(input, kEn), Ok(english));
}

}  // namespace
}  // namespace setup
