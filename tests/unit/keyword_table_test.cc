#include "script/keyword_table.h"

#include <gtest/gtest.h>

#include <string>

namespace setup {
namespace {

TEST(KeywordTableTest, ClassifyLine) {
  struct Case {
    const char* text;
    int id;
  } cases[] = {
      {"", kEmptyLine},
      {"\n", kEmptyLine},
      {"'comment", kCommentLine},
      {":label", kLabelLine},
      {"#define_registry X", kDefineRegistry},
      {"#define X", kDefine},
      {"#DEFINE X", kDefine},
      {"setupdir x", kSetupDir},
      {"SetupDirectory", kSetupDir},
      {"MessageBoxes", kMessageBox},
      {"Messages", kMessage},
      {"MESSAGEBOX hi", kMessageBox},
      {" TextCopy", kNoKeyword},  // leading blanks are the caller's
      {"=", kOpEqual},
      {"<=", kOpLessEqual},
      {"<", kOpLess},
      {">=", kOpGreaterEqual},
      {">", kOpGreater},
      {"=>", kOpEqual},
      {"<>", kOpLess},
      {"registryfiles", kRegistry},
      {"Regsvr a", kRegsvr},
      {"IfRegistryFind", kIfRegistryFind},
      {"IfString", kIfString},
      {"Goto x", kGoto},
      {"ErrorExi", kNoKeyword},  // the text ends before the keyword
      {"\x82\xa0", kNoKeyword},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyLine(c.text), c.id) << c.text;
  EXPECT_EQ(OperatorToken("=>"), CompareOp::kEqual);
  EXPECT_EQ(OperatorToken("Goto"), CompareOp::kNone);
  EXPECT_EQ(OperatorToken(">x"), CompareOp::kGreater);
}

// Every command's word finds its own row: no keyword hides behind a shorter one.
TEST(KeywordTableTest, EveryWordFindsItsRow) {
  for (int id = 0; id < kKeywordCount; ++id) {
    const KeywordRow& row = RowOf(static_cast<KeywordId>(id));
    ASSERT_EQ(row.id, id);
    if (row.keyword == nullptr) continue;  // the line kinds found by their first byte
    EXPECT_EQ(ClassifyLine(row.keyword), id) << row.keyword;
    std::string word = CommandWord(row.id);
    EXPECT_EQ(word.empty(), (row.flags & kNotACommand) != 0) << row.keyword;
  }
  EXPECT_STREQ(CommandWord(kDefineRegistry), "#define_registry");
  EXPECT_STREQ(CommandWord(kRegistry), "");
  EXPECT_STREQ(CommandWord(kOpLess), "");
  EXPECT_STREQ(CommandWord(kLabelLine), "");
  EXPECT_EQ(ClassifyRow("Nothing").id, kNoKeyword);
}

// The run steps over '_' in a command word; the pre-scan's argument begins at one.
TEST(KeywordTableTest, StepOverKeyword) {
  const struct {
    const char* line;
    const char* argument;
  } cases[] = {
      {"#define_registry N", "N"},    {"#define  N v", "N v"}, {"Message_x y", "y"},
      {"MessageBox\t\"a\"", "\"a\""}, {"SetupDir_x", "_x"},    {"setupdirs  C:\\x", "C:\\x"},
      {"WindowTitle_ T", "_ T"},      {"= x", "= x"},          {"Goto:end", ":end"},
  };
  for (const auto& c : cases) {
    std::string line = c.line;
    const KeywordRow& row = ClassifyRow(line.data());
    EXPECT_STREQ(StepOverKeyword(line.data(), row), c.argument) << c.line;
  }
}

}  // namespace
}  // namespace setup
