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
  if (o.dest) d += " dest=" + *o.dest;
  if (o.answers) d += " answers=" + *o.answers;
  if (o.log) d += " log=" + *o.log;
  if (o.prefix) d += " prefix=" + *o.prefix;
  if (o.ui == FrontEndChoice::kTerminal) d += " ui=terminal";
  if (o.ui == FrontEndChoice::kBatch) d += " ui=batch";
  return d.empty() ? "" : d.substr(1);
}

std::string ParseNative(std::vector<std::string> words) {
  words.insert(words.begin(), "setup");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  Options options;
  std::string error;
  bool ok = ParseNativeOptions(static_cast<int>(words.size()), argv.data(), &options, &error);
  return Describe(ok, options, error);
}

TEST(NativeOptionsTest, Table) {
  struct Case {
    std::vector<std::string> words;
    const char* expected;
  } cases[] = {
      {{}, ""},
      {{"--silent"}, "silent ui=batch"},
      {{"--dest=C:\\App"}, "dest=C:\\App"},
      {{"--dest", "/opt/app dir"}, "dest=/opt/app dir"},
      {{"--answers=a.txt"}, "answers=a.txt ui=batch"},
      {{"--log=-", "--prefix=/p"}, "log=- prefix=/p"},
      {{"--ui=terminal"}, "ui=terminal"},
      {{"--ui=batch", "--dest=D:\\"}, "dest=D:\\ ui=batch"},
      {{"--check"}, "check="},
      {{"--check", "prog"}, "check=prog"},
      {{"--check=prog/Setup.Inf"}, "check=prog/Setup.Inf"},
      {{"--help"}, "help"},
      {{"-h"}, "help"},
      {{"--version"}, "version"},
      {{"--sil"}, "silent ui=batch"},  // an unambiguous abbreviation, as GNU tools take it
      {{"--bogus"}, "ERROR unknown option '--bogus'"},
      {{"--bogus=1", "--silent"}, "ERROR unknown option '--bogus=1'"},
      {{"-x"}, "ERROR unknown option '-x'"},
      {{"--dest"}, "ERROR option '--dest' needs a value"},
      {{"--log"}, "ERROR option '--log' needs a value"},
      {{"--dest="}, "ERROR option '--dest' needs a value"},
      {{"--help=x"}, "ERROR option '--help' takes no value"},
      {{"--ui=window"}, "ERROR option '--ui' takes terminal or batch, not 'window'"},
      {{"install"}, "ERROR unexpected argument 'install'"},
      {{"--check", "a", "b"}, "ERROR unexpected argument 'b'"},
      {{"--silent", "--ui=terminal"},
       "ERROR option '--silent' cannot be used with '--ui=terminal'"},
      {{"--answers=a", "--ui=terminal"},
       "ERROR option '--answers' cannot be used with '--ui=terminal'"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& w : c.words) line += " " + w;
    EXPECT_EQ(ParseNative(c.words), c.expected) << line;
  }
}

TEST(NativeOptionsTest, ParsesAgainAfterAnError) {
  EXPECT_EQ(ParseNative({"--bogus"}), "ERROR unknown option '--bogus'");
  EXPECT_EQ(ParseNative({"--silent"}), "silent ui=batch");
}

TEST(WindowsSwitchesTest, Table) {
  struct Case {
    const char* line;
    const char* expected;
  } cases[] = {
      {"", ""},
      {"   ", ""},
      {"/S", "silent ui=batch"},
      {"/s", "silent ui=batch"},
      {"/S /D=C:\\App /LOG=C:\\setup.log", "silent dest=C:\\App log=C:\\setup.log ui=batch"},
      {"/D=C:\\My App /X /s", "silent dest=C:\\My App /X ui=batch"},  // only a switch ends it
      {"/S /LOG=C:\\setup.log /D=C:\\App", "silent dest=C:\\App log=C:\\setup.log ui=batch"},
      {"/d=C:\\Program Files\\My App  ", "dest=C:\\Program Files\\My App"},
      {"\"/D=C:\\Program Files\\A\"", "dest=C:\\Program Files\\A"},
      {"/log=\"C:\\my logs\\x.log\" /S", "silent log=C:\\my logs\\x.log ui=batch"},
      {"/ANSWERS=a.txt", "answers=a.txt ui=batch"},
      {"/Answers=a.txt /d=X:", "dest=X: answers=a.txt ui=batch"},
      {"/CHECK", "check="},
      {"/check D:\\Dist /S", "silent check=D:\\Dist ui=batch"},
      {"/CHECK /S", "silent check= ui=batch"},
      {"/?", "help"},
      {"/X", "ERROR unknown switch '/X'"},
      {"/S extra", "ERROR unknown switch 'extra'"},
      {"/SILENT", "ERROR unknown switch '/SILENT'"},
      {"/D", "ERROR switch '/D' needs '=' and a value"},
      {"/LOG", "ERROR switch '/LOG' needs '=' and a value"},
      {"/D=", "ERROR switch '/D=' needs a value"},
      {"/LOG= /S", "ERROR switch '/LOG=' needs a value"},
      {"/ANSWERS=", "ERROR switch '/ANSWERS=' needs a value"},
  };
  for (const Case& c : cases) {
    Options options;
    std::string error;
    bool ok = ParseWindowsSwitches(c.line, &options, &error);
    EXPECT_EQ(Describe(ok, options, error), c.expected) << c.line;
  }
}

TEST(VersionTest, NamesTheProgram) {
  std::string text = VersionText("setup");
  EXPECT_EQ(text.rfind("setup ", 0), 0u);
  EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace setup
