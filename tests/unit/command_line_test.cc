// The two command lines: GNU options natively, installer switches for Setup.exe.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline/options.h"

namespace setup {
namespace {

// Options as one comparable line; "ERROR <message>" for bad input.
std::string Describe(bool ok, const Options& o, const std::string& error) {
  if (!ok) return "ERROR " + error;
  std::string d;
  if (o.help) d += " help";
  if (o.version) d += " version";
  if (o.silent) d += " silent";
  if (o.check) d += " check=" + o.check_path;
  if (o.program_dir) d += " dir=" + *o.program_dir;
  if (o.dest) d += " dest=" + *o.dest;
  if (o.answers) d += " answers=" + *o.answers;
  if (o.log) d += " log=" + *o.log;
  if (o.prefix) d += " prefix=" + *o.prefix;
  if (o.ui == FrontEndChoice::kTerminal) d += " ui=terminal";
  if (o.ui == FrontEndChoice::kBatch) d += " ui=batch";
  if (o.uninstall) d += " uninstall=" + *o.uninstall;
  if (o.pack_dir) d += " pack=" + *o.pack_dir;
  if (o.output) d += " output=" + *o.output;
  if (o.loader) d += " loader=" + *o.loader;
  if (o.win64) d += " win64";
  return d.empty() ? "" : d.substr(1);
}

std::string ParseNative(std::vector<std::string> words) {
  words.insert(words.begin(), "setup");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  Options o;
  std::string error;
  return Describe(ParseNativeOptions(static_cast<int>(words.size()), argv.data(), &o, &error), o,
                  error);
}

TEST(NativeOptionsTest, Table) {
  struct Case {
    std::vector<std::string> words;
    const char* expected;
  } cases[] = {
      {{}, ""},
      {{"--silent"}, "silent ui=batch"},
      {{"--dest", "/opt/app dir"}, "dest=/opt/app dir"},
      {{"--answers=a.txt"}, "answers=a.txt ui=batch"},
      {{"--log=-", "--prefix=/p"}, "log=- prefix=/p"},
      {{"--ui=terminal"}, "ui=terminal"},
      {{"--check"}, "check="},
      {{"--check", "prog"}, "check=prog"},
      {{"--uninstall=Demo.App", "--silent"}, "silent ui=batch uninstall=Demo.App"},
      {{"--uninstall"}, "ERROR option '--uninstall' needs a value"},
      {{"-h"}, "help"},
      {{"--version"}, "version"},
      {{"--sil"}, "silent ui=batch"},  // an unambiguous abbreviation, as GNU tools take it
      {{"--bogus"}, "ERROR unknown option '--bogus'"},
      {{"--dest"}, "ERROR option '--dest' needs a value"},
      {{"--dest="}, "ERROR option '--dest' needs a value"},
      {{"--help=x"}, "ERROR option '--help' takes no value"},
      {{"--ui=window"}, "ERROR option '--ui' takes terminal or batch, not 'window'"},
      {{"--pack", "demo", "-o", "d.exe"}, "pack=demo output=d.exe"},
      {{"--pack=demo", "--output=d.exe", "--win64", "--loader=L.exe"},
       "pack=demo output=d.exe loader=L.exe win64"},
      {{"--pack", "demo"}, "ERROR option '--pack' needs '-o FILE'"},
      {{"-o", "d.exe"}, "ERROR option '--output' is only for '--pack'"},
      {{"--win64"}, "ERROR option '--win64' is only for '--pack'"},
      {{"--pack", "demo", "-o"}, "ERROR option '--output' needs a value"},
      {{"examples/demo"}, "dir=examples/demo"},
      {{"--silent", "prog dir"}, "silent dir=prog dir ui=batch"},
      {{"prog", "--silent"}, "silent dir=prog ui=batch"},  // GNU: options after operands
      {{"--", "--silent"}, "dir=--silent"},
      {{"a", "b"}, "ERROR unexpected argument 'b'"},
      {{"--check", "a", "b"}, "ERROR unexpected argument 'b'"},
      {{"a", "--check"}, "check=a"},  // --check takes the operand wherever it stands
      {{"--silent", "--ui=terminal"},
       "ERROR option '--silent' cannot be used with '--ui=terminal'"},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseNative(c.words), c.expected) << c.expected;
}

TEST(NativeOptionsTest, ParsesAgainAfterAnError) {
  EXPECT_EQ(ParseNative({"--bogus"}), "ERROR unknown option '--bogus'");
  EXPECT_EQ(ParseNative({"--silent"}), "silent ui=batch");  // the parser's state was reset
}

TEST(WindowsSwitchesTest, Table) {
  struct Case {
    const char* line;
    const char* expected;
  } cases[] = {
      {"", ""},
      {"/S /D=C:\\App /LOG=C:\\setup.log", "silent dest=C:\\App log=C:\\setup.log ui=batch"},
      {"/D=C:\\My App /X /s", "silent dest=C:\\My App /X ui=batch"},  // only a switch ends it
      {"/d=C:\\Program Files\\My App  ", "dest=C:\\Program Files\\My App"},
      {"\"/D=C:\\Program Files\\A\"", "dest=C:\\Program Files\\A"},
      {"/log=\"C:\\my logs\\x.log\" /S", "silent log=C:\\my logs\\x.log ui=batch"},
      {"/Answers=a.txt /d=X:", "dest=X: answers=a.txt ui=batch"},
      {"/check D:\\Dist /S", "silent check=D:\\Dist ui=batch"},
      {"/CHECK /S", "silent check= ui=batch"},
      {"/?", "help"},
      {"/HELP", "help"},
      {"/h", "help"},
      {"/Help /S", "help silent ui=batch"},
      {"/D=C:\\A B /help", "help dest=C:\\A B"},  // a help switch ends the path
      {"/HELPME", "ERROR unknown switch '/HELPME'"},
      {"-?", "ERROR unknown switch '-?'"},
      {"/X", "ERROR unknown switch '/X'"},
      {"/S extra", "ERROR unknown switch 'extra'"},
      {"/SILENT", "ERROR unknown switch '/SILENT'"},
      {"/D", "ERROR switch '/D' needs '=' and a value"},
      {"/D=", "ERROR switch '/D=' needs a value"},
      {"/LOG= /S", "ERROR switch '/LOG=' needs a value"},
      {"/UNINSTALL=Demo.App /S", "silent ui=batch uninstall=Demo.App"},
      {"/D=C:\\A B /uninstall=X", "dest=C:\\A B uninstall=X"},  // it ends the path
      {"/UNINSTALL=", "ERROR switch '/UNINSTALL=' needs a value"},
  };
  for (const Case& c : cases) {
    Options o;
    std::string error;
    EXPECT_EQ(Describe(ParseWindowsSwitches(c.line, &o, &error), o, error), c.expected) << c.line;
  }
}

}  // namespace
}  // namespace setup
