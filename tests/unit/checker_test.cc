// The script checker over the fakes: every class of finding at its line, the idioms that
// must not be reported, the forms of PATH, and that a check writes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/checker.h"
#include "tests/unit/fakes.h"
#include "tests/unit/windows_view.h"

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
  system.AddDirectory("D:\\Dist\\files");
  system.AddFile("D:\\Dist\\files\\app.dat", "app", 7);
}

// Checks a script of these bytes, over the fake seen as Windows sees files.
CheckReport CheckRaw(FakeSystem& system, const std::string& script) {
  system.AddFile("D:\\Dist\\Setup.Inf", script);
  WindowsView view(system);
  return CheckProgram(view, system.encoding, "D:\\Dist", "");
}

CheckReport Check(FakeSystem& system, const std::string& script_utf8) {
  return CheckRaw(system, system.encoding.FromUtf8(script_utf8));
}

// The findings of `c` in order, each with its line, its severity and its text.
void ExpectFindings(const CheckCase& c, bool raw = false) {
  FakeSystem system;
  AddProgramFiles(system);
  CheckReport report = raw ? CheckRaw(system, c.script) : Check(system, c.script);
  EXPECT_EQ(report.findings.size(), c.findings.size())
      << c.name << ": " << (report.findings.empty() ? "" : report.findings[0].text);
  if (report.findings.size() != c.findings.size()) return;
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
       {{1, E, "IfFileFind: the SenseToken must be followed by a blank or a tab, or be quoted"}}},
      {"closing quote",
       "Regsvr \"$$FD$$\\a.dat\n",
       {{1, E, "Regsvr: the path has no closing quote"}}},
      {"missing operand",
       "IfFileVersion $$FD$$\\a.dat < ",
       {{1, E, "IfFileVersion: the version is missing"}}},
      {"no destination",
       "BinCopy $$FD$$\\a.dat \n",
       {{1, E, "BinCopy: the destination is missing"}}},
      {"copy onto itself however spelt",
       "BinCopy $$FD$$\\a.dat $$FD$$/A.DAT\nBinCopy \"$$SETUPDIR$$\\x\" \"$$SETUPDIR$$\\x\"\n"
       "BinCopy $$FD$$\\a.dat $$FD$$\\sub\\..\\A.dat. \n",
       {{1, E, "the destination is the source itself"},
        {2, W, "BinCopy: no MakeDir before this line makes the folder $$SETUPDIR$$ "},
        {3, E, "the destination is the source itself"}}},
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
       {{2, W, "label line without a name: a Goto passing over it stops the run"}}},
      {"empty label always searched",
       "Goto end\n: end\n:end\n",
       {{2, E, "label line without a name: a Goto passing over it stops the run"}}},
      {"long label searched",
       "Goto x\n:" + std::string(64, 'L') + "\n:x\n",
       {{2, E, "label over 63 bytes: a Goto passing over it stops the run"}}},
      {"empty label not searched", ":\n", {{1, W, "label line without a name"}}},
      {"line too long", long_line + "\n", {{1, E, "line too long: over 511 bytes"}}},
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
       {{1, E, "TextCopy: the text filter rejects the source at its line 3: a comment is not"},
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
       {{4, E, "not in the program directory"}}},
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
       {{2, E, "(the TAB rule) (the run's messages count this line as line 3)"}}},
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
       {{1, W, "relative to the current directory, not to the program directory: files\\a.dat"}}},
      {"script over the store", over_store, {{66, E, "script too large: over 65,536 bytes"}}},
  };
  for (const CheckCase& c : cases) ExpectFindings(c);
}

