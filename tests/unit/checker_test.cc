// The script checker over the fakes: every class of finding at its line, the idioms that
// must not be reported, the forms of PATH, and that a check writes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/checker.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

using Severity = Finding::Severity;
constexpr Severity E = Severity::kError;
constexpr Severity W = Severity::kWarning;

struct Expected {
  int line;
  Severity severity;
  std::string text;  // a part of the finding's text
};

struct CheckCase {
  const char* name;
  std::string script;  // UTF-8; stored as code page 932
  std::vector<Expected> findings;
};

// D:\Dist: files for BinCopy and Regsvr, a good text and two the text filter rejects.
void AddProgramFiles(FakeSystem& system) {
  system.AddFile("D:\\Dist\\a.dat", "data");
  system.AddFile("D:\\Dist\\comp.dll", "MZ");
  system.AddFile("D:\\Dist\\tool.exe", "MZ");
  system.AddFile("D:\\Dist\\good.txt", "/* 日本 $# en */ $$SETUPDIR$$\n");
  system.AddFile("D:\\Dist\\open.txt", "one\n/* two\nthree\n");
  system.AddFile("D:\\Dist\\wide.txt", "x\n$$FD$$" + std::string(4089, 'w') + "\n");
}

CheckReport Check(FakeSystem& system, const std::string& script_utf8) {
  system.AddFile("D:\\Dist\\Setup.Inf", system.encoding.FromUtf8(script_utf8));
  return CheckProgram(system, system.encoding, "D:\\Dist", "");
}

