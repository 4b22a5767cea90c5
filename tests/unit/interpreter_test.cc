// The run: flow control, chaining, skip mode, progress positions and the messages of
// the interpreter, over the fakes.
#include <gtest/gtest.h>

#include <string>

#include "script/lexer.h"
#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

constexpr const char* kPath = "D:\\Dist\\Setup.Inf";

std::string At(int line, const std::string& rest) {
  return std::string(kPath) + "の" + std::to_string(line) + "行目" + rest;
}

struct RunCase {
  const char* name;
  std::string script;
  int status;
  std::vector<std::string> messages;  // message boxes, in order
  bool finish;                        // FinishDialog shown
};

// Runs each script and checks its status, its messages and whether it ended with
// FinishDialog.
template <std::size_t N>
void ExpectRuns(const RunCase (&cases)[N]) {
  for (const RunCase& c : cases) {
    AppFixture f;
    EXPECT_EQ(f.Start(c.script), c.status) << c.name;
    EXPECT_EQ(f.messages(), c.messages) << c.name;
    bool finish = !f.ui.events.empty() && f.ui.events.back().rfind("FinishDialog", 0) == 0;
    EXPECT_EQ(finish, c.finish) << c.name;
  }
}

TEST(InterpreterTest, Scripts) {
  const RunCase cases[] = {
      {"empty", "", kExitFinished, {}, true},
      {"blanks and comments", "   \n\t\n' Message no\n:label\n", kExitFinished, {}, true},
      {"message", "Message \"Hi there\"  ", kExitFinished, {"\"Hi there\"  "}, true},
      {"unknown word",
       "Frobnicate the disk",
       kExitRunFailed,
       {"Setup script Error (the disk)"},
       false},
      {"registry at start",
       "Registry HKEY_X\\y",
       kExitRunFailed,
       {"Setup script Error (HKEY_X\\y)"},
       false},
      {"comparison at start", "= 1 2", kExitRunFailed, {"Setup script Error (= 1 2)"}, false},
      {"digits", "123 go", kExitRunFailed, {"Setup script Error (123 go)"}, false},
      {"keyword prefix", "MESSAGEBOXES \"x\"\nMessages hello", kExitFinished, {"hello"}, true},
      {"goto bare and colon",
       "Goto end\nMessage skipped\n:end\nGoto :two\nMessage no\n:two\nMessage yes",
       kExitFinished,
       {"yes"},
       true},
      {"goto quoted",
       "Goto \"a b\"\nMessage no\n:\"a b\"\nMessage yes",
       kExitFinished,
       {"yes"},
       true},
      {"label case differs",
       "Goto End\n:end\nMessage no",
       kExitRunFailed,
       {"Setup script Error. Nothing (End) label"},
       true},
      {"goto backwards",
       ":top\nMessage once\nGoto top\nMessage no\n:other",
       kExitRunFailed,
       {"once", "Setup script Error. Nothing (top) label"},
       true},
      {"skipped goto and label",
       "Goto b\n:a\nGoto a\nBogus line\n:b\nMessage done",
       kExitFinished,
       {"done"},
       true},
      {"goto without label", "Goto   ", kExitRunFailed, {"GOTO にラベルが有りません"}, false},
      {"goto colon only", "Goto :", kExitRunFailed, {"GOTO にラベルが有りません"}, false},
      {"empty label while skipping",
       "Goto x\n: \n:x",
       kExitRunFailed,
       {At(2, "に:があるのにラベルが有りません")},
       false},
      {"empty label while running", ":\nMessage ok", kExitFinished, {"ok"}, true},
      {"first failure ends the run",
       "ErrorExit Stop here\nMessage never",
       kExitRunFailed,
       {"Stop here"},
       false},
      {"setup dir and title at run time", "SetupDir x \nWindowTitle t \n", kExitFinished, {}, true},
      {"label too long",
       "Goto " + std::string(64, 'L'),
       kExitRunFailed,
       {At(1, "が長すぎます")},
       false},
  };
  ExpectRuns(cases);
}

// A run that showed a message about its script and still reached its end shows what it
// always showed, FinishDialog included, but does not answer "finished"; a condition that
// does not hold, or a file a condition does not find, is no script error.
TEST(InterpreterTest, ScriptErrorsTheRunSurvivesAreNotAFinish) {
  const RunCase cases[] = {
      {"missing label",
       "Goto Copy\n:copy\nMessage never",
       kExitRunFailed,
       {"Setup script Error. Nothing (Copy) label"},
       true},
      {"missing label after work",
       "Message first\nGoto Nowhere",
       kExitRunFailed,
       {"first", "Setup script Error. Nothing (Nowhere) label"},
       true},
      {"title without its closing quote",
       "WindowTitle \"Demo\nMessage after",
       kExitRunFailed,
       {At(1, "に\"が有りません"), "after"},
       true},
      {"setupdir without its blank",
       "Message ok\nSetupDir C:\\End",
       kExitRunFailed,
       {At(2, "にTABが有りません"), "ok"},
       true},
      {"registry setupdir without its fallback's blank",
       "SetupDir Registry \"HKEY_LOCAL_MACHINE\\Nope\\Dir\" C:\\Fallback",
       kExitRunFailed,
       {At(1, "にTABが有りません")},
       true},
      {"condition that does not hold",
       "IfString a = b N Goto Nowhere\nMessage ok",
       kExitFinished,
       {"ok"},
       true},
      {"file a condition does not find",
       "IfFileFind C:\\none.dll N Message no\n",
       kExitFinished,
       {},
       true},
      {"label found", "Goto Copy\nMessage no\n:Copy\nMessage yes", kExitFinished, {"yes"}, true},
  };
  ExpectRuns(cases);
}