// Scripts where the check once disagreed with a real run: one row per kind of finding
// (or of silence) that the run's own decisions require.
TEST(CheckerTest, AgreesWithTheRun) {
  std::string two_branches = "IfFileFind \"$$SETUPDIR$$\\pro.tag\" E Goto lite\n";
  for (int i = 0; i < 30; ++i) two_branches += "#define P" + std::to_string(i) + " p \n";
  two_branches += "Goto done\n:lite\n";
  for (int i = 0; i < 30; ++i) two_branches += "#define L" + std::to_string(i) + " l \n";
  two_branches += ":done\nIfString L29 = l N Message ok\n";
  const std::string y250(250, 'y');
  const CheckCase cases[] = {
      {"exclusive branches' macros are not added up", two_branches, {}},
      {"a macro defined under a condition the run never takes",
       "IfFileFind $$FD$$\\opt.dat N #define %MODE% full\n"
       "IfString %MODE% = full E BinCopy $$FD$$\\lite.dat C:\\l\n",
       {{2, W, "%MODE% is no macro here; the run keeps the text as it is"},
        {2, E, "BinCopy: the source is not in the program directory: D:\\Dist\\lite.dat"}}},
      {"guards decided as the run decides them",
       "IfFileDate $$FD$$\\app.dat > $$FD$$\\a.dat N BinCopy $$FD$$\\app.dat C:\\x\n"
       "IfFileVersion $$FD$$\\x.dll >= 1.0 N BinCopy $$FD$$\\x.dll C:\\x\n"
       "IfFileVersion $$FD$$\\comp.dll >= 1.0 N BinCopy $$FD$$\\none.dll C:\\x\n"
       "IfFileFind $$FD$$\\.\\opt.dat N BinCopy $$FD$$\\opt.dat C:\\x\n"
       "IfFileFind $$FD$$\\A.DAT N BinCopy $$FD$$\\b.dat C:\\x\n",
       {{5, E, "BinCopy: the source is not in the program directory: D:\\Dist\\b.dat"}}},
      {"a command under a condition the check cannot decide may fail",
       "IfFileFind \"$$SETUPDIR$$\\x\" E BinCopy $$FD$$\\b.dat C:\\b\n"
       "IfFileFind \"$$SETUPDIR$$\\x\" E Goto nowhere\n",
       {{1, W, "BinCopy: the source is not in the program directory: D:\\Dist\\b.dat"},
        {2, W, "Goto: no label nowhere on a later line"}}},
      {"a folder some path made may be there",
       "IfFileFind \"$$SETUPDIR$$\\x\" N MakeDir $$FD$$\\out\nMakeDir $$FD$$\\out\\deep\n"
       "BinCopy $$FD$$\\a.dat $$FD$$\\out\\a.dat\nIfFileFind \"$$SETUPDIR$$\\x\" N BinCopy "
       "$$FD$$\\a.dat $$FD$$\\b.dat\nBinCopy $$FD$$\\b.dat C:\\b\n",
       {}},
      {"a DiskCheck that may not run keeps the disk",
       "IfFileFind \"$$SETUPDIR$$\\x\" N DiskCheck disk2.tag Disk 2\nBinCopy $$FD$$\\b.dat C:\\b\n",
       {{2, E, "not in the program directory: D:\\Dist\\b.dat"}}},
      {"folders as sources",
       "BinCopy $$FD$$\\files C:\\f\nTextCopy $$FD$$\\Files C:\\f\nDiskCheck files Disk 2\n",
       {{1, E, "BinCopy: the source is a folder, or cannot be read: D:\\Dist\\files"},
        {2, E, "TextCopy: the source is a folder, or cannot be read: D:\\Dist\\Files"},
        {3, E, "DiskCheck: the file is a folder, or cannot be read: the disk is never found"}}},
      {"names Windows refuses",
       "MakeDir \"C:\\a\tb\"\nMakeDir C:\\x\r\r\nBinCopy $$FD$$\\a.dat C:\\a\"b\n",
       {{1, E, "MakeDir: Windows refuses the name C:\\a\\tb: it holds \\t"},
        {2, E, "MakeDir: Windows refuses the name C:\\x\\r: it holds \\r"},
        {3, E, "BinCopy: Windows refuses the name C:\\a\"b: it holds \""}}},
      {"a folder missing in the program directory",
       "MakeDir $$FD$$\\out\\deep\nBinCopy $$FD$$\\a.dat $$FD$$\\out\\a.dat\n"
       "MakeDir $$FD$$\\files\\deep\nBinCopy $$FD$$\\a.dat $$FD$$\\files\\deep\\a.dat\n",
       {{1, E, "MakeDir: the folder D:\\Dist\\out does not exist (make it first, parents first)"},
        {2, E, "BinCopy: the folder D:\\Dist\\out does not exist"}}},
      {"unknown values at their shortest",
       "#define L " + y250 + "\nMessage L L $$SETUPDIR$$\nMessage L L yy $$SETUPDIR$$\n",
       {{2, W, "line may be too long after macro expansion: over 511 bytes unless its unknown"},
        {3, E, "line too long after macro expansion: over 511 bytes"}}},
      {"words that are no macro here",
       "MakeDir $$SetupDir$$\n#define %APPDIR% C:\\App\nBinCopy $$FD$$\\a.dat %APPDIR\\a.dat\n"
       "BinCopy $$fd$$\\files\\app.dat C:\\a\n",
       {{1, W, "$$SetupDir$$ is no macro here; the run keeps the text as it is (did you mean"},
        {3, W,
         "%APPDIR is no macro here; the run keeps the text as it is (did you mean %APPDIR%?)"},
        {4, W, "$$fd$$ is no macro here"}}},
      {"folders under $$SETUPDIR$$ made or not",
       "MakeDir \"$$SETUPDIR$$\"\nBinCopy $$FD$$\\a.dat \"$$SETUPDIR$$\\bin\\a.dat\"\n"
       "MakeDir \"$$SETUPDIR$$\\data\\cache\"\nMakeDir \"$$SETUPDIR$$\\doc\"\n"
       "TextCopy $$FD$$\\good.txt $$SETUPDIR$$\\doc\\good.txt\n",
       {{2, W, "BinCopy: no MakeDir before this line makes the folder $$SETUPDIR$$\\bin"},
        {3, W, "MakeDir: no MakeDir before this line makes the folder $$SETUPDIR$$\\data"}}},
      {"an unquoted $$SETUPDIR$$ ends at a blank",
       "MakeDir $$SETUPDIR$$\nRegsvr $$SETUPDIR$$\\x.dll \n",
       {{1, W, "MakeDir: quote the directory name: $$SETUPDIR$$ may hold blanks"},
        {2, W, "Regsvr: quote the path: $$SETUPDIR$$ may hold blanks"}}},
      {"control bytes escaped", "Bogus\x02x\x0b \n", {{1, E, "not a command: Bogus\\x02x\\x0B"}}},
  };
  for (const CheckCase& c : cases) ExpectFindings(c);
}

