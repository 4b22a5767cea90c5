#include "script/conditions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "script/command_context.h"
#include "script/conditions.h"
#include "script/keyword_table.h"
#include "script/lexer.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

const std::string kUs(std::string("\x09\x04\xB0\x04", 4));

class ConditionsTest : public ::testing::Test {
 protected:
  ConditionsTest() : app_(sys_, ui_, sys_.encoding) {
    app_.loaded.path = "C:\\prog\\Setup.Inf";
    app_.context.line_number = 12;
    AddVersioned("C:\\v\\ver_503.dll", "5.0.3.1", "7.2.0.0");
    AddVersioned("C:\\v\\ver_520.dll", "5.2.0.0", "5.2.0.0");
    AddVersioned("C:\\v\\ver_5200c.dll", "5, 2, 0, 0", "5, 2, 0, 0");
    AddVersioned("C:\\v\\ver_6000c.dll", "6, 0, 0, 0", "6, 0, 0, 0");
    AddVersioned("C:\\v\\ver_110.dll", "1.10", "1.10");
    AddVersioned("C:\\v\\ver_10.dll", "1.0", "1.0");
    sys_.AddFile("C:\\v\\plain.dll", "MZ", 100);
  }

  void AddVersioned(const std::string& path, const std::string& file_version,
                    const std::string& product_version) {
    sys_.AddFile(path, "MZ", 100);
    sys_.SetVersionValues(path, {{"\\VarFileInfo\\Translation", kUs},
                                 {"\\StringFileInfo\\040904B0\\FileVersion", file_version},
                                 {"\\StringFileInfo\\040904B0\\ProductVersion", product_version}});
  }

  // Runs `handler` on `args` (as RunScript hands it over) and describes the outcome:
  // "failed", "done", or "holds:" and the rest of the line.
  std::string Run(CommandHandler handler, const std::string& args) {
    line_.assign(args.begin(), args.end());
    line_.push_back('\0');
    CommandResult r = handler(app_.context, line_.data());
    EXPECT_EQ(sys_.open_keys, 0) << args;
    switch (r.status) {
      case CommandResult::kFailed: return "failed";
      case CommandResult::kDone: return "done";
      case CommandResult::kHolds:
        EXPECT_GE(r.rest, line_.data());
        EXPECT_LT(r.rest, line_.data() + line_.size());
        return "holds:" + std::string(r.rest);
    }
    return "?";
  }

  struct Case {
    const char* args;
    const char* want;
  };
  void RunCases(CommandHandler handler, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      EXPECT_EQ(Run(handler, c.args), c.want) << c.args;
    }
    EXPECT_TRUE(ui_.messages.empty());
  }

  const std::string kTab = "C:\\prog\\Setup.Infの12行目にTABが有りません";
  const std::string kQuote = "C:\\prog\\Setup.Infの12行目に\"が有りません";
  FakeSystem sys_;
  FakeUi ui_;
  SetupRun app_;
  std::vector<char> line_;
};

TEST(VersionSortKeyTest, ReadsLikeScanfHexFormat) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"5.0.3.1", "00000005000000000000000300000001"},
      {"5.2.0.0", "00000005000000020000000000000000"},
      {"5, 2, 0, 0", "00000005000000000000000000000000"},  // stops at the comma
      {"1.10", "00000001000000100000000000000000"},        // hex, but order kept
      {"1.9", "00000001000000090000000000000000"},
      {"1.0", "00000001000000000000000000000000"},
      {"a.B.c.D", "0000000A0000000B0000000C0000000D"},
      {"0x1F.0X2", "0000001F000000020000000000000000"},
      {"  7. \t8", "00000007000000080000000000000000"},  // %X skips white space
      {"7 .8", "00000007000000000000000000000000"},      // the dot must follow at once
      {"+3.-1", "00000003FFFFFFFF0000000000000000"},
      {"123456789.1", "23456789000000010000000000000000"},  // low 32 bits kept
      {"FFFFFFFF.0", "FFFFFFFF000000000000000000000000"},
      {"1.2.3.4.5", "00000001000000020000000300000004"},
      {"1..2", "00000001000000000000000000000000"},
      {"0x.5", "00000000000000000000000000000000"},
      {"v1.2", "00000000000000000000000000000000"},
      {"", "00000000000000000000000000000000"},
      {"-", "00000000000000000000000000000000"},
      {"12g4.5", "00000012000000000000000000000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(VersionSortKey(c.text), c.want) << c.text;
}