TEST(CheckerTest, Findings) {
  const std::string long_line = "Message " + std::string(504, 'x');
  std::string many_macros;
  for (int i = 10; i < 57; ++i) many_macros += "#define M" + std::to_string(i) + " v \n";
  std::string over_store;
  for (int i = 0; i < 71; ++i) over_store += "' " + std::string(998, 'c') + "\n";
  const CheckCase cases[] = {
      {"clean",
       "' c\nSetupDir C:\\App \nMakeDir \"$$SETUPDIR$$\"\nBinCopy $$FD$$\\a.dat "
       "\"$$SETUPDIR$$\\a.dat\"\n"
       "TextCopy $$FD$$\\good.txt $$SETUPDIR$$\\good.txt\nRegsvr \"$$SETUPDIR$$\\x.dll\"\n",
       {}},
      {"not a command", "Message ok\nBogus words\n", {{2, E, "not a command: Bogus"}}},
      {"comparison word", "<> x\n", {{1, E, "a comparison word cannot begin a command"}}},
      {"registry", "Registry x \n", {{1, E, "Registry can only follow SetupDir"}}},
      {"TAB rule",
       "IfFileFind $$FD$$\\a.dat N\n",
       {{1, E,
         "IfFileFind: the SenseToken must be followed by a blank or a tab, or be quoted (the TAB "
         "rule)"}}},
      {"closing quote",
       "Regsvr \"$$FD$$\\a.dat\n",
       {{1, E, "Regsvr: the path has no closing quote"}}},
      {"missing operand",
       "IfFileVersion $$FD$$\\a.dat < ",
       {{1, E, "IfFileVersion: the version is missing"}}},
      {"no destination",
       "BinCopy $$FD$$\\a.dat \n",
       {{1, E, "BinCopy: the destination is missing"}}},
      {"copy onto itself",
       "BinCopy $$FD$$\\a.dat $$FD$$/A.DAT\nBinCopy \"$$SETUPDIR$$\\x\" \"$$SETUPDIR$$\\x\"\n",
       {{1, E, "BinCopy: the destination is the source itself"}}},
      // ヂ and ア differ only in a trail byte that is an ASCII letter's code.
      {"trail byte is no letter", "BinCopy $$FD$$\\a.dat C:\\ヂ\nBinCopy C:\\ヂ C:\\ア\n", {}},
      {"quoted text destination",
       "JapanCopy $$FD$$\\good.txt \"C:\\a b\"\n",
       {{1, E, "JapanCopy: the destination keeps its quotes"}}},
      {"no directory", "MakeDir   \n", {{1, E, "MakeDir: the directory name is missing"}}},
      {"no label", "Goto :\n", {{1, E, "Goto: the label is missing"}}},
      {"backwards",
       ":top\nGoto top\n",
       {{1, W, "label top is never jumped to"},
        {2, E, "Goto: no label top on a later line (the label on line 1 stands before the Goto"}}},
      {"letter case",
       "IfString a = a N Goto End\n:end\n",
       {{1, E, "(the label on line 2 differs only in letter case)"}, {2, W, "never jumped to"}}},
      {"empty label searched",
       "IfFileFind x N Goto end\n: end\n:end\n",
       {{2, E, "label line without a name: a Goto passing over it stops the run"}}},
      {"long label searched",
       "Goto x\n:" + std::string(64, 'L') + "\n:x\n",
       {{2, E, "label over 63 bytes: a Goto passing over it stops the run"}}},
      {"empty label not searched", ":\n", {{1, W, "label line without a name"}}},
      {"line too long", long_line + "\n", {{1, E, "line too long: over 511 bytes"}}},
      {"too long when expanded",
       "#define L " + std::string(200, 'y') + "\nMessage L L L\n",
       {{2, E, "line too long after macro expansion: over 511 bytes"}}},
      {"long label",
       "Goto " + std::string(64, 'L') + "\n",
       {{1, E, "Goto: the label is over 63 bytes"}}},
      {"too many macros",
       many_macros,
       {{47, E, "too many macros: the table holds 50 names, the four built-ins included"}}},
      {"redefined name fits", "#define A 1 \n#define A 2 \n", {}},
      {"missing sources, a component named without extension, a macro in the path",
       "BinCopy $$FD$$\\b.dat C:\\b\nRegsvr $$FD$$\\comp \nRegsvr $$FD$$\\tool \nRegsvr $$FD$$\\a "
       "\n"
       "#define DIR $$FD$$\\sub\nBinCopy DIR\\x.dat C:\\x\n",
       {{1, E, "BinCopy: the source is not in the program directory: D:\\Dist\\b.dat"},
        {4, E, "Regsvr: the source is not in the program directory: D:\\Dist\\a"},
        {6, E, "not in the program directory: D:\\Dist\\sub\\x.dat"}}},
      {"unknown sources",
       "BinCopy \"$$SETUPDIR$$\\b\" C:\\b\nBinCopy $$WINDOWS$$\\b C:\\b\nBinCopy C:\\b C:\\c\n"
       "#define_registry R HKEY_CURRENT_USER\\x N \nBinCopy R C:\\c\n",
       {}},
      {"filter rejects",
       "TextCopy $$FD$$\\open.txt C:\\o\nTextCopy $$FD$$\\wide.txt C:\\w\n",
       {{1, E,
         "TextCopy: the text filter rejects the source at its line 3: a comment is not closed"},
        {2, E, "at its line 2: the line is over 4095 bytes after macro expansion"}}},
      {"source made by an earlier copy",
       "BinCopy $$FD$$\\a.dat $$FD$$\\made.dat\nTextCopy $$FD$$\\good.txt $$FD$$\\Made.txt \n"
       "BinCopy $$FD$$\\MADE.DAT C:\\m\nTextCopy $$FD$$\\made.txt C:\\t\n",
       {}},
      {"disk at hand, then the next",
       "DiskCheck a.dat Disk 1\nBinCopy $$FD$$\\b.dat C:\\b\n"
       "DiskCheck disk2.tag Disk 2\nBinCopy $$FD$$\\b.dat C:\\b\nTextCopy $$FD$$\\open.txt C:\\o\n",
       {{2, E, "not in the program directory"}}},
      {"disk path too long",
       "DiskCheck " + std::string(250, 'd') + " Disk 2\n",
       {{1, E, "DiskCheck: the path is over 255 bytes"}}},
      {"guarded on its line, chained, inverted",
       "IfFileFind $$FD$$\\o.dll N BinCopy $$FD$$\\o.dll C:\\o\n"
       "IfString 1 = 1 N IfFileFind $$FD$$\\o.dll N Regsvr $$FD$$\\o.dll \n"
       "IfFileFind $$FD$$\\o.dll E BinCopy $$FD$$\\o.dll C:\\o\n",
       {{3, E, "not in the program directory"}}},
      {"guarded by a jump",
       "IfFileFind $$FD$$\\o.dll E Goto skip\nBinCopy $$FD$$\\o.dll C:\\o\n:skip\n"
       "BinCopy $$FD$$\\o.dll C:\\o\n",
       {{2, W, "this line is never run"}, {4, E, "not in the program directory"}}},
      {"pre-scan",
       "SetupDir C:\\App\nWindowTitle \"Demo\nMessage x\n",
       {{1, W, "SetupDir: the argument must be followed by a blank or a tab"},
        {2, W, "WindowTitle: the title has no closing quote"}}},
      {"lines never run",
       "Goto end\n\nMessage never\nBogus\n:end\nErrorExit stop\n' c\nMessage after\n",
       {{3, W, "this line is never run"}, {8, W, "this line is never run"}}},
      {"chained goto and error exit run on",
       "IfString \"$$SETUPDIR$$\" = b N Goto end\n"
       "IfString \"$$SETUPDIR$$\" = b N ErrorExit x\n"
       "Message runs\n:end\n",
       {}},
      {"known texts decide",
       "IfString a = b N Bogus\nIfString a = a E Bogus\nIfString a < b N Goto end\n"
       "Message never\n:end\nIfString a = A N Bogus\n",
       {{4, W, "this line is never run"}}},
      {"title shifts the run's lines, not the editor's",
       "WindowTitle \"T\"\nBinCopy a\n",
       {{2, E,
         "BinCopy: the source must be followed by a blank or a tab, or be quoted (the TAB rule) "
         "(the run's messages count this line as line 3)"}}},
      {"no operator",
       "IfString a b N \n",
       {{1, W, "IfString without a comparison word: the test never holds"}}},
      {"english copy", "EnglishCopy x\n", {{1, W, "EnglishCopy copies nothing"}}},
      {"ignored text",
       "MakeDir C:\\Program Files\\App\nGoto end here\n:end\n",
       {{1, W, "MakeDir: the text after the directory name is ignored: Files\\App"},
        {2, W, "Goto: the text after the label is ignored: here"}}},
      {"quotes shown",
       "Message \"Hello\"\n",
       {{1, W, "Message: the quotes are shown as they are"}}},
      {"relative sources",
       "BinCopy files\\a.dat C:\\a\nBinCopy \\x C:\\c\n",
       {{1, W,
         "BinCopy: the source is relative to the current directory, not to the program directory: "
         "files\\a.dat (write $$FD$$\\files\\a.dat)"}}},
      {"script over the store", over_store, {{66, E, "script too large: over 65,536 bytes"}}},
  };
  for (const CheckCase& c : cases) {
    FakeSystem system;
    AddProgramFiles(system);
    CheckReport report = Check(system, c.script);
    EXPECT_EQ(report.findings.size(), c.findings.size())
        << c.name << ": " << (report.findings.empty() ? "" : report.findings[0].text);
    if (report.findings.size() != c.findings.size()) continue;
    bool error = false;
    for (std::size_t i = 0; i < c.findings.size(); ++i) {
      const Finding& got = report.findings[i];
      const Expected& want = c.findings[i];
      EXPECT_TRUE(got.line == want.line && got.severity == want.severity &&
                  got.text.find(want.text) != std::string::npos)
          << c.name << ": " << got.line << " " << got.text;
      error = error || want.severity == E;
    }
    EXPECT_EQ(report.has_error(), error) << c.name;
  }
}

