// Start-up and the loading of the script: program directory, built-in macros, the
// pre-scan of SetupDir and WindowTitle, and the store's limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

TEST(ProgramDirectoryTest, FromTheFirstArgument) {
  FakeSystem system;
  struct Case {
    const char* argument;
    bool posix;
    const char* expected;
  } cases[] = {
      {"D:\\Dist\\PROG.EXE", false, "D:\\Dist"},
      {"E:\\PROG.EXE", false, "E:"},
      {"\\\\server\\share\\inst\\PROG.EXE", false, "\\\\server\\share\\inst"},
      {"PROG.EXE", false, ""},
      {"D:/Dist/PROG.EXE", false, "D:/Dist/"},  // a trailing forward slash stays
      {"/opt/dist/setup", true, "/opt/dist"},
      {"C:\\\x95\x5c\\PROG.EXE", false, "C:\\\x95\x5c"},  // 0x5C trail byte is no separator
      {"C:\x95\x5cPROG.EXE", false, "C:"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgramDirectory(system.encoding, c.argument, c.posix), c.expected) << c.argument;
  }
}

TEST(StartupTest, MissingScriptEndsWithoutDialog) {
  AppFixture f;
  EXPECT_EQ(StartSetup(*f.app, AppFixture::kProgram), kExitStartupFailed);
  ASSERT_EQ(f.ui.events.size(), 1u);
  EXPECT_EQ(f.ui.events[0], "MessageBox 0|Can't Open D:\\Dist\\Setup.Inf file.");
}

// The POSIX program's choice reaches the program directory as a start-up option.
TEST(StartupTest, StartOptionsChooseTheProgramDirectory) {
  const struct {
    bool strip;
    const char* message;
  } cases[] = {
      {false, "MessageBox 0|Can't Open D:/Dist/\\Setup.Inf file."},
      {true, "MessageBox 0|Can't Open D:/Dist\\Setup.Inf file."},
  };
  for (const auto& c : cases) {
    AppFixture f;
    StartOptions options;
    options.strip_trailing_slash = c.strip;
    EXPECT_EQ(StartSetup(*f.app, "D:/Dist/PROG.EXE", options), kExitStartupFailed);
    EXPECT_EQ(f.ui.events, (std::vector<std::string>{c.message})) << c.strip;
  }
}

TEST(StartupTest, NoWindowsDirectory) {
  for (bool windows : {true, false}) {
    AppFixture f;
    (windows ? f.system.no_windows : f.system.no_system) = true;
    EXPECT_EQ(f.Start(""), kExitStartupFailed);
    ASSERT_EQ(f.ui.events.size(), 1u);
    EXPECT_EQ(f.ui.events[0],
              "MessageBox 0|Install Windows System in the destination than it is'nt installed");
  }
}

TEST(StartupTest, SetupDialogThatCannotOpenEndsStartUpNotAsACancel) {
  AppFixture f;
  f.ui.answers = {kIdFailed};
  EXPECT_EQ(f.Start("MakeDir C:\\never"), kExitStartupFailed);
  EXPECT_EQ(f.ui.events, (std::vector<std::string>{"SetupDialog Setup|C:\\"}));
  EXPECT_EQ(f.app->context.macros.count(), 3);  // no $$SETUPDIR$$: nothing ran
}

TEST(StartupTest, BuiltInMacrosInOrder) {
  AppFixture f;
  f.ui.answers = {kIdCancel};
  EXPECT_EQ(f.Start(""), kExitCancelled);
  ASSERT_EQ(f.app->context.macros.count(), 3);  // Cancel defines no $$SETUPDIR$$
  EXPECT_STREQ(f.app->context.macros.row(0).name, "$$WINDOWS$$");
  EXPECT_STREQ(f.app->context.macros.row(0).value, "C:\\WINDOWS");
  EXPECT_STREQ(f.app->context.macros.row(1).name, "$$SYSTEM$$");
  EXPECT_STREQ(f.app->context.macros.row(2).name, "$$FD$$");
  EXPECT_STREQ(f.app->context.macros.row(2).value, "D:\\Dist");
  EXPECT_EQ(f.ui.events, std::vector<std::string>{"SetupDialog Setup|C:\\"});
}