// Scripts as bytes: what is not code page 932 text.
TEST(CheckerTest, ScriptEncoding) {
  const CheckCase cases[] = {
      {"byte-order mark",
       "\xEF\xBB\xBF' c\nMessage x\n",
       {{1, E, "not a command: the script begins with a UTF-8 byte-order mark"}}},
      {"UTF-8",
       "' c\nMessage \xE6\x97\xA5\xE6\x9C\xAC\n",
       {{2, W, "the script is not code page 932 text: this line reads as UTF-8"}}},
      {"invalid pair",
       "Message \x81\x20x\nMessage \xFD\n",
       {{1, W, "not code page 932 text: an invalid double-byte character (\\x81\\x20)"}}},
      {"code page 932", "Message \x93\xfa\x96\x7b\n", {}},
  };
  for (const CheckCase& c : cases) ExpectFindings(c, true);
}

// The script is found (and read: its one finding) whatever the form of PATH.
TEST(CheckerTest, PathForms) {
  FakeSystem system;
  system.AddFile("D:\\Dist\\Setup.Inf", "Bogus\n");
  system.AddFile("D:\\\x95\\\\Setup.Inf", "Bogus\n");  // D:\表\Setup.Inf
  const struct {
    std::string path, program_dir, script;
  } cases[] = {
      {"", "D:\\Dist", "D:\\Dist\\Setup.Inf"},
      {"D:\\Dist\\", "C:\\Elsewhere", "D:\\Dist\\Setup.Inf"},
      {"D:/Dist", "", "D:/Dist/Setup.Inf"},
      // 表 ends in a backslash byte, which is not a separator to strip.
      {"D:\\\x95\\", "", "D:\\\x95\\\\Setup.Inf"},
      {"D:\\\x95\\\\", "", "D:\\\x95\\\\Setup.Inf"},
      // Written with slashes: the trail byte is no backslash to join with either.
      {"D:/\x95\\", "", "D:/\x95\\/Setup.Inf"},
  };
  for (const auto& c : cases) {
    CheckReport report = CheckProgram(system, system.encoding, c.path, c.program_dir);
    EXPECT_EQ(report.script_path, c.script) << c.path;
    EXPECT_TRUE(report.findings.size() == 1 && report.findings[0].line == 1) << c.path;
  }
}

}  // namespace
}  // namespace setup
