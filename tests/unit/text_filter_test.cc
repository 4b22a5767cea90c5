#include "textcopy/text_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/unit/app_fixture.h"
#include "tests/unit/stepped_input.h"
#include "text/macro_table.h"

namespace setup {
namespace {

constexpr const char* kSource = "C:\\src\\a.txt";
constexpr const char* kDest = "C:\\out\\a.txt";
constexpr LanguageMode kJa = LanguageMode::kJapanese;
constexpr LanguageMode kEn = LanguageMode::kEnglish;

class StringOutput : public OutputFile {
 public:
  Status Write(const void* data, std::size_t size) override {
    ++writes;
    text.append(static_cast<const char*>(data), size);
    return Status::Ok();
  }
  Status Commit() override { return Status::Ok(); }
  std::string text;
  int writes = 0;
};

class TextFilterTest : public ::testing::Test, public AppFixture {
 protected:
  void SetUp() override { app->context.DefineMacro("$$SETUPDIR$$", "C:\\App"); }

  // Copies `input` (code page bytes) through the fake file system; the copy must
  // succeed without a message.
  std::string Copy(const std::string& input, LanguageMode mode) {
    system.AddFile(kSource, input);
    bool copied = CopyTextFile(kSource, kDest, mode);
    EXPECT_TRUE(copied) << Messages();
    EXPECT_TRUE(messages().empty()) << Messages();
    return system.FileData(kDest);
  }

  // The same through FilterStream with reads of at most `step` bytes.
  std::string CopyStepped(const std::string& input, LanguageMode mode, std::size_t step) {
    SteppedInput in(input, step);
    StringOutput out;
    bool copied = FilterStream(in, out, kSource, kDest, mode);
    EXPECT_TRUE(copied) << Messages();
    return out.text;
  }

  // A copy that must fail with exactly `message`; answers what the destination holds.
  void CopyFails(const std::string& input, LanguageMode mode, const std::string& message) {
    system.AddFile(kSource, input);
    EXPECT_FALSE(CopyTextFile(kSource, kDest, mode));
    ASSERT_EQ(messages().size(), 1u) << Messages();
    EXPECT_EQ(messages()[0], message);
  }