struct DialogCase {
  std::string script;
  std::string dialog;  // "SetupDialog <title>|<destination>"
  std::vector<std::string> messages;
};

TEST(StartupTest, DefaultDestinationAndTitle) {
  const DialogCase cases[] = {
      {"", "Setup|C:\\", {}},
      {"SetupDir $$FD$$\\App \r\n", "Setup|D:\\Dist\\App", {}},
      {"SetupDir \"C:\\Program Files\\X\"", "Setup|C:\\Program Files\\X", {}},
      {"SetupDir C:\\A ' the default\nSetupDir C:\\B ", "Setup|C:\\B", {}},
      {"#define APP C:\\App\nSetupDir APP\\x ", "Setup|APP\\x", {}},
      {"SetupDir $$SYSTEM$$ ", "Setup|C:\\WINDOWS\\system32", {}},
      {"SetupDir C:\\End", "Setup|C:\\End", {"D:\\Dist\\Setup.Infの1行目にTABが有りません"}},
      {"\n\nSetupDir", "Setup|", {"D:\\Dist\\Setup.Infの3行目にTABが有りません"}},
      {"SetupDir \"C:\\Open", "Setup|C:\\Open", {"D:\\Dist\\Setup.Infの1行目に\"が有りません"}},
      {"  setupdirectory x ", "Setup|x", {}},
      {"WindowTitle \"My App\"", "My App|C:\\", {}},
      {"WindowTitle First Second", "First|C:\\", {}},
      {"WindowTitle Alone", "Alone|C:\\", {"D:\\Dist\\Setup.Infの1行目にTABが有りません"}},
      {"WindowTitle \"One\nWindowTitle \"Two\" ",
       "Two|C:\\",
       {"D:\\Dist\\Setup.Infの1行目に\"が有りません"}},
      {"WindowTitle \"日本語の題\" ", "日本語の題|C:\\", {}},
      // The argument is read cut to 511 bytes, its closing blank included: one byte more
      // and the blank is never seen.
      {"SetupDir " + std::string(510, 'x') + " ", "Setup|" + std::string(255, 'x'), {}},
      {"SetupDir " + std::string(511, 'x') + " ",
       "Setup|" + std::string(255, 'x'),
       {"D:\\Dist\\Setup.Infの1行目にTABが有りません"}},
  };
  for (const DialogCase& c : cases) {
    AppFixture f;
    f.ui.answers = {kIdCancel};
    EXPECT_EQ(f.Start(c.script), kExitCancelled) << c.script;
    std::vector<std::string> dialogs;
    for (const std::string& e : f.ui.events) {
      if (e.rfind("SetupDialog ", 0) == 0) dialogs.push_back(e.substr(12));
    }
    EXPECT_EQ(dialogs, std::vector<std::string>{c.dialog}) << c.script;
    EXPECT_EQ(f.messages(), c.messages) << c.script;
  }
}

TEST(StartupTest, LongDefaultDestinationIsCutAt255Bytes) {
  AppFixture f;
  f.ui.answers = {kIdCancel};
  f.system.windows_dir = std::string(200, 'w');
  f.Start("SetupDir $$WINDOWS$$$$WINDOWS$$ ");
  EXPECT_EQ(f.ui.events.back(), "SetupDialog Setup|" + std::string(255, 'w'));
}