TEST(InterpreterTest, ChainingRunsTheRestOfAConditionLine) {
  const RunCase cases[] = {
      {"holds", "IfString a = a N Message yes", kExitFinished, {"yes"}, true},
      {"does not hold", "IfString a = b N Message no", kExitFinished, {}, true},
      {"chain of conditions",
       "IfString a = a N IfString b = b N Message both",
       kExitFinished,
       {"both"},
       true},
      {"chained goto",
       "IfString a = a N Goto x\nMessage no\n:x\nIfString a = b N Goto y\nMessage yes\n:y",
       kExitFinished,
       {"yes"},
       true},
      {"chained unknown word",
       "IfString a = a N  bogus words",
       kExitRunFailed,
       {"Setup script Error (words)"},
       false},
      {"empty rest", "IfString a = a N ", kExitFinished, {}, true},
  };
  for (const RunCase& c : cases) {
    AppFixture f;
    EXPECT_EQ(f.Start(c.script), c.status) << c.name;
    EXPECT_EQ(f.messages(), c.messages) << c.name;
  }
}

TEST(InterpreterTest, ProgressFollowsTheLineNumbers) {
  AppFixture f;
  EXPECT_EQ(f.Start("Goto x\n' one\n:x\nMessage m\n"), kExitFinished);
  std::vector<std::string> expected = {"SetupDialog Setup|C:\\",
                                       "Range 4",
                                       "Pos 0",
                                       "Pos 1",
                                       "Pos 2",
                                       "Pos 3",
                                       "Pos 4",
                                       "MessageBox 262208|m",
                                       "Pos 4",
                                       "FinishDialog Setup"};
  EXPECT_EQ(f.ui.events, expected);
}

TEST(InterpreterTest, EmptyScriptLeavesThePositionAtZero) {
  AppFixture f;
  EXPECT_EQ(f.Start(""), kExitFinished);
  EXPECT_EQ(f.ui.positions, (std::vector<int>{0, 0}));
}

TEST(InterpreterTest, ProgressRangeIsSixteenBits) {
  AppFixture f;
  // 65,536 empty lines fill the store exactly; the range takes the count's low 16 bits.
  f.system.AddFile(AppFixture::kScriptPath, std::string(65536, '\n'));
  EXPECT_EQ(StartSetup(*f.app, AppFixture::kProgram), kExitFinished);
  EXPECT_EQ(f.ui.events[1], "Range 0");
  EXPECT_EQ(f.ui.positions.back(), 65536);
}

TEST(InterpreterTest, SetupDirMacroIsTheTypedText) {
  AppFixture f;
  f.ui.type_destination = true;
  f.ui.typed_destination = "E:\\Target\\";
  EXPECT_EQ(f.Start("Message [$$SETUPDIR$$]"), kExitFinished);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"[E:\\Target\\]"});
  EXPECT_STREQ(f.app->context.macros.row(3).name, "$$SETUPDIR$$");
}

TEST(InterpreterTest, LinesTooLongForTheInterpreter) {
  for (const std::string& script : {std::string("Message ") + std::string(600, 'x'),
                                    "#define X " + std::string(200, 'y') + "\nMessage XXX"}) {
    AppFixture f;
    EXPECT_EQ(f.Start(script), kExitRunFailed);
    ASSERT_FALSE(f.messages().empty());
    EXPECT_EQ(f.messages().back(), At(script[0] == 'M' ? 1 : 2, "が長すぎます"));
  }
  AppFixture f;  // 511 bytes still fit; the message shows the first 255
  EXPECT_EQ(f.Start("Message " + std::string(503, 'z')), kExitFinished);
  EXPECT_EQ(f.messages(), std::vector<std::string>{std::string(255, 'z')});
}

TEST(InterpreterTest, LanguageModeReachesTheHandlers) {
  // EnglishCopy is passed over in the Japanese mode even without its arguments.
  AppFixture f;
  EXPECT_EQ(f.Start("EnglishCopy\nMessage after"), kExitFinished);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"after"});
}

}  // namespace
}  // namespace setup
