// Component registration over the fakes: the library way, the fall-back to the program
// way, the working directory of the program, the failure message, the Regsvr line form,
// and the message pump of the wait.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sysquery/registration.h"
#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

constexpr std::uint32_t kTopmostStyle = 0x40000;
constexpr std::int32_t kSFalse = 1;
constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);

std::string At(int line, const std::string& rest) {
  return std::string(AppFixture::kScriptPath) + "の" + std::to_string(line) + "行目" + rest;
}

std::string CantRegister(const std::string& path_utf8) {
  return " '" + path_utf8 + "' registration can't be done";
}

// The event FakeUi records for the registration failure message box.
std::string CantRegisterEvent(const std::string& path_utf8) {
  return "MessageBox " + std::to_string(kTopmostStyle) + "|" + CantRegister(path_utf8);
}

TEST(RegistrationTest, RegisterComponentPaths) {
  constexpr const char* kPath = "C:\\App\\comp.dll";
  struct Case {
    const char* name;
    bool loadable;
    std::int32_t hresult;  // what DllRegisterServer returns when loadable
    bool has_entry;
    bool startable;  // StartProcess succeeds for the path
    bool registered;
    std::vector<std::string> log;
  } cases[] = {
      {"library returns S_OK", true, 0, true, true, true, {"dll C:\\App\\comp.dll"}},
      {"library returns S_FALSE, not a program",
       true,
       kSFalse,
       true,
       false,
       false,
       {"dll C:\\App\\comp.dll", "spawn C:\\App\\comp.dll"}},
      {"library returns E_FAIL, not a program",
       true,
       kEFail,
       true,
       false,
       false,
       {"dll C:\\App\\comp.dll", "spawn C:\\App\\comp.dll"}},
      {"library returns 2",
       true,
       2,
       true,
       false,
       false,
       {"dll C:\\App\\comp.dll", "spawn C:\\App\\comp.dll"}},
      {"library returns S_FALSE, starts as a program",
       true,
       kSFalse,
       true,
       true,
       true,
       {"dll C:\\App\\comp.dll", "spawn C:\\App\\comp.dll"}},
      {"no DllRegisterServer, a program",
       true,
       0,
       false,
       true,
       true,
       {"dll C:\\App\\comp.dll", "spawn C:\\App\\comp.dll"}},
      {"no DllRegisterServer, not a program",
       true,
       0,
       false,
       false,
       false,
       {"dll C:\\App\\comp.dll", "spawn C:\\App\\comp.dll"}},
      {"not loadable, a program",
       false,
       0,
       true,
       true,
       true,
       {"dll C:\\App\\comp.dll", "spawn C:\\App\\comp.dll"}},
      {"not loadable, not a program",
       false,
       0,
       true,
       false,
       false,
       {"dll C:\\App\\comp.dll", "spawn C:\\App\\comp.dll"}},
  };
  for (const Case& c : cases) {
    AppFixture f;
    if (c.loadable) {
      if (c.has_entry) {
        f.system.libraries[kPath] = c.hresult;
      } else {
        f.system.libraries_without_entry.insert(kPath);
      }
    }
    if (c.startable) f.system.programs.insert(kPath);

    Status registered = RegisterComponent(
        f.system, f.system.encoding, [&f] { f.ui.PumpMessages(); }, kPath);
    EXPECT_EQ(registered.ok(), c.registered) << c.name;
    if (!c.registered) {
      EXPECT_EQ(registered.path(), kPath) << c.name;
    }
    EXPECT_EQ(f.system.log, c.log) << c.name;
    EXPECT_TRUE(f.ui.events.empty()) << c.name;  // the Regsvr command reports
    if (c.startable && c.log.size() == 2) {
      ASSERT_EQ(f.system.spawned.size(), 1u) << c.name;
      EXPECT_EQ(f.system.spawned[0].program, kPath) << c.name;
      EXPECT_EQ(f.system.spawned[0].arguments, "/regserver") << c.name;
      EXPECT_EQ(f.system.spawned[0].working_dir, "C:\\App\\") << c.name;
    } else {
      EXPECT_TRUE(f.system.spawned.empty()) << c.name;
    }
  }
}