  std::string Messages() const {
    std::string all;
    for (const auto& m : ui.messages) all += m + "\n";
    return all;
  }
};

// Code page 932 bytes of UTF-8 test text, outside the fixture.
std::string Sj(const char* utf8) {
  FakeEncoding encoding;
  return encoding.FromUtf8(utf8);
}

struct Row {
  const char* input;     // UTF-8; stored as code page 932
  const char* japanese;  // expected output, UTF-8
  const char* english;
};

// The worked example, each line with LF and with CR LF line ends.
const Row kWorkedExample[] = {
    {"Dir=$$SETUPDIR$$\n", "Dir=C:\\App\r\n", "Dir=C:\\App\r\n"},
    {"/* 設定 $# Settings */\n", "/* 設定 */\r\n", "/* Settings */\r\n"},
    {"    /*$# English only */\n", "", "    /* English only */\r\n"},
    {"x=1; /* 日本語 */\n", "x=1; /* 日本語 */\r\n", "x=1; \r\n"},
    {"/*$$*/SETUPDIR$$\n", "$$SETUPDIR$$\r\n", "$$SETUPDIR$$\r\n"},
    {"/* ok */\n", "/* ok */\r\n", "/* ok */\r\n"},
};

TEST_F(TextFilterTest, WorkedExampleLineByLine) {
  for (const Row& row : kWorkedExample) {
    for (bool crlf : {false, true}) {
      std::string input = Sj(row.input);
      if (crlf) input.insert(input.size() - 1, "\r");
      SCOPED_TRACE(row.input + std::string(crlf ? " (CR LF)" : " (LF)"));
      EXPECT_EQ(Copy(input, kJa), Sj(row.japanese));
      EXPECT_EQ(Copy(input, kEn), Sj(row.english));
    }
  }
}

TEST_F(TextFilterTest, WorkedExampleWhole) {
  std::string input, japanese, english;
  for (const Row& row : kWorkedExample) {
    input += Sj(row.input);
    japanese += Sj(row.japanese);
    english += Sj(row.english);
  }
  EXPECT_EQ(Copy(input, kJa), japanese);
  EXPECT_EQ(Copy(input, kEn), english);
}

const Row kEdgeCases[] = {
    // Empty comments and stars.
    {"/**/", "/**/", "/**/"},
    {"/***/", "/***/", "/***/"},
    {"a/**/b\n", "a/**/b\r\n", "a/**/b\r\n"},
    // Comments do not nest.
    {"/* a /* b */", "/* a /* b */", "/* a /* b */"},
    // Markers and lone characters outside comments are text.
    {"$# $$ */ $ * / $x *x /x\n", "$# $$ */ $ * / $x *x /x\r\n", "$# $$ */ $ * / $x *x /x\r\n"},
    // Push-back: the byte after `$`, `*` or `/` is read again as a token of its own.
    {"$/*c*/", "$/*c*/", "$/*c*/"},
    {"**/", "**/", "**/"},
    {"/*x**/", "/*x**/", "/*x**/"},
    {"$$#", "$$#", "$$#"},
    {"$日", "$日", "$日"},
    {"//* c */", "//* c */", "//* c */"},
    // Several split markers: split at the last, all removed.
    {"/*a$#b$#c*/", "/*ab*/", "/*c*/"},
    {"/*a$#*/", "/*a*/", "/**/"},
    // A split marker inside an English comment is only removed.
    {"/*$#a$#b*/", "", "/*ab*/"},
    // A blank between opener and marker makes a bilingual comment.
    {"/* $# x */", "/* */", "/* x */"},
    {"/*$# x */", "", "/* x */"},
    // Unwrapped comments, in both modes.
    {"/*$$abc*/", "$$abc", "$$abc"},
    {"/*$$*/", "$$", "$$"},
    {"/*$$a$#b*/", "$$ab", "$$ab"},
    {"/*$$日本*/", "$$日本", "$$日本"},
    // A bilingual comment keeps its half whatever it holds.
    {"/*日本$#*/", "/*日本*/", "/**/"},
    // Plain comments: double-byte ones are dropped in English mode.
    {"/* plain */", "/* plain */", "/* plain */"},
    {"/*日*/", "/*日*/", ""},
    // A kept comment spanning lines keeps single LF bytes inside.
    {"a /* x\ny\r\nz */ b\n", "a /* x\ny\nz */ b\r\n", "a /* x\ny\nz */ b\r\n"},
    // A dropped comment spanning lines removes them all when only blanks surround it.
    {"k\n  /*$# x\ny */  \nl\n", "k\r\nl\r\n", "k\r\n  /* x\ny */  \r\nl\r\n"},
    {"k\n\t/* 日\n本 */ \t\nl\n", "k\r\n\t/* 日\n本 */ \t\r\nl\r\n", "k\r\nl\r\n"},
    // Text around a dropped comment stays, with its blanks.
    {"a /*$# x */ b\n", "a  b\r\n", "a /* x */ b\r\n"},
    {"  /*$#x*/ b\n", "   b\r\n", "  /*x*/ b\r\n"},
    // A kept comment later on the line keeps the line.
    {" /*$#x*/ /*y*/\n", "  /*y*/\r\n", " /*x*/ /*y*/\r\n"},
    // A dropped comment on an otherwise empty line, the next line untouched.
    {"/*$#x*/\n\n", "\r\n", "/*x*/\r\n\r\n"},
    // The last line without a line end.
    {"a\nb", "a\r\nb", "a\r\nb"},
    {"", "", ""},
    // A CR not before an LF is kept; CR LF becomes one line end.
    {"a\rb\r\n\r\r\n", "a\rb\r\n\r\r\n", "a\rb\r\n\r\r\n"},
    // 0x1A ends the input outside a comment.
    {"a\n\x1A"
     "b\n",
     "a\r\n", "a\r\n"},
};

// Rows of raw code page 932 bytes, used as they are.
const Row kRawByteCases[] = {
    // A lead byte at the very end is paired with the end of input.
    {"a\x81", "a\x81\x1A", "a\x81\x1A"},
    // The trail byte of a double-byte character is never part of a marker.
    {"\x81/*x*/", "\x81/*x*/", "\x81/*x*/"},
    {"\x81$#", "\x81$#", "\x81$#"},
    {"\x81\n", "\x81\r\n", "\x81\r\n"},  // an LF as trail byte still ends the line
    {"/*\x95**/", "/*\x95**/", ""},
    {"/*\xfc\xfc$#\xe0\x40*/", "/*\xfc\xfc*/", "/*\xe0\x40*/"},
    // Bytes outside the lead ranges are single-byte characters.
    {"/*\x80\xa0\xdf\xfd\xfe\xff*/", "/*\x80\xa0\xdf\xfd\xfe\xff*/",
     "/*\x80\xa0\xdf\xfd\xfe\xff*/"},
    {"/*\xa0\x81\x40*/", "/*\xa0\x81\x40*/", ""},
};

TEST_F(TextFilterTest, EdgeCases) {
  for (const Row& row : kEdgeCases) {
    SCOPED_TRACE(row.input);
    std::string input = Sj(row.input);
    EXPECT_EQ(Copy(input, kJa), Sj(row.japanese));
    EXPECT_EQ(Copy(input, kEn), Sj(row.english));
  }
}

TEST_F(TextFilterTest, RawByteCases) {
  for (const Row& row : kRawByteCases) {
    SCOPED_TRACE(row.input);
    EXPECT_EQ(Copy(row.input, kJa), row.japanese);
    EXPECT_EQ(Copy(row.input, kEn), row.english);
  }
}

TEST_F(TextFilterTest, WholeAndSteppedReadsGiveTheSameOutput) {
  std::vector<std::string> inputs;
  for (const Row& row : kWorkedExample) inputs.push_back(Sj(row.input));
  for (const Row& row : kEdgeCases) inputs.push_back(Sj(row.input));
  for (const Row& row : kRawByteCases) inputs.push_back(row.input);
  std::string all;
  for (const std::string& s : inputs) all += s + "\r\n";
  inputs.push_back(all);
  // Long lines cut into several chunks, with CR LF pairs across read boundaries.
  std::string long_lines;
  for (int i = 0; i < 3; ++i) {
    long_lines += std::string(4094 + i, 'a') + "\r\n/* 日本 $# en */\r\n";
    long_lines += std::string(5000, ' ') + "/*$#x*/\r\n";
  }
  inputs.push_back(long_lines);
  for (const std::string& input : inputs) {
    for (LanguageMode mode : {kJa, kEn}) {
      std::string whole = Copy(input, mode);
      for (std::size_t step : {1u, 2u, 3u, 7u, 4095u, 4096u, 65537u}) {
        SCOPED_TRACE("step " + std::to_string(step) + " mode " +
                     std::to_string(static_cast<int>(mode)));
        EXPECT_EQ(CopyStepped(input, mode, step), whole);
      }
    }
  }
}

TEST_F(TextFilterTest, MacrosAreReplacedEverywhereWithinAChunk) {
  app->context.DefineMacro("$$FD$$", "D:\\Dist");
  EXPECT_EQ(Copy("/* $$FD$$ $# $$SETUPDIR$$ */\n$$FD$$", kJa), "/* D:\\Dist */\r\nD:\\Dist");
  EXPECT_EQ(Copy("/* $$FD$$ $# $$SETUPDIR$$ */\n$$FD$$", kEn), "/* C:\\App */\r\nD:\\Dist");
  // A value can bring in markers; they are seen as if they stood in the file.
  app->context.DefineMacro("OPEN", "/*$#");
  EXPECT_EQ(Copy("OPEN x */y\n", kJa), "y\r\n");
  // A macro value holding 0x1A ends the input.
  app->context.DefineMacro("STOP", "\x1A");
  EXPECT_EQ(Copy("a\nbSTOPc\nd\n", kJa), "a\r\nb");
}

TEST_F(TextFilterTest, ChunkBoundaries) {
  // A name cut by the 4095-byte boundary is not replaced.
  std::string cut = std::string(4090, 'a') + "$$SETUPDIR$$\n";
  EXPECT_EQ(Copy(cut, kJa), std::string(4090, 'a') + "$$SETUPDIR$$\r\n");
  // A name that ends exactly at the boundary is.
  std::string whole = std::string(4083, 'a') + "$$SETUPDIR$$\n";
  EXPECT_EQ(Copy(whole, kJa), std::string(4083, 'a') + "C:\\App\r\n");
  // Lines of 4095 bytes and longer are copied unchanged.
  for (std::size_t n : {4094u, 4095u, 4096u, 8190u, 8191u, 10000u}) {
    std::string line(n, 'x');
    EXPECT_EQ(Copy(line + "\n" + line, kJa), line + "\r\n" + line) << n;
  }
}

TEST_F(TextFilterTest, LineBufferFlushesEvery4096Bytes) {
  // The flush at 4096 bytes carries the blank-line drop: the first 4096 blanks after a
  // dropped comment go, the rest of the line stays.
  EXPECT_EQ(Copy("/*$#x*/" + std::string(4200, ' ') + "y\n", kJa), std::string(104, ' ') + "y\r\n");
  EXPECT_EQ(Copy("/*$#x*/" + std::string(4096, ' ') + "\n", kJa), "\r\n");
  // A line end arriving at 4095 bytes fits whole, so the line is still one piece.
  EXPECT_EQ(Copy("/*$#x*/" + std::string(4095, ' ') + "\n", kJa), "");
  EXPECT_EQ(Copy("/*$#x*/" + std::string(4094, ' ') + "\n", kJa), "");
  std::string text(4095, 'z');
  EXPECT_EQ(Copy(text + "\n", kJa), text + "\r\n");
}

TEST_F(TextFilterTest, NulEndsItsChunk) {
  EXPECT_EQ(Copy(std::string("ab\0cd\nef\n", 9), kJa), "abef\r\n");
  // A chunk that expands to nothing delivers nothing; reading goes on.
  EXPECT_EQ(Copy(std::string("\0x\nef\n", 6), kJa), "ef\r\n");
  app->context.DefineMacro("E", "");
  EXPECT_EQ(Copy("x\nE", kJa), "x\r\n");
  EXPECT_EQ(Copy(std::string(4095, 'E') + "z\n", kJa), "z\r\n");
  EXPECT_EQ(Copy("E\nEf\n", kJa), "\r\nf\r\n");
}

TEST_F(TextFilterTest, CommentBodyLimit) {
  std::string full(4095, 'b');
  EXPECT_EQ(Copy("/*" + full + "*/", kJa), "/*" + full + "*/");
  // A double-byte character added at 4094 makes 4096.
  std::string dbcs = std::string(4094, 'b') + "\x93\xfa";
  EXPECT_EQ(Copy("/*" + dbcs + "*/", kJa), "/*" + dbcs + "*/");
  // Split markers and the closer do not count.
  EXPECT_EQ(Copy("/*" + full + "$#*/", kEn), "/**/");
}

TEST_F(TextFilterTest, CommentBodyOverflowFails) {
  system.AddFile(kDest, "old");
  // 4096 body bytes: the last one does not fit.
  std::string input = "keep\n/*" + std::string(2000, 'b') + "\n" + std::string(2095, 'b') + "*/";
  CopyFails(input, kJa, "C:\\src\\a.txt:(3) /* */ Syntax Error");
  EXPECT_EQ(system.FileData(kDest), "old");
}

TEST_F(TextFilterTest, DoubleByteOverflowFails) {
  CopyFails("/*" + std::string(4094, 'b') + "\x93\xfa" + "x*/", kEn,
            "C:\\src\\a.txt:(2) /* */ Syntax Error");
  ui.messages.clear();
  CopyFails("/*" + std::string(4095, 'b') + "\x93\xfa" + "*/", kEn,
            "C:\\src\\a.txt:(2) /* */ Syntax Error");
}

TEST_F(TextFilterTest, UnclosedCommentNamesTheLastLine) {
  system.AddFile(kDest, "old");
  CopyFails("a\n/* b\nc\nd", kJa, "C:\\src\\a.txt:(4) /* */ Syntax Error");
  EXPECT_EQ(system.FileData(kDest), "old");
}

TEST_F(TextFilterTest, EndOfInputInsideACommentFails) {
  CopyFails("a\n/* b\x1A */\n", kJa, "C:\\src\\a.txt:(2) /* */ Syntax Error");
  ui.messages.clear();
  CopyFails("/*", kEn, "C:\\src\\a.txt:(1) /* */ Syntax Error");
  ui.messages.clear();
  CopyFails("/*$$", kEn, "C:\\src\\a.txt:(1) /* */ Syntax Error");
  ui.messages.clear();
  CopyFails("/*\x81", kEn, "C:\\src\\a.txt:(1) /* */ Syntax Error");
  EXPECT_FALSE(system.HasFile(kDest));
}

TEST_F(TextFilterTest, LineNumberCountsChunks) {
  // The opener stands in the second 4095-byte piece of line 1; line 2 is the third chunk.
  std::string input = std::string(5000, 'a') + "/*\nb";
  CopyFails(input, kJa, "C:\\src\\a.txt:(3) /* */ Syntax Error");
}

TEST_F(TextFilterTest, ExpansionPastTheBufferFails) {
  app->context.DefineMacro("L", std::string(299, 'v'));
  system.AddFile(kDest, "old");
  // 13 names of one byte become 13 * 299 = 3887 bytes; 14 become 4186.
  EXPECT_EQ(Copy(std::string(13, 'L') + std::string(208, 'x'), kJa),
            std::string(3887, 'v') + std::string(208, 'x'));
  ui.messages.clear();
  CopyFails("a\n" + std::string(14, 'L'), kJa, "C:\\src\\a.txt:(2) line too long");
  EXPECT_EQ(system.FileData(kDest), std::string(3887, 'v') + std::string(208, 'x'));
}

TEST_F(TextFilterTest, MissingSourceLeavesTheDestination) {
  system.AddFile(kDest, "old");
  EXPECT_FALSE(CopyTextFile("C:\\none.txt", kDest, kJa));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "Can't open C:\\none.txt file");
  EXPECT_EQ(system.FileData(kDest), "old");
  EXPECT_EQ(system.files.size(), 1u);
}

TEST_F(TextFilterTest, DestinationThatCannotBeCreated) {
  system.AddDirectory("C:\\src");  // C:\out is missing
  system.AddFile(kSource, "a\n");
  EXPECT_FALSE(CopyTextFile("C:\\none.txt", kDest, kJa));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "Can't Create C:\\out\\a.txt file");  // the source is not looked at
  EXPECT_FALSE(system.HasFile(kDest));
}

