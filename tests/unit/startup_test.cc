// Start-up and the loading of the script: program directory, built-in macros, the
// pre-scan of SetupDir and WindowTitle, and the store's limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "script/loader.h"
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

// The loader shows nothing of its own failures: it hands them up, and start-up words them.
TEST(LoaderTest, FailuresAreHandedUpAsStatuses) {
  std::string large;
  while (large.size() <= 65536) large += std::string(99, 'x') + "\n";
  struct Case {
    const char* what;
    std::string script;  // none: no file
    bool present;
    bool unreadable;
    long fail_read_after;
    StatusKind kind;
    int line;
  } cases[] = {
      {"missing", "", false, false, -1, StatusKind::kNotFound, 0},
      {"unreadable", "x\n", true, true, -1, StatusKind::kAccessDenied, 0},
      {"read error", "SetupDir x \n", true, false, 3, StatusKind::kReadError, 0},
      {"too large", large, true, false, -1, StatusKind::kTooLong, 656},
      {"loaded", "SetupDir x \n", true, false, -1, StatusKind::kOk, 0},
  };
  for (const Case& c : cases) {
    AppFixture f;
    if (c.present) f.system.AddFile(AppFixture::kScriptPath, c.script);
    if (c.unreadable) f.system.unreadable.insert(AppFixture::kScriptPath);
    f.system.fail_read_path = AppFixture::kScriptPath;
    f.system.fail_read_after = c.fail_read_after;
    Status status = LoadScriptFile(*f.app, AppFixture::kScriptPath);
    EXPECT_EQ(status.kind(), c.kind) << c.what;
    EXPECT_EQ(status.path(), c.kind == StatusKind::kOk ? "" : AppFixture::kScriptPath) << c.what;
    EXPECT_EQ(status.line(), c.line) << c.what;
    EXPECT_TRUE(f.ui.events.empty()) << c.what;
  }
}

// The pre-scan's tokens that could not be cut whole: shown as the run shows them, and kept
// with their line, keyword and fault for the checker.
TEST(LoaderTest, PreScanFaultsKeepTheirLineKeywordAndKind) {
  using Fault = LoadedScript::PreScanFault;
  struct Case {
    std::string script;
    std::vector<Fault> faults;
  } cases[] = {
      {"SetupDir C:\\App \nWindowTitle \"T\" \n", {}},
      {"SetupDir C:\\End", {{1, kSetupDir, ArgumentFault::kNoBlank}}},
      {"\n\nSetupDir", {{3, kSetupDir, ArgumentFault::kMissing}}},
      {"' x\nWindowTitle \"Open", {{2, kWindowTitle, ArgumentFault::kNoClosingQuote}}},
      // The registry form: its path, then its fallback, cut only when the value is missing.
      {"SetupDir Registry HKEY_LOCAL_MACHINE\\Nope\\Dir",
       {{1, kSetupDir, ArgumentFault::kNoBlank}}},
      {"SetupDir Registry HKEY_LOCAL_MACHINE\\Nope\\Dir C:\\Fallback",
       {{1, kSetupDir, ArgumentFault::kNoBlank}}},
      {"SetupDir Registry HKEY_LOCAL_MACHINE\\Nope\\Dir \n",
       {{1, kSetupDir, ArgumentFault::kMissing}}},
      {"SetupDir Registry", {{1, kSetupDir, ArgumentFault::kNoBlank}}},
  };
  for (const Case& c : cases) {
    AppFixture f;
    f.system.AddFile(AppFixture::kScriptPath, c.script);
    ASSERT_TRUE(LoadScriptFile(*f.app, AppFixture::kScriptPath).ok()) << c.script;
    const std::vector<Fault>& got = f.app->loaded.prescan_faults;
    ASSERT_EQ(got.size(), c.faults.size()) << c.script;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].line, c.faults[i].line) << c.script;
      EXPECT_EQ(got[i].keyword, c.faults[i].keyword) << c.script;
      EXPECT_EQ(got[i].fault, c.faults[i].fault) << c.script;
    }
    EXPECT_EQ(f.ui.messages.size(), c.faults.size()) << c.script;
  }
}

}  // namespace
}  // namespace setup