TEST(TestStringTest, ComparesUnsignedBytes) {
  struct Case {
    const char* left;
    CompareOp op;
    const char* right;
    bool want;
  } cases[] = {
      {"A", CompareOp::kLessEqual, "B", true},
      {"B", CompareOp::kLessEqual, "A", false},
      {"a", CompareOp::kGreater, "B", true},
      {"ABC", CompareOp::kGreater, "AB", true},
      {"AB", CompareOp::kLess, "ABC", true},
      {"abc", CompareOp::kEqual, "abc", true},
      {"abc", CompareOp::kEqual, "ABC", false},
      {"x", CompareOp::kGreaterEqual, "x", true},
      {"\x81\x40", CompareOp::kGreater, "z", true},  // bytes from 0x80 up are large
      {"", CompareOp::kLess, "a", true},
      {"same", CompareOp::kNone, "same", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TestString(c.left, c.right, c.op, "N"), c.want)
        << c.left << " " << static_cast<int>(c.op);
    EXPECT_EQ(TestString(c.left, c.right, c.op, "E"), !c.want)
        << c.left << " " << static_cast<int>(c.op);
  }
}

TEST(TestStringTest, OnlyEAtTheStartOfTheSenseInverts) {
  for (const char* s : {"E", "e", "Else", "exist"})
    EXPECT_TRUE(TestString("a", "b", CompareOp::kNone, s)) << s;
  for (const char* s : {"N", "Y", "T", "1", "", "NE", " E"}) {
    EXPECT_FALSE(TestString("a", "b", CompareOp::kNone, s)) << s;
  }
}

TEST_F(ConditionsTest, IfFileFindRunsTheRestByExistence) {
  sys_.AddFile("C:\\a.txt", "x");
  RunCases(DoIfFileFind, {
                             {"C:\\a.txt N Message found", "holds:Message found"},
                             {"C:\\a.txt E Message found", "done"},
                             {"C:\\b.txt N Message found", "done"},
                             {"C:\\b.txt e Message missing", "holds:Message missing"},
                             {"C:\\b.txt Else\t \tMessage missing", "holds:Message missing"},
                             {"\"C:\\a.txt\" \"\" Message x", "holds:Message x"},
                             {"C:\\a.txt N ", "holds:"},
                         });
}

TEST_F(ConditionsTest, UnquotedSenseEndingTheLineFailsWithTheTabMessage) {
  sys_.AddFile("C:\\a.txt", "x");
  EXPECT_EQ(Run(DoIfFileFind, "C:\\a.txt N"), "failed");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  ui_.messages.clear();
  EXPECT_EQ(Run(DoIfFileFind, "C:\\a.txt"), "failed");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  ui_.messages.clear();
  EXPECT_EQ(Run(DoIfFileFind, "\"C:\\a.txt N Message x"), "failed");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kQuote}));
  ui_.messages.clear();
  EXPECT_EQ(Run(DoIfString, "a < b"), "failed");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  ui_.messages.clear();
  EXPECT_EQ(Run(DoIfString, "a <"), "failed");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  ui_.messages.clear();
  EXPECT_EQ(Run(DoDefineRegistry, "$$X$$ HKEY_CURRENT_USER\\V"), "failed");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{kTab}));
  EXPECT_EQ(app_.context.macros.count(), 0);  // nothing is defined when the line is bad
}

TEST_F(ConditionsTest, IfStringComparesBytesAndKnowsItsOperator) {
  RunCases(DoIfString, {
                           {"A <= B N Message yes", "holds:Message yes"},
                           {"a <= B N Message yes", "done"},
                           {"ABC > AB N Message yes", "holds:Message yes"},
                           {"abc = abc N Message yes", "holds:Message yes"},
                           {"abc = ABC N Message yes", "done"},
                           {"abc = ABC E Message yes", "holds:Message yes"},
                           // Without an operator the test never holds.
                           {"same same N Message yes", "done"},
                           {"same same E Message yes", "holds:Message yes"},
                           // A word that begins with a comparison word is that word.
                           {"a => a N Message yes", "holds:Message yes"},
                           {"a <> b N Message yes", "holds:Message yes"},
                           // =Y is taken for "=", N becomes the operand, Message the SenseToken.
                           {"X =Y N Message yes", "done"},
                           {"X =Y N Essage yes", "holds:yes"},
                           // A quoted operand is never an operator.
                           {"= \"=\" N Message yes", "done"},
                           {"\"=\" \"=\" N Message yes", "done"},
                           {"\"=\" = \"=\" N Message yes", "holds:Message yes"},
                           {"\"a b\" < \"a c\" N Message yes", "holds:Message yes"},
                           {"a < b \"\" Message yes", "holds:Message yes"},
                           {"a < b N\t\tMessage  two  blanks ", "holds:Message  two  blanks "},
                       });
}

