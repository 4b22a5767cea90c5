// How each command's arguments are cut off its line: tokens, loose tokens, the
// comparison word, the rest of the line, and why a cut fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/arguments.h"
#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

struct CutCase {
  KeywordId id;
  std::string args;
  bool ok;
  std::vector<std::string> tokens;
  CompareOp op;
  const char* rest;  // null: the command takes no rest
  ArgumentFault fault;
  const char* fault_argument;
};

TEST(ArgumentsTest, Cuts) {
  using F = ArgumentFault;
  const CutCase cases[] = {
      {kDefine, "NAME the value  ", true, {"NAME"}, CompareOp::kNone, "the value  ", F::kNone, nullptr},
      {kDefine, "NAME", false, {}, CompareOp::kNone, nullptr, F::kNoBlank, "name"},
      {kBinCopy, "\"a b\" c d", true, {"a b", "c"}, CompareOp::kNone, nullptr, F::kNone, nullptr},
      {kBinCopy, "a ", true, {"a", ""}, CompareOp::kNone, nullptr, F::kNone, nullptr},
      {kBinCopy, "a", false, {}, CompareOp::kNone, nullptr, F::kNoBlank, "source"},
      {kTextCopy, "a \"C:\\x y\" ", true, {"a"}, CompareOp::kNone, "\"C:\\x y\" ", F::kNone, nullptr},
      {kJapanCopy, "\"a", false, {}, CompareOp::kNone, nullptr, F::kNoClosingQuote, "source"},
      {kMakeDir, "\"C:\\a b", true, {"C:\\a b"}, CompareOp::kNone, nullptr, F::kNone, nullptr},
      {kMakeDir, "", true, {""}, CompareOp::kNone, nullptr, F::kNone, nullptr},
      {kDiskCheck, "TAG Insert disk 2", true, {"TAG"}, CompareOp::kNone, "Insert disk 2", F::kNone, nullptr},
      {kMessageBox, "first second", true, {"first"}, CompareOp::kNone, nullptr, F::kNone, nullptr},
      {kMessage, "\"quoted\" text", true, {}, CompareOp::kNone, "\"quoted\" text", F::kNone, nullptr},
      {kRegsvr, "\"C:\\a b.dll\"", true, {"C:\\a b.dll"}, CompareOp::kNone, nullptr, F::kNone, nullptr},
      {kRegsvr, "", false, {}, CompareOp::kNone, nullptr, F::kMissing, "path"},
      {kGoto, ":done", true, {"done"}, CompareOp::kNone, nullptr, F::kNone, nullptr},
      {kGoto, "\"a b\" rest", true, {"a b"}, CompareOp::kNone, nullptr, F::kNone, nullptr},
      {kLabelLine, ": x", true, {""}, CompareOp::kNone, nullptr, F::kNone, nullptr},
      {kIfString, "a <= b N Message x", true, {"a", "b", "N"}, CompareOp::kLessEqual, "Message x", F::kNone, nullptr},
      {kIfString, "a \"<=\" N ", true, {"a", "<=", "N"}, CompareOp::kNone, "", F::kNone, nullptr},
      {kIfString, "X =Y N Message hi", true, {"X", "N", "Message"}, CompareOp::kEqual, "hi", F::kNone, nullptr},
      {kIfString, "a =", false, {}, CompareOp::kNone, nullptr, F::kNoBlank, "comparison word"},
      {kIfFileDate, "a > ", false, {}, CompareOp::kNone, nullptr, F::kMissing, "second file"},
      {kIfFileVersion, "f 1.0 e", false, {}, CompareOp::kNone, nullptr, F::kNoBlank, "SenseToken"},
      {kIfFileFind, "f \"N\"", true, {"f", "N"}, CompareOp::kNone, "", F::kNone, nullptr},
      {kIfRegistryFind, "\"HKEY_CURRENT_USER\\a b\" E Goto x", true, {"HKEY_CURRENT_USER\\a b", "E"}, CompareOp::kNone,
       "Goto x", F::kNone, nullptr},
      {kDefineRegistry, "N HKEY_CURRENT_USER\\v", false, {}, CompareOp::kNone, nullptr, F::kNoBlank, "registry path"},
  };
  for (const CutCase& c : cases) {
    AppFixture f;
    std::string line = c.args;
    Arguments a;
    EXPECT_EQ(CutArguments(f.app->script, c.id, line.data(), &a), c.ok) << c.args;
    EXPECT_EQ(a.fault, c.fault) << c.args;
    if (c.fault_argument) {
      EXPECT_STREQ(a.fault_argument, c.fault_argument) << c.args;
      EXPECT_EQ(f.messages().size(), 1u) << c.args;  // NextToken's own message
      continue;
    }
    std::vector<std::string> tokens(a.token, a.token + a.count);
    EXPECT_EQ(tokens, c.tokens) << c.args;
    EXPECT_EQ(a.op, c.op) << c.args;
    if (c.rest) {
      ASSERT_NE(a.rest, nullptr) << c.args;
      EXPECT_STREQ(a.rest, c.rest) << c.args;
    } else {
      EXPECT_EQ(a.rest, nullptr) << c.args;
    }
    EXPECT_TRUE(f.messages().empty()) << c.args;
  }
}

TEST(ArgumentsTest, TextNoCommandReads) {
  const struct {
    KeywordId id;
    std::string args;
    const char* ignored;  // null: none
    const char* after;
  } cases[] = {
      {kMakeDir, "C:\\Program Files\\App", "Files\\App", "directory name"},
      {kMakeDir, "\"C:\\Program Files\\App\"", nullptr, nullptr},
      {kMakeDir, "C:\\App", nullptr, nullptr},
      {kBinCopy, "a b c ", "c ", "destination"},
      {kRegsvr, "a.dll   ", nullptr, nullptr},
      {kGoto, ":end later", "later", "label"},
      {kMessageBox, "\"two words", nullptr, nullptr},
      {kTextCopy, "a C:\\x y", nullptr, nullptr},  // the destination is the rest
  };
  for (const auto& c : cases) {
    AppFixture f;
    std::string line = c.args;
    Arguments a;
    CutArguments(f.app->script, c.id, line.data(), &a);
    if (c.ignored == nullptr) {
      EXPECT_EQ(a.ignored, nullptr) << c.args;
    } else {
      ASSERT_NE(a.ignored, nullptr) << c.args;
      EXPECT_STREQ(a.ignored, c.ignored) << c.args;
      EXPECT_STREQ(a.ignored_after, c.after) << c.args;
    }
  }
}

}  // namespace
}  // namespace setup