TEST(RegistrationTest, CallRegisterServerSucceedsOnlyOnExactlyZero) {
  struct Case {
    std::int32_t hresult;
    bool ok;
  } cases[] = {{0, true}, {kSFalse, false}, {kEFail, false}, {-1, false}, {0x7FFFFFFF, false}};
  for (const Case& c : cases) {
    AppFixture f;
    f.system.libraries["x.dll"] = c.hresult;
    EXPECT_EQ(CallRegisterServer(f.system, "x.dll"), c.ok) << c.hresult;
  }
  AppFixture missing;
  EXPECT_FALSE(CallRegisterServer(missing.system, "x.dll"));
  missing.system.libraries_without_entry.insert("x.dll");
  EXPECT_FALSE(CallRegisterServer(missing.system, "x.dll"));
  EXPECT_TRUE(missing.ui.events.empty());
}

TEST(RegistrationTest, WorkingDirectory) {
  // 0x95 0x5C is one code page 932 character (表) whose trail byte is a backslash.
  const std::string hyo = "\x95\x5C";
  struct Case {
    const char* name;
    std::string path;
    std::string dir;
  } cases[] = {
      {"drive and directory", "C:\\App\\comp.exe", "C:\\App\\"},
      {"nested", "C:\\Program Files\\A B\\sub\\comp.exe", "C:\\Program Files\\A B\\sub\\"},
      {"drive only", "C:comp.exe", "C:"},
      {"drive alone", "C:", "C:"},
      {"drive and root", "C:\\comp.exe", "C:\\"},
      {"bare name", "comp.exe", ""},
      {"empty", "", ""},
      {"root without drive", "\\comp.exe", "\\"},
      {"relative directory", "sub\\comp.exe", "sub\\"},
      {"forward slashes", "C:/App/sub/comp.exe", "C:/App/sub/"},
      {"mixed separators", "C:\\App/sub\\comp.exe", "C:\\App/sub\\"},
      {"trailing separator", "C:\\App\\", "C:\\App\\"},
      {"UNC", "\\\\server\\share\\comp.exe", "\\\\server\\share\\"},
      {"colon later is no drive", "ab:c\\comp.exe", "ab:c\\"},
      {"double-byte file name with 0x5C trail", "C:\\App\\" + hyo + ".exe", "C:\\App\\"},
      {"double-byte directory with 0x5C trail", "C:\\" + hyo + "\\comp.exe", "C:\\" + hyo + "\\"},
      {"double-byte bare name", hyo + hyo + ".exe", ""},
      {"double-byte name after drive", "C:" + hyo, "C:"},
  };
  for (const Case& c : cases) {
    AppFixture f;
    EXPECT_EQ(RegistrationWorkingDirectory(f.system.encoding, c.path), c.dir) << c.name;
  }
}

TEST(RegistrationTest, WorkingDirectoryInASingleByteCodePage) {
  // Where 0x95 is no lead byte, the 0x5C after it separates.
  AppFixture f;
  f.system.encoding.lead_bytes_932 = false;
  EXPECT_EQ(RegistrationWorkingDirectory(f.system.encoding, "C:\\App\\\x95\\x.exe"),
            "C:\\App\\\x95\\");
  EXPECT_EQ(RegistrationWorkingDirectory(f.system.encoding, "C:\\App\\\x95\\"), "C:\\App\\\x95\\");
}

TEST(RegistrationTest, WorkingDirectoryIsCutTo255BytesWithoutSplittingACharacter) {
  AppFixture f;
  std::string ascii_dir = "C:\\" + std::string(300, 'd') + "\\";
  std::string cut = RegistrationWorkingDirectory(f.system.encoding, ascii_dir + "comp.exe");
  EXPECT_EQ(cut, ascii_dir.substr(0, 255));

  // "C:\x" then double-byte characters: byte 254 is the lead byte of one whose trail
  // byte would be the 256th.
  std::string dbcs_dir = "C:\\x";
  for (int i = 0; i < 150; ++i) dbcs_dir += "\x88\xA0";
  dbcs_dir += "\\";
  cut = RegistrationWorkingDirectory(f.system.encoding, dbcs_dir + "comp.exe");
  EXPECT_EQ(cut, dbcs_dir.substr(0, 254));
}

TEST(RegistrationTest, FailureMessageHasNoLengthLimit) {
  AppFixture f;
  const std::string path = "C:\\" + std::string(400, 'p') + "\\comp.dll";
  EXPECT_EQ(f.Start("Regsvr " + path + " "), kExitRunFailed);
  std::vector<std::string> boxes;
  for (const std::string& e : f.ui.events) {
    if (e.rfind("MessageBox ", 0) == 0) boxes.push_back(e);
  }
  EXPECT_EQ(boxes, std::vector<std::string>{CantRegisterEvent(path)});
  EXPECT_GT(f.ui.messages[0].size(), 400u);
}

