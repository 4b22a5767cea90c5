#include "script/keyword_table.h"

#include <gtest/gtest.h>

namespace setup {
namespace {

TEST(KeywordTableTest, ClassifyLine) {
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
  EXPECT_EQ(OperatorToken("=>"), CompareOp::kEqual);
  EXPECT_EQ(OperatorToken("Goto"), CompareOp::kNone);
  EXPECT_EQ(OperatorToken(">x"), CompareOp::kGreater);
}

}  // namespace
}  // namespace setup
