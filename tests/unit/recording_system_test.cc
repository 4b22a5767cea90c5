// A recording layer stacked over the in-memory fake through SystemWrapper: it sees every
// change a run asks of the system, with its outcome, and the run's results (status,
// dialogs and messages, files, directories, calls) are those of the same run without it.
#include "tests/unit/recording_system.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "script/command_context.h"
#include "script/startup.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

constexpr const char* kProgram = "D:\\Dist\\SETUP.EXE";
constexpr const char* kScriptPath = "D:\\Dist\\Setup.Inf";

struct LayerCase {
  const char* name;
  const char* script;  // ASCII, stored as it is
  std::function<void(FakeSystem&)> arrange;
  std::vector<std::string> changes;
};

// What a run leaves behind, to compare a run with the layer against one without.
struct Outcome {
  int status = -1;
  std::vector<std::string> events;
  std::map<std::string, std::string> files;  // path -> data and time
  std::set<std::string> directories;
  std::vector<std::string> log;
};

// Runs the case's script over `fake`, through `layer` when given (a layer over `fake`).
Outcome RunCase(const LayerCase& c, FakeSystem& fake, System* layer) {
  fake.AddDirectory("D:\\Dist");
  fake.AddFile(kScriptPath, c.script);
  c.arrange(fake);
  FakeUi ui;
  Outcome out;
  {
    SetupRun run(layer != nullptr ? *layer : fake, ui, fake.encoding);
    out.status = StartSetup(run, kProgram);
  }
  out.events = ui.events;
  for (const auto& [path, file] : fake.files) {
    out.files[path] = file.data + "@" + std::to_string(file.mtime);
  }
  out.directories = fake.directories;
  out.log = fake.log;
  return out;
}

void Sources(FakeSystem& fake) {
  fake.AddFile("D:\\Dist\\a.dat", std::string("bin\0ary", 7), 1234);
  fake.AddFile("D:\\Dist\\r.txt", "read me\r\n");
}

const LayerCase kCases[] = {
    {"copies, text copies and directories",
     "SetupDir C:\\App\r\n"
     "MakeDir $$SETUPDIR$$\r\n"
     "MakeDir $$SETUPDIR$$\\doc\r\n"
     "MakeDir $$SETUPDIR$$\r\n"
     "BinCopy $$FD$$\\a.dat $$SETUPDIR$$\\a.dat\r\n"
     "TextCopy $$FD$$\\r.txt $$SETUPDIR$$\\doc\\r.txt\r\n",
     Sources,
     {"mkdir C:\\App", "mkdir C:\\App\\doc", "mkdir C:\\App: exists",
      "copy D:\\Dist\\a.dat > C:\\App\\a.dat", "replace C:\\App\\doc\\r.txt"}},
    {"a directory refused",
     "MakeDir C:\\App\r\nMakeDir C:\\Refused\r\nMakeDir C:\\Next\r\n",
     [](FakeSystem& fake) { fake.refuse_directory.insert("C:\\Refused"); },
     {"mkdir C:\\App", "mkdir C:\\Refused: failed"}},
    {"a copy without its source",
     "BinCopy $$FD$$\\missing.dat C:\\m.dat\r\n",
     Sources,
     {"copy D:\\Dist\\missing.dat > C:\\m.dat: failed"}},
    {"a text copy whose commit fails",
     "TextCopy $$FD$$\\r.txt C:\\r.txt\r\n",
     [](FakeSystem& fake) {
       Sources(fake);
       fake.fail_commit = true;
     },
     {"replace C:\\r.txt: failed"}},
    {"components registered as a library and as a program",
     "SetupDir C:\\App\r\n"
     "Regsvr \"C:\\App\\lib.dll\"\r\n"
     "Regsvr \"C:\\App\\prog.exe\"\r\n"
     "Regsvr \"C:\\App\\none.dll\"\r\n",
     [](FakeSystem& fake) {
       fake.libraries["C:\\App\\lib.dll"] = 0;
       fake.programs.insert("C:\\App\\prog.exe");
     },
     {"register C:\\App\\lib.dll: called 0", "register C:\\App\\prog.exe: not loaded",
      "start C:\\App\\prog.exe /regserver", "register C:\\App\\none.dll: not loaded",
      "start C:\\App\\none.dll /regserver: failed"}},
};

TEST(RecordingSystemTest, SeesEveryChangeOfARunOverTheFakeAndChangesNothing) {
  for (const LayerCase& c : kCases) {
    FakeSystem bare;
    Outcome without = RunCase(c, bare, nullptr);

    FakeSystem beneath;
    RecordingSystem recording(beneath);
    Outcome with = RunCase(c, beneath, &recording);

    EXPECT_EQ(recording.changes, c.changes) << c.name;
    EXPECT_EQ(with.status, without.status) << c.name;
    EXPECT_EQ(with.events, without.events) << c.name;
    EXPECT_EQ(with.files, without.files) << c.name;
    EXPECT_EQ(with.directories, without.directories) << c.name;
    EXPECT_EQ(with.log, without.log) << c.name;
  }
}

}  // namespace
}  // namespace setup