TEST_F(TextFilterTest, CopyOntoItselfReceivesTheFilteredText) {
  system.AddFile(kSource, "x /*$# en */\n");
  EXPECT_TRUE(CopyTextFile(kSource, kSource, kJa));
  EXPECT_EQ(system.FileData(kSource), "x \r\n");
}

TEST_F(TextFilterTest, ReadErrorFailsAndLeavesTheDestination) {
  std::string input;
  for (int i = 0; i < 20000; ++i) input += "line " + std::to_string(i) + "\n";
  system.AddFile(kDest, "old");
  for (long fail_at : {0L, 1L, 100L, 65536L, 100000L}) {
    SCOPED_TRACE(fail_at);
    ui.messages.clear();
    system.fail_read_path = kSource;
    system.fail_read_after = fail_at;
    CopyFails(input, kJa, "Can't read C:\\src\\a.txt file");
    EXPECT_EQ(system.FileData(kDest), "old");
  }
}

TEST_F(TextFilterTest, ReadErrorInsideACommentIsAReadError) {
  SteppedInput in("/* never closed", 4, 8);
  StringOutput out;
  EXPECT_FALSE(FilterStream(in, out, kSource, kDest, kJa));
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "Can't read C:\\src\\a.txt file");
}

TEST_F(TextFilterTest, WriteErrorFailsAndLeavesTheDestination) {
  std::string input;
  for (int i = 0; i < 20000; ++i) input += Sj("/* 行 $# line */ ") + std::to_string(i) + "\n";
  for (long space : {0L, 1L, 4096L, 65536L, 200000L}) {
    SCOPED_TRACE(space);
    ui.messages.clear();
    system.AddFile(kDest, "old");
    system.disk_space = space;
    CopyFails(input, kJa, "Can't write C:\\out\\a.txt file");
    EXPECT_EQ(system.FileData(kDest), "old");
  }
}