// Regsvr as a script line: how its token is cut, and what its result does to the run.
TEST(RegistrationTest, RegsvrLines) {
  struct Case {
    const char* name;
    const char* script;
    int status;
    std::vector<std::string> log;
    std::vector<std::string> messages;
  } cases[] = {
      {"registered library, run goes on",
       "Regsvr C:\\App\\ok.dll \nMessage next",
       kExitFinished,
       {"dll C:\\App\\ok.dll"},
       {"next"}},
      {"trailing tab", "Regsvr C:\\App\\ok.dll\t", kExitFinished, {"dll C:\\App\\ok.dll"}, {}},
      {"text after the token is ignored",
       "Regsvr C:\\App\\ok.dll and more words",
       kExitFinished,
       {"dll C:\\App\\ok.dll"},
       {}},
      {"quoted at the end of the line",
       "Regsvr \"C:\\App\\ok.dll\"",
       kExitFinished,
       {"dll C:\\App\\ok.dll"},
       {}},
      {"quoted with blanks",
       "Regsvr \"C:\\Program Files\\A B\\ok.dll\"",
       kExitFinished,
       {"dll C:\\Program Files\\A B\\ok.dll"},
       {}},
      {"unquoted at the end of the line",
       "Regsvr C:\\App\\ok.dll\nMessage never",
       kExitRunFailed,
       {},
       {At(1, "にTABが有りません")}},
      {"macros expanded",
       "Regsvr $$SETUPDIR$$\\ok.dll \n",
       kExitFinished,
       {"dll C:\\App\\ok.dll"},
       {}},
      {"program started",
       "Regsvr $$FD$$\\server.exe \nMessage next",
       kExitFinished,
       {"dll D:\\Dist\\server.exe", "spawn D:\\Dist\\server.exe"},
       {"next"}},
      {"neither library nor program",
       "Regsvr \"C:\\App\\bad one.dll\" \nMessage never",
       kExitRunFailed,
       {"dll C:\\App\\bad one.dll", "spawn C:\\App\\bad one.dll"},
       {CantRegister("C:\\App\\bad one.dll")}},
      {"S_FALSE falls through to the program way",
       "Regsvr $$SETUPDIR$$\\false.dll \nMessage never",
       kExitRunFailed,
       {"dll C:\\App\\false.dll", "spawn C:\\App\\false.dll"},
       {CantRegister("C:\\App\\false.dll")}},
      {"keyword case folded",
       "REGSVR C:\\App\\ok.dll ",
       kExitFinished,
       {"dll C:\\App\\ok.dll"},
       {}},
  };
  for (const Case& c : cases) {
    AppFixture f;
    f.system.libraries["C:\\App\\ok.dll"] = 0;
    f.system.libraries["C:\\Program Files\\A B\\ok.dll"] = 0;
    f.system.libraries["C:\\App\\false.dll"] = kSFalse;
    f.system.libraries_without_entry.insert("D:\\Dist\\server.exe");
    f.system.programs.insert("D:\\Dist\\server.exe");
    f.ui.type_destination = true;
    f.ui.typed_destination = "C:\\App";
    EXPECT_EQ(f.Start(c.script), c.status) << c.name;
    EXPECT_EQ(f.system.log, c.log) << c.name;
    EXPECT_EQ(f.messages(), c.messages) << c.name;
  }
}

TEST(RegistrationTest, RegsvrFailureMessageStyleAndDoubleByteName) {
  AppFixture f;
  EXPECT_EQ(f.Start("Regsvr \"C:\\アプリ\\表示.dll\" "), kExitRunFailed);
  // 表 (0x95 0x5C) is one character: the message names the whole path.
  std::vector<std::string> boxes;
  for (const std::string& e : f.ui.events) {
    if (e.rfind("MessageBox ", 0) == 0) boxes.push_back(e);
  }
  EXPECT_EQ(boxes, std::vector<std::string>{CantRegisterEvent("C:\\アプリ\\表示.dll")});
  ASSERT_EQ(f.system.spawned.size(), 0u);
  EXPECT_EQ(f.system.log, (std::vector<std::string>{"dll " + f.Sjis("C:\\アプリ\\表示.dll"),
                                                    "spawn " + f.Sjis("C:\\アプリ\\表示.dll")}));
}

TEST(RegistrationTest, RegsvrProgramInADoubleByteDirectory) {
  AppFixture f;
  const std::string program = f.Sjis("C:\\表\\srv.exe");
  f.system.programs.insert(program);
  EXPECT_EQ(f.Start("Regsvr C:\\表\\srv.exe "), kExitFinished);
  ASSERT_EQ(f.system.spawned.size(), 1u);
  EXPECT_EQ(f.system.spawned[0].program, program);
  EXPECT_EQ(f.system.spawned[0].arguments, "/regserver");
  EXPECT_EQ(f.system.spawned[0].working_dir, f.Sjis("C:\\表\\"));
}