TEST(StartupTest, LinesAreStoredAsTheLineReadDeliversThem) {
  AppFixture f;
  std::string script = std::string(1500, 'a') + "\n" + std::string(1023, 'b') + "\nlast";
  f.ui.answers = {kIdCancel};
  f.system.AddFile(AppFixture::kScriptPath, script);
  StartSetup(*f.app, AppFixture::kProgram);
  EXPECT_EQ(f.app->loaded.store.line_count(), 5);  // 1023 + 477, 1023 + empty, last
  char buf[2048];
  std::vector<std::size_t> lengths;
  while (f.app->loaded.store.NextLine(buf, sizeof buf) == ScriptStore::LineResult::kLine) {
    lengths.push_back(std::strlen(buf));
  }
  EXPECT_EQ(lengths, (std::vector<std::size_t>{1023, 477, 1023, 0, 4}));
}

TEST(StartupTest, TextModeReading) {
  AppFixture f;
  f.ui.answers = {kIdCancel};
  f.system.AddFile(AppFixture::kScriptPath, std::string("one\r\ntwo\r\x1A"
                                                        "three\n",
                                                        15));
  StartSetup(*f.app, AppFixture::kProgram);
  char buf[512];
  std::vector<std::string> lines;
  while (f.app->loaded.store.NextLine(buf, sizeof buf) == ScriptStore::LineResult::kLine)
    lines.push_back(buf);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two\r"}));
}

TEST(StartupTest, NulInsideALineEndsIt) {
  AppFixture f;
  f.ui.answers = {kIdCancel};
  f.system.AddFile(AppFixture::kScriptPath, std::string("ab\0cd\nef\n", 9));
  StartSetup(*f.app, AppFixture::kProgram);
  char buf[512];
  std::vector<std::string> lines;
  while (f.app->loaded.store.NextLine(buf, sizeof buf) == ScriptStore::LineResult::kLine)
    lines.push_back(buf);
  EXPECT_EQ(lines, (std::vector<std::string>{"ab", "ef"}));
}

TEST(StartupTest, ScriptLargerThanTheStore) {
  AppFixture f;
  std::string line(99, 'x');
  std::string script;
  while (script.size() <= 65536) script += line + "\n";
  f.system.AddFile(AppFixture::kScriptPath, script);
  EXPECT_EQ(StartSetup(*f.app, AppFixture::kProgram), kExitStartupFailed);
  EXPECT_EQ(f.ui.events,
            std::vector<std::string>{"MessageBox 0|D:\\Dist\\Setup.Inf file is too large."});
}

TEST(StartupTest, ScriptThatFillsTheStoreExactlyLoads) {
  AppFixture f;
  f.ui.answers = {kIdCancel};
  std::string script;
  while (script.size() + 100 <= 65536) script += std::string(99, 'x') + "\n";
  script += std::string(65536 - script.size() - 1, 'y') + "\n";
  ASSERT_EQ(script.size(), 65536u);
  f.system.AddFile(AppFixture::kScriptPath, script);
  EXPECT_EQ(StartSetup(*f.app, AppFixture::kProgram), kExitCancelled);
}

TEST(StartupTest, ReadErrorEndsStartUp) {
  AppFixture f;
  f.system.fail_read_path = AppFixture::kScriptPath;
  f.system.fail_read_after = 3;
  EXPECT_EQ(f.Start("SetupDir x \n"), kExitStartupFailed);
  EXPECT_EQ(f.ui.events,
            std::vector<std::string>{"MessageBox 0|Can't read D:\\Dist\\Setup.Inf file"});
}

TEST(StartupTest, CutWindowTitleLeavesAnExtraLine) {
  AppFixture f;
  f.ui.answers = {kIdCancel};
  f.Start("WindowTitle \"T\"\nWindowTitle A B\n");
  EXPECT_EQ(f.app->loaded.store.line_count(), 2);
  char buf[512];
  std::vector<std::string> lines;
  while (f.app->loaded.store.NextLine(buf, sizeof buf) == ScriptStore::LineResult::kLine)
    lines.push_back(buf);
  EXPECT_EQ(lines, (std::vector<std::string>{"WindowTitle \"T", "", "WindowTitle A", "B"}));
}

}  // namespace
}  // namespace setup