TEST_F(TextFilterTest, CommitFailureIsAWriteError) {
  system.AddFile(kDest, "old");
  system.fail_commit = true;
  CopyFails("a\n", kJa, "Can't write C:\\out\\a.txt file");
  EXPECT_EQ(system.FileData(kDest), "old");
}

TEST_F(TextFilterTest, StateDoesNotLeakBetweenCopies) {
  // A failed copy in the middle of a comment, with a pending push-back and a set drop
  // flag, must not affect the next copy.
  CopyFails("/*$#x*/ /* open $", kJa, "C:\\src\\a.txt:(1) /* */ Syntax Error");
  ui.messages.clear();
  EXPECT_EQ(Copy("  \nb", kJa), "  \r\nb");
}

TEST_F(TextFilterTest, OutputIsWrittenInLargeBlocks) {
  std::string input;
  for (int i = 0; i < 10000; ++i) input += "short line\n";
  SteppedInput in(input, 65536);
  StringOutput out;
  EXPECT_TRUE(FilterStream(in, out, kSource, kDest, kJa));
  EXPECT_EQ(out.text.size(), 10000u * 12);
  EXPECT_LE(out.writes, 3);
}

// The filter needs files and nothing else of the system: a FileOpener alone serves it.
class MemoryFiles : public FileOpener {
 public:
  Status OpenForReading(const std::string& path, std::unique_ptr<InputFile>* file) override {
    auto it = files.find(path);
    if (it == files.end()) return Status(StatusKind::kNotFound, path);
    *file = std::make_unique<SteppedInput>(it->second, 5);
    return Status::Ok();
  }
  Status CreateReplacement(const std::string& path, std::unique_ptr<OutputFile>* file) override {
    *file = std::make_unique<Replacing>(&files[path]);
    return Status::Ok();
  }
  std::map<std::string, std::string> files;