TEST_F(ConditionsTest, IfFileVersionComparesVersions) {
  RunCases(DoIfFileVersion,
           {
               {"C:\\v\\ver_503.dll < 5.1.0.0 N Message less", "holds:Message less"},
               {"C:\\v\\ver_520.dll < 5.1.0.0 N Message less", "done"},
               // Reading stops at the first comma: 5.0.0.0.
               {"C:\\v\\ver_5200c.dll < 5.1.0.0 N Message less", "holds:Message less"},
               {"C:\\v\\ver_503.dll >= 5.0.3.1 N Message ge", "holds:Message ge"},
               {"C:\\v\\ver_503.dll > 5.0.3.1 N Message gt", "done"},
               {"C:\\v\\ver_503.dll <= 5.0.3 N Message le", "done"},
               // "=" compares the texts as written.
               {"C:\\v\\ver_6000c.dll = 6.0.0.0 N Message eq", "done"},
               // A quoted "=" is the operand: no operator, so 6.0.0.0 is the SenseToken.
               {"C:\\v\\ver_6000c.dll \"=\" 6.0.0.0 N Message eq", "holds:N Message eq"},
               {"C:\\v\\ver_6000c.dll = \"6, 0, 0, 0\" N Message eq", "holds:Message eq"},
               {"C:\\v\\ver_110.dll > 1.9 N Message newer", "holds:Message newer"},
               {"C:\\v\\ver_10.dll <= 1.0.0.0 N Message x", "holds:Message x"},
               {"C:\\v\\ver_10.dll >= 1.0.0.0 N Message x", "holds:Message x"},
               {"C:\\v\\ver_10.dll = 1.0.0.0 N Message x", "done"},
               // Without an operator: the file has a version string; the operand is not read.
               {"C:\\v\\ver_503.dll 99.0 N Message has", "holds:Message has"},
               {"C:\\v\\plain.dll 99.0 N Message has", "done"},
               {"C:\\v\\plain.dll 99.0 E Message none", "holds:Message none"},
               // A file without version information fails every comparison.
               {"C:\\v\\plain.dll < 99.0 N Message x", "done"},
               {"C:\\v\\missing.dll >= 0 N Message x", "done"},
               {"C:\\v\\missing.dll >= 0 E Message x", "holds:Message x"},
           });
}

TEST_F(ConditionsTest, IfProductVersionReadsTheProductVersion) {
  // ver_503: FileVersion 5.0.3.1, ProductVersion 7.2.0.0.
  EXPECT_EQ(Run(DoIfFileVersion, "C:\\v\\ver_503.dll < 6 N Message x"), "holds:Message x");
  EXPECT_EQ(Run(DoIfProductVersion, "C:\\v\\ver_503.dll < 6 N Message x"), "done");
  EXPECT_EQ(Run(DoIfProductVersion, "C:\\v\\ver_503.dll = 7.2.0.0 N Message x"), "holds:Message x");
  EXPECT_EQ(Run(DoIfFileVersion, "C:\\v\\ver_503.dll = 7.2.0.0 N Message x"), "done");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ConditionsTest, IfFileDateComparesUnsigned32BitTimes) {
  sys_.AddFile("C:\\old", "", 1000);
  sys_.AddFile("C:\\new", "", 2000);
  sys_.AddFile("C:\\twin", "", 2000);
  sys_.AddFile("C:\\high", "", 0x90000000u);  // after 2038 as unsigned
  RunCases(DoIfFileDate,
           {
               {"C:\\new > C:\\old N Message x", "holds:Message x"},
               {"C:\\new < C:\\old N Message x", "done"},
               {"C:\\new = C:\\twin N Message x", "holds:Message x"},
               {"C:\\new <= C:\\twin N Message x", "holds:Message x"},
               {"C:\\new >= C:\\twin N Message x", "holds:Message x"},
               {"C:\\old >= C:\\new N Message x", "done"},
               {"C:\\high > C:\\new N Message x", "holds:Message x"},
               // A missing file is time 0: older than every file, equal to another missing one.
               {"C:\\none1 = C:\\none2 N Message x", "holds:Message x"},
               {"C:\\none1 < C:\\old N Message x", "holds:Message x"},
               {"C:\\old > C:\\none1 N Message x", "holds:Message x"},
               // Without an operator the test is false.
               {"C:\\new C:\\old N Message x", "done"},
               {"C:\\new C:\\old E Message x", "holds:Message x"},
           });
}