TEST(RegistrationTest, RegsvrBareNameStartsInTheCurrentDirectory) {
  AppFixture f;
  f.system.programs.insert("srv.exe");
  EXPECT_EQ(f.Start("Regsvr srv.exe \n"), kExitFinished);
  ASSERT_EQ(f.system.spawned.size(), 1u);
  EXPECT_EQ(f.system.spawned[0].working_dir, "");
  EXPECT_EQ(f.system.spawned[0].arguments, "/regserver");
}

// A system that records, in one log, each poll of the started process and each sleep,
// with the number of message pumps the UI has seen so far.
class SequenceSystem : public FakeSystem {
 public:
  explicit SequenceSystem(const FakeUi& ui) : ui_(ui) {}

  class CountedProcess : public Process {
   public:
    CountedProcess(SequenceSystem* owner, int polls) : owner_(owner), polls_(polls) {}
    bool HasEnded() override {
      bool ended = --polls_ <= 0;
      owner_->sequence.push_back("poll pumps=" + std::to_string(owner_->ui_.pumps) +
                                 (ended ? " ended" : ""));
      return ended;
    }

   private:
    SequenceSystem* owner_;
    int polls_;
  };

  Status StartProcess(const std::string& program, const std::string& arguments,
                      const std::string& working_dir, std::unique_ptr<Process>* process) override {
    Status started = FakeSystem::StartProcess(program, arguments, working_dir, process);
    if (started.ok()) *process = std::make_unique<CountedProcess>(this, process_polls);
    return started;
  }
  void SleepMilliseconds(int ms) override {
    sequence.push_back("sleep " + std::to_string(ms) + " pumps=" + std::to_string(ui_.pumps));
    FakeSystem::SleepMilliseconds(ms);
  }

  std::vector<std::string> sequence;

 private:
  const FakeUi& ui_;
};

TEST(RegistrationTest, WaitPumpsMessagesThenSleepsOneMillisecondPerPoll) {
  FakeUi ui;
  SequenceSystem system(ui);
  system.programs.insert("C:\\App\\srv.exe");
  system.process_polls = 3;
  EXPECT_TRUE(
      RunAndWait(
          system, [&ui] { ui.PumpMessages(); }, "C:\\App\\srv.exe", "C:\\App\\", "/regserver")
          .ok());
  EXPECT_EQ(system.sequence,
            (std::vector<std::string>{"poll pumps=0", "sleep 1 pumps=1", "poll pumps=1",
                                      "sleep 1 pumps=2", "poll pumps=2 ended"}));
  EXPECT_EQ(ui.pumps, 2);
  EXPECT_EQ(system.slept_ms, 2);
}

TEST(RegistrationTest, WaitOnAProcessThatHasAlreadyEnded) {
  FakeUi ui;
  SequenceSystem system(ui);
  system.programs.insert("srv.exe");
  system.process_polls = 1;
  EXPECT_TRUE(RunAndWait(
                  system, [&ui] { ui.PumpMessages(); }, "srv.exe", "", "/regserver")
                  .ok());
  EXPECT_EQ(system.sequence, std::vector<std::string>{"poll pumps=0 ended"});
  EXPECT_EQ(ui.pumps, 0);
}

TEST(RegistrationTest, RunAndWaitFailsWithoutWaitingWhenNothingStarts) {
  FakeUi ui;
  SequenceSystem system(ui);
  Status started = RunAndWait(
      system, [&ui] { ui.PumpMessages(); }, "C:\\App\\missing.exe", "C:\\App\\", "/regserver");
  EXPECT_EQ(started.kind(), StatusKind::kNotFound);
  EXPECT_EQ(started.path(), "C:\\App\\missing.exe");
  EXPECT_TRUE(system.sequence.empty());
  EXPECT_EQ(ui.pumps, 0);
  EXPECT_TRUE(ui.events.empty());
}

TEST(RegistrationTest, ALongWaitKeepsPumping) {
  AppFixture f;
  f.system.programs.insert("C:\\App\\slow.exe");
  f.system.process_polls = 1000;
  EXPECT_EQ(f.Start("Regsvr C:\\App\\slow.exe \n"), kExitFinished);
  EXPECT_EQ(f.ui.pumps, 999);
  EXPECT_EQ(f.system.slept_ms, 999);
}

}  // namespace
}  // namespace setup