 private:
  class Replacing : public StringOutput {
   public:
    explicit Replacing(std::string* target) : target_(target) {}
    Status Commit() override {
      *target_ = text;
      return Status::Ok();
    }

   private:
    std::string* target_;
  };
};

TEST(TextFilterRoleTest, AFileOpenerAloneServesTheFilter) {
  MemoryFiles files;
  MacroTable macros;
  macros.Define("$$FD$$", "D:\\Dist");
  files.files["in"] = "$$FD$$ /* ja $# en */\n";
  TextFilter filter(files, macros);
  EXPECT_TRUE(filter.CopyTextFile("in", "out", kJa).ok());
  EXPECT_EQ(files.files["out"], "D:\\Dist /* ja */\r\n");
  Status missing = filter.CopyTextFile("none", "out2", kEn);
  EXPECT_EQ(missing.kind(), StatusKind::kNotFound);
  EXPECT_EQ(missing.path(), "none");
  EXPECT_TRUE(missing.other_path().empty());  // the source's failure, not the copy's
}

TEST(TextFilterLeadByteTest, FixedCodePage932Ranges) {
  for (unsigned b = 0; b < 256; ++b) {
    bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(TextFilter::IsLeadByte(b), expected) << b;
  }
}

}  // namespace
}  // namespace setup
