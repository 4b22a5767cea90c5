// The action commands over the fakes, with injected faults.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/app_fixture.h"

namespace setup {
namespace {

std::string At(int line, const std::string& rest) {
  return std::string(AppFixture::kScriptPath) + "の" + std::to_string(line) + "行目" + rest;
}

TEST(ActionsTest, Define) {
  struct Case {
    const char* script;
    int status;
    std::vector<std::string> messages;
  } cases[] = {
      {"#define NAME value with blanks \nMessage [NAME]", kExitFinished, {"[value with blanks ]"}},
      {"#define NAME \nMessage [NAME]", kExitFinished, {"[]"}},
      {"#define NAME", kExitRunFailed, {At(1, "にTABが有りません")}},
      // A defined name stands as its value: the second line defines a macro named "one".
      {"#define N one\n#define N two\nMessage N one", kExitFinished, {"one two"}},
      {"#define \"A B\" x\nMessage A B", kExitFinished, {"x"}},
  };
  for (const auto& c : cases) {
    AppFixture f;
    EXPECT_EQ(f.Start(c.script), c.status) << c.script;
    EXPECT_EQ(f.messages(), c.messages) << c.script;
  }
}

TEST(ActionsTest, DefineFailsWhenTheTableIsFull) {
  std::string script;
  for (int i = 0; i < 46; ++i) script += "#define M" + std::to_string(i) + "_ v\n";
  script += "#define ONE_TOO_MANY v\nMessage never";
  AppFixture f;
  EXPECT_EQ(f.Start(script), kExitRunFailed);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"置換語句が多すぎます 50以下にして下さい"});
}

TEST(ActionsTest, BinCopy) {
  struct Case {
    const char* script;
    int status;
    std::vector<std::string> messages;
  } cases[] = {
      {"BinCopy $$FD$$\\a.bin C:\\App\\a.bin", kExitFinished, {}},
      {"BinCopy \"$$FD$$\\a.bin\" \"C:\\App\\b c.bin\" trailing", kExitFinished, {}},
      {"BinCopy $$FD$$\\a.bin", kExitRunFailed, {At(1, "にTABが有りません")}},
      {"BinCopy $$FD$$\\a.bin   ", kExitRunFailed, {At(1, "にコピー先の指定が有りません")}},
      {"BinCopy $$FD$$\\missing.bin C:\\App\\m.bin",
       kExitRunFailed,
       {"It failed in the copy form D:\\Dist\\missing.bin to C:\\App\\m.bin"}},
      {"BinCopy $$FD$$\\a.bin $$FD$$\\a.bin",
       kExitRunFailed,
       {"It failed in the copy form D:\\Dist\\a.bin to D:\\Dist\\a.bin"}},
  };
  for (const auto& c : cases) {
    AppFixture f;
    f.system.AddFile("D:\\Dist\\a.bin", std::string("\0\x1A\r\n", 4));
    EXPECT_EQ(f.Start(c.script), c.status) << c.script;
    EXPECT_EQ(f.messages(), c.messages) << c.script;
    EXPECT_EQ(f.system.FileData("D:\\Dist\\a.bin"), std::string("\0\x1A\r\n", 4));
  }
}

// A message is cut at 255 bytes, its own words counted with the names it shows.
TEST(ActionsTest, ALongCopyMessageIsCutWithItsOwnWordsCounted) {
  AppFixture f;
  std::string name(300, 'n');
  EXPECT_EQ(f.Start("BinCopy C:\\" + name + " C:\\App\\m.bin"), kExitRunFailed);
  std::string whole = "It failed in the copy form C:\\" + name + " to C:\\App\\m.bin";
  EXPECT_EQ(f.messages(), std::vector<std::string>{whole.substr(0, 255)});
}

TEST(ActionsTest, BinCopyReplacesAndReportsAFullDisk) {
  AppFixture f;
  f.system.AddFile("D:\\Dist\\a.bin", "new contents");
  f.system.AddFile("C:\\a.bin", "old");
  EXPECT_EQ(f.Start("BinCopy $$FD$$\\a.bin C:\\a.bin\nBinCopy $$FD$$\\a.bin C:\\b.bin\n"),
            kExitFinished);
  EXPECT_EQ(f.system.FileData("C:\\a.bin"), "new contents");

  AppFixture full;
  full.system.AddFile("D:\\Dist\\a.bin", "new contents");
  full.system.disk_space = 4;
  EXPECT_EQ(full.Start("BinCopy $$FD$$\\a.bin C:\\b.bin\nMessage never"), kExitRunFailed);
  EXPECT_FALSE(full.system.HasFile("C:\\b.bin"));
  EXPECT_EQ(full.messages(),
            std::vector<std::string>{"It failed in the copy form D:\\Dist\\a.bin to C:\\b.bin"});
}

