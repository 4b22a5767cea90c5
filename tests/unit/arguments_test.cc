// How each command's arguments are cut off its line: tokens, loose tokens, the comparison
// word, the rest of the line, the ignored text after the last argument, and failed cuts.
#include <gtest/gtest.h>

#include <string>

#include "script/arguments.h"
#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

// "[token]..." then " op" " rest<...>" " ignored after NAME<...>"; or "FAULT: NAME".
std::string Describe(const Arguments& a) {
  static const char* const kFaults[] = {"", "missing", "no blank", "no quote"};
  static const char* const kOps[] = {"", "=", "<=", "<", ">=", ">"};
  if (a.fault != ArgumentFault::kNone) {
    return std::string(kFaults[static_cast<int>(a.fault)]) + ": " + a.fault_argument;
  }
  std::string text;
  for (int i = 0; i < a.count; ++i) text += "[" + std::string(a.token[i]) + "]";
  if (a.op != CompareOp::kNone) text += std::string(" ") + kOps[static_cast<int>(a.op)];
  if (a.rest) text += " rest<" + std::string(a.rest) + ">";
  if (a.ignored) text += " ignored after " + std::string(a.ignored_after) + "<" + a.ignored + ">";
  return text;
}

TEST(ArgumentsTest, Cuts) {
  const struct {
    KeywordId id;
    std::string args, expected;
  } cases[] = {
      {kDefine, "NAME the value  ", "[NAME] rest<the value  >"},
      {kDefine, "NAME", "no blank: name"},
      {kBinCopy, "\"a b\" c", "[a b][c]"},
      {kBinCopy, "a b c ", "[a][b] ignored after destination<c >"},
      {kBinCopy, "a ", "[a][]"},
      {kBinCopy, "a", "no blank: source"},
      {kTextCopy, "a \"C:\\x y\" ", "[a] rest<\"C:\\x y\" >"},
      {kJapanCopy, "\"a", "no quote: source"},
      {kMakeDir, "\"C:\\a b", "[C:\\a b]"},
      {kMakeDir, "", "[]"},
      {kMakeDir, "C:\\Program Files\\App",
       "[C:\\Program] ignored after directory name<Files\\App>"},
      {kDiskCheck, "TAG Insert disk 2", "[TAG] rest<Insert disk 2>"},
      {kMessageBox, "\"two words", "[two words]"},
      {kMessage, "\"quoted\" text", " rest<\"quoted\" text>"},
      {kRegsvr, "\"C:\\a b.dll\"", "[C:\\a b.dll]"},
      {kRegsvr, "a.dll   ", "[a.dll]"},
      {kRegsvr, "", "missing: path"},
      {kGoto, ":end later", "[end] ignored after label<later>"},
      {kLabelLine, ": x", "[]"},
      {kIfString, "a <= b N Message x", "[a][b][N] <= rest<Message x>"},
      {kIfString, "a \"<=\" N ", "[a][<=][N] rest<>"},
      {kIfString, "X =Y N Message hi", "[X][N][Message] = rest<hi>"},
      {kIfString, "a =", "no blank: comparison word"},
      {kIfFileDate, "a > ", "missing: second file"},
      {kIfFileVersion, "f 1.0 e", "no blank: SenseToken"},
      {kIfFileFind, "f \"N\"", "[f][N] rest<>"},
      {kIfRegistryFind, "\"HKEY_CURRENT_USER\\a b\" E Goto x",
       "[HKEY_CURRENT_USER\\a b][E] rest<Goto x>"},
      {kDefineRegistry, "N HKEY_CURRENT_USER\\v", "no blank: registry path"},
  };
  for (const auto& c : cases) {
    AppFixture f;
    std::string line = c.args;
    Arguments a;
    bool ok = CutArguments(f.app->context.script, c.id, line.data(), &a);
    EXPECT_EQ(Describe(a), c.expected) << c.args;
    EXPECT_EQ(ok, a.fault == ArgumentFault::kNone) << c.args;
    EXPECT_EQ(f.messages().size(), ok ? 0u : 1u) << c.args;  // NextToken's own message
  }
}

}  // namespace
}  // namespace setup