TEST_F(ConditionsTest, IfRegistryFindTestsKeys) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Version", "1");
  RunCases(DoIfRegistryFind,
           {
               {"HKEY_LOCAL_MACHINE\\Software\\Sample N Message x", "holds:Message x"},
               {"HKEY_LOCAL_MACHINE\\Software\\Sample E Message x", "done"},
               // The last element is a value, not a key.
               {"HKEY_LOCAL_MACHINE\\Software\\Sample\\Version N Message x", "done"},
               {"HKEY_LOCAL_MACHINE\\Software\\Missing e Message x", "holds:Message x"},
               {"hkey_local_machine\\Software\\Sample N Message x", "done"},
               {"\"HKEY_LOCAL_MACHINE\\Software\\Sample\" N Message x", "holds:Message x"},
           });
}

TEST_F(ConditionsTest, DefineRegistryDefinesAlwaysAndHoldsWhenNothingWasFound) {
  sys_.SetRegistryValue(kHkeyLocalMachine, "Software\\Sample", "Path", "D:\\Sample\\");
  RunCases(
      DoDefineRegistry,
      {
          {"$$P$$ HKEY_LOCAL_MACHINE\\Software\\Sample\\Path N Goto skip", "done"},
          {"$$Q$$ HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing N Goto skip", "holds:Goto skip"},
          {"$$R$$ HKEY_LOCAL_MACHINE\\Software\\Sample\\Path E Goto found", "holds:Goto found"},
          {"$$S$$ HKEY_LOCAL_MACHINE\\Software\\Sample\\Missing E Goto found", "done"},
          {"\"$$T U$$\" \"HKEY_LOCAL_MACHINE\\Software\\Sample\\Path\" E ", "holds:"},
      });
  ASSERT_EQ(app_.context.macros.count(), 5);
  struct Row {
    const char* name;
    const char* value;
  } rows[] = {{"$$P$$", "D:\\Sample\\"},
              {"$$Q$$", ""},
              {"$$R$$", "D:\\Sample\\"},
              {"$$S$$", ""},
              {"$$T U$$", "D:\\Sample\\"}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_STREQ(app_.context.macros.row(i).name, rows[i].name);
    EXPECT_STREQ(app_.context.macros.row(i).value, rows[i].value);
  }
}

TEST_F(ConditionsTest, DefineRegistryCutsLongValuesAt299Bytes) {
  sys_.SetRegistryValue(kHkeyCurrentUser, "", "Long", std::string(298, 'a') + "\x88\x9F" + "zz");
  EXPECT_EQ(Run(DoDefineRegistry, "$$L$$ HKEY_CURRENT_USER\\Long N Message x"), "done");
  ASSERT_EQ(app_.context.macros.count(), 1);
  EXPECT_EQ(std::string(app_.context.macros.row(0).value), std::string(298, 'a'));
}

TEST_F(ConditionsTest, DefineRegistryFailsWhenTheTableIsFull) {
  for (int i = 0; i < MacroTable::kMaxRows; ++i) {
    ASSERT_TRUE(app_.context.DefineMacro("$$M" + std::to_string(i) + "$$", "v"));
  }
  EXPECT_EQ(Run(DoDefineRegistry, "$$NEW$$ HKEY_CURRENT_USER\\V N Message x"), "failed");
  EXPECT_EQ(ui_.messages, (std::vector<std::string>{"置換語句が多すぎます 50以下にして下さい"}));
  // Replacing an existing name still works with a full table.
  ui_.messages.clear();
  EXPECT_EQ(Run(DoDefineRegistry, "$$M0$$ HKEY_CURRENT_USER\\V N Message x"), "holds:Message x");
  EXPECT_STREQ(app_.context.macros.row(0).value, "");
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(ConditionsTest, ChainedConditionsRunTheirRestOneAfterTheOther) {
  sys_.AddFile("C:\\a", "");
  sys_.AddFile("C:\\b", "");
  std::string r = Run(DoIfFileFind, "C:\\a N IfFileFind C:\\b N Message Both");
  ASSERT_EQ(r, "holds:IfFileFind C:\\b N Message Both");
  // RunScript classifies the rest and steps over its keyword; the rest is cut in place.
  std::string rest = r.substr(std::strlen("holds:IfFileFind "));
  EXPECT_EQ(Run(DoIfFileFind, rest), "holds:Message Both");
  EXPECT_EQ(Run(DoIfFileFind, "C:\\nothing N Message Both"), "done");
}

}  // namespace
}  // namespace setup