TEST(ActionsTest, MakeDir) {
  struct Case {
    const char* script;
    int status;
    std::vector<std::string> messages;
  } cases[] = {
      {"MakeDir C:\\App\nMakeDir C:\\App\\Sub", kExitFinished, {}},
      {"MakeDir C:\\Exists", kExitFinished, {}},
      {"MakeDir \"C:\\With Blank\" ignored", kExitFinished, {}},
      {"MakeDir C:\\Missing\\Sub",
       kExitRunFailed,
       {"The 'C:\\Missing\\Sub' directroy can not be make"}},
      {"MakeDir C:\\Refused", kExitRunFailed, {"The 'C:\\Refused' directroy can not be make"}},
      {"MakeDir   ", kExitRunFailed, {At(1, "にディレクトリー名が有りません")}},
      {"MakeDir \"\"", kExitRunFailed, {At(1, "にディレクトリー名が有りません")}},
  };
  for (const auto& c : cases) {
    AppFixture f;
    f.system.AddDirectory("C:\\Exists");
    f.system.refuse_directory.insert("C:\\Refused");
    EXPECT_EQ(f.Start(c.script), c.status) << c.script;
    EXPECT_EQ(f.messages(), c.messages) << c.script;
  }
}

TEST(ActionsTest, DiskCheck) {
  {
    AppFixture f;  // present: no prompt
    f.system.AddFile("D:\\Dist\\DISK2.TAG", "");
    EXPECT_EQ(f.Start("DiskCheck DISK2.TAG Disk 2\nMessage on"), kExitFinished);
    EXPECT_EQ(f.messages(), std::vector<std::string>{"on"});
  }
  {
    AppFixture f;  // prompts until CANCEL
    f.ui.answers = {kIdOk, kIdOk, kIdOk, kIdCancel};
    EXPECT_EQ(f.Start("WindowTitle Inst \nDiskCheck DISK2.TAG \"Disk 2\" please\nMessage never"),
              kExitRunFailed);
    std::vector<std::string> dialogs;
    for (const std::string& e : f.ui.events) {
      if (e.rfind("DiskDialog", 0) == 0) dialogs.push_back(e);
    }
    EXPECT_EQ(dialogs, std::vector<std::string>(3, "DiskDialog Inst|Cheng at '\"Disk 2\" please'"));
    EXPECT_EQ(f.messages(), std::vector<std::string>{"Making a setup was stopped."});
  }
  {
    AppFixture f;  // a path over 255 bytes is a file that cannot be opened
    std::string name(250, 'n');
    f.system.AddFile("D:\\Dist\\" + name, "");
    EXPECT_EQ(f.Start("DiskCheck " + name + " p"), kExitRunFailed);
  }
  {
    AppFixture f;
    EXPECT_EQ(f.Start("DiskCheck ALONE"), kExitRunFailed);
    EXPECT_EQ(f.messages(), std::vector<std::string>{At(1, "にTABが有りません")});
  }
}

TEST(ActionsTest, MessageBoxAndMessageAndErrorExit) {
  {
    AppFixture f;
    EXPECT_EQ(f.Start("MessageBox first second\nMessageBox \"a\x01"
                      "b\x01\"\nMessageBox\n"),
              kExitFinished);
    std::vector<std::string> dialogs;
    for (const std::string& e : f.ui.events) {
      if (e.rfind("MessageDialog", 0) == 0) dialogs.push_back(e);
    }
    EXPECT_EQ(dialogs, (std::vector<std::string>{"MessageDialog first", "MessageDialog a\nb\n",
                                                 "MessageDialog "}));
  }
  {
    AppFixture f;
    f.ui.answers = {kIdOk, kIdOk, kIdCancel};
    EXPECT_EQ(
        f.Start(
            "MessageBox \"Go on?\"\nMessage \"quoted\" & more\nMessageBox stop\nErrorExit never"),
        kExitRunFailed);
    // CANCEL fails the run without a message of its own.
    EXPECT_EQ(f.messages(), std::vector<std::string>{"\"quoted\" & more"});
    EXPECT_EQ(f.ui.events.back(), "MessageDialog stop");
  }
  {
    AppFixture f;
    EXPECT_EQ(f.Start("ErrorExit  Disk is full, stopped \nMessage never"), kExitRunFailed);
    EXPECT_EQ(f.ui.events.back(), "MessageBox 0|Disk is full, stopped ");
  }
  {
    // Both texts are cut at 255 bytes like every message, never inside a character.
    AppFixture f;
    std::string kana;
    for (int i = 0; i < 200; ++i) kana += "あ";
    std::string kept = kana.substr(0, 127 * 3);
    EXPECT_EQ(f.Start("Message x" + kana + "\nErrorExit " + kana), kExitRunFailed);
    EXPECT_EQ(f.messages(), (std::vector<std::string>{"x" + kept, kept}));
  }
}

}  // namespace
}  // namespace setup
