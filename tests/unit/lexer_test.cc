#include "script/lexer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

TEST(LexerTest, ClassifyLine) {
  struct Case {
    const char* text;
    int id;
  } cases[] = {
      {"", kEmptyLine},           {"\n", kEmptyLine},
      {"'comment", kCommentLine}, {":label", kLabelLine},
      {"#define_registry X", kDefineRegistry},
      {"#define X", kDefine},     {"#DEFINE X", kDefine},
      {"setupdir x", kSetupDir},  {"SetupDirectory", kSetupDir},
      {"MessageBoxes", kMessageBox}, {"Messages", kMessage},
      {"MESSAGEBOX hi", kMessageBox},
      {" TextCopy", kNoKeyword},  // leading blanks are the caller's
      {"=", kOpEqual},            {"<=", kOpLessEqual},
      {"<", kOpLess},             {">=", kOpGreaterEqual},
      {">", kOpGreater},          {"=>", kOpEqual},
      {"<>", kOpLess},            {"registryfiles", kRegistry},
      {"Regsvr a", kRegsvr},      {"IfRegistryFind", kIfRegistryFind},
      {"IfString", kIfString},    {"Goto x", kGoto},
      {"ErrorExi", kNoKeyword},   // the text ends before the keyword
      {"\x82\xa0", kNoKeyword},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyLine(c.text), c.id) << c.text;
  EXPECT_EQ(OperatorToken("=>"), kOpEqual);
  EXPECT_EQ(OperatorToken("Goto"), 0);
  EXPECT_EQ(OperatorToken(">x"), kOpGreater);
}

class NextTokenTest : public ::testing::Test {
 protected:
  NextTokenTest() { f.app->script_path = "D:\\Dist\\Setup.Inf"; f.app->line_number = 7; }
  AppFixture f;
};

TEST_F(NextTokenTest, QuotedTokenWithABlank) {
  char line[] = "\"a b\"  second";
  char* cursor = line;
  char* rest = NextToken(*f.app, &cursor, TokenForm::kReporting);
  EXPECT_STREQ(cursor, "a b");
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(rest, "second");
  EXPECT_TRUE(f.messages().empty());
}

TEST_F(NextTokenTest, UnquotedWordFollowedByABlankEndsTheLine) {
  char line[] = "word \t";
  char* cursor = line;
  char* rest = NextToken(*f.app, &cursor, TokenForm::kReporting);
  EXPECT_STREQ(cursor, "word");
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(rest, "");
}

TEST_F(NextTokenTest, UnquotedWordAtTheEndFails) {
  char line[] = "word";
  char* cursor = line;
  EXPECT_EQ(NextToken(*f.app, &cursor, TokenForm::kSilent), nullptr);
  EXPECT_TRUE(f.messages().empty());
  EXPECT_EQ(NextToken(*f.app, &cursor, TokenForm::kReporting), nullptr);
  EXPECT_STREQ(cursor, "word");
  ASSERT_EQ(f.messages().size(), 1u);
  EXPECT_EQ(f.messages()[0], "D:\\Dist\\Setup.Infの7行目にTABが有りません");
}

TEST_F(NextTokenTest, QuotedWordAtTheEndSucceeds) {
  char line[] = "\"word\"";
  char* cursor = line;
  char* rest = NextToken(*f.app, &cursor, TokenForm::kReporting);
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(cursor, "word");
  EXPECT_STREQ(rest, "");
}

TEST_F(NextTokenTest, UnclosedQuoteFailsAfterTheOpeningQuote) {
  char line[] = "\"never closed";
  char* cursor = line;
  EXPECT_EQ(NextToken(*f.app, &cursor, TokenForm::kReporting), nullptr);
  EXPECT_STREQ(cursor, "never closed");
  ASSERT_EQ(f.messages().size(), 1u);
  EXPECT_EQ(f.messages()[0], "D:\\Dist\\Setup.Infの7行目に\"が有りません");
}

TEST_F(NextTokenTest, DoubleByteCharacterHidesAQuoteLikeTrailByte) {
  // 0x81 0x22 is one double-byte character; the quote after it closes the token.
  char line[] = "\"\x81\x22x\" rest";
  char* cursor = line;
  char* rest = NextToken(*f.app, &cursor, TokenForm::kReporting);
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(cursor, "\x81\x22x");
  EXPECT_STREQ(rest, "rest");
  char dangling[] = "\"ab\x81";
  cursor = dangling;
  EXPECT_EQ(NextToken(*f.app, &cursor, TokenForm::kSilent), nullptr);
}

TEST_F(NextTokenTest, EmptyTokens) {
  char quotes[] = "\"\" x";
  char* cursor = quotes;
  char* rest = NextToken(*f.app, &cursor, TokenForm::kReporting);
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(cursor, "");
  EXPECT_STREQ(rest, "x");
  char blank[] = " x";
  cursor = blank;
  rest = NextToken(*f.app, &cursor, TokenForm::kReporting);
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(cursor, "");
  EXPECT_STREQ(rest, "x");
  char empty[] = "";
  cursor = empty;
  EXPECT_EQ(NextToken(*f.app, &cursor, TokenForm::kSilent), nullptr);
  char inner[] = "a\"b c";
  cursor = inner;
  ASSERT_NE(NextToken(*f.app, &cursor, TokenForm::kReporting), nullptr);
  EXPECT_STREQ(cursor, "a\"b");
}

}  // namespace
}  // namespace setup
