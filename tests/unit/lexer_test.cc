#include "script/lexer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/fakes.h"

namespace setup {
namespace {

// The lexer needs only a ScriptContext: no run state, no script.
class NextTokenTest : public ::testing::Test {
 protected:
  const std::vector<std::string>& messages() const { return ui_.messages; }

  FakeSystem system_;
  FakeUi ui_;
  Reporter reporter_{system_.encoding, ui_};
  std::string script_path_ = "D:\\Dist\\Setup.Inf";
  int line_number_ = 7;
  ScriptContext script_{system_.encoding, reporter_, script_path_, line_number_};
};

TEST_F(NextTokenTest, QuotedTokenWithABlank) {
  char line[] = "\"a b\"  second";
  char* cursor = line;
  char* rest = NextToken(script_, &cursor, TokenForm::kReporting);
  EXPECT_STREQ(cursor, "a b");
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(rest, "second");
  EXPECT_TRUE(messages().empty());
}

TEST_F(NextTokenTest, UnquotedWordFollowedByABlankEndsTheLine) {
  char line[] = "word \t";
  char* cursor = line;
  char* rest = NextToken(script_, &cursor, TokenForm::kReporting);
  EXPECT_STREQ(cursor, "word");
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(rest, "");
}

TEST_F(NextTokenTest, UnquotedWordAtTheEndFails) {
  char line[] = "word";
  char* cursor = line;
  EXPECT_EQ(NextToken(script_, &cursor, TokenForm::kSilent), nullptr);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(NextToken(script_, &cursor, TokenForm::kReporting), nullptr);
  EXPECT_STREQ(cursor, "word");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "D:\\Dist\\Setup.Infの7行目にTABが有りません");
}

TEST_F(NextTokenTest, QuotedWordAtTheEndSucceeds) {
  char line[] = "\"word\"";
  char* cursor = line;
  char* rest = NextToken(script_, &cursor, TokenForm::kReporting);
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(cursor, "word");
  EXPECT_STREQ(rest, "");
}

TEST_F(NextTokenTest, UnclosedQuoteFailsAfterTheOpeningQuote) {
  char line[] = "\"never closed";
  char* cursor = line;
  EXPECT_EQ(NextToken(script_, &cursor, TokenForm::kReporting), nullptr);
  EXPECT_STREQ(cursor, "never closed");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], "D:\\Dist\\Setup.Infの7行目に\"が有りません");
}

TEST_F(NextTokenTest, DoubleByteCharacterHidesAQuoteLikeTrailByte) {
  // 0x81 0x22 is one double-byte character; the quote after it closes the token.
  char line[] = "\"\x81\x22x\" rest";
  char* cursor = line;
  char* rest = NextToken(script_, &cursor, TokenForm::kReporting);
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(cursor, "\x81\x22x");
  EXPECT_STREQ(rest, "rest");
  char dangling[] = "\"ab\x81";
  cursor = dangling;
  EXPECT_EQ(NextToken(script_, &cursor, TokenForm::kSilent), nullptr);
}

TEST_F(NextTokenTest, EmptyTokens) {
  char quotes[] = "\"\" x";
  char* cursor = quotes;
  char* rest = NextToken(script_, &cursor, TokenForm::kReporting);
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(cursor, "");
  EXPECT_STREQ(rest, "x");
  char blank[] = " x";
  cursor = blank;
  rest = NextToken(script_, &cursor, TokenForm::kReporting);
  ASSERT_NE(rest, nullptr);
  EXPECT_STREQ(cursor, "");
  EXPECT_STREQ(rest, "x");
  char empty[] = "";
  cursor = empty;
  EXPECT_EQ(NextToken(script_, &cursor, TokenForm::kSilent), nullptr);
  char inner[] = "a\"b c";
  cursor = inner;
  ASSERT_NE(NextToken(script_, &cursor, TokenForm::kReporting), nullptr);
  EXPECT_STREQ(cursor, "a\"b");
}

}  // namespace
}  // namespace setup