TEST(CheckerTest, PathForms) {
  FakeSystem system;
  system.AddFile("D:\\Dist\\Setup.Inf", "Bogus\n");
  system.AddFile("D:\\Dist\\sub\\other.inf", "Message ok\nMakeDir\nBinCopy $$FD$$\\x.dat C:\\x\n");
  system.AddFile("D:\\Dist\\sub\\x.dat", "x");
  system.AddFile("D:\\\x95\\\\Setup.Inf", "Bogus\n");  // D:\表\Setup.Inf
  const struct {
    std::string path, program_dir, script;
    int line;
  } cases[] = {
      {"", "D:\\Dist", "D:\\Dist\\Setup.Inf", 1},
      {"D:\\Dist\\", "C:\\Elsewhere", "D:\\Dist\\Setup.Inf", 1},
      {"D:/Dist", "", "D:/Dist/Setup.Inf", 1},
      {"D:\\Dist\\sub\\other.inf", "", "D:\\Dist\\sub\\other.inf", 2},
      {"D:\\Nowhere", "", "D:\\Nowhere\\Setup.Inf", 0},  // cannot open the script
      // 表 ends in a backslash byte, which is not a separator to strip.
      {"D:\\\x95\\", "", "D:\\\x95\\\\Setup.Inf", 1},
      {"D:\\\x95\\\\", "", "D:\\\x95\\\\Setup.Inf", 1},
  };
  for (const auto& c : cases) {
    CheckReport report = CheckProgram(system, system.encoding, c.path, c.program_dir);
    EXPECT_EQ(report.script_path, c.script) << c.path;
    ASSERT_EQ(report.findings.size(), 1u) << c.path;
    EXPECT_EQ(report.findings[0].line, c.line) << c.path;
    EXPECT_EQ(report.findings[0].severity, E) << c.path;
  }
}

}  // namespace
}  // namespace setup
