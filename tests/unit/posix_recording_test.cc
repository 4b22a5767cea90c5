// The recording layer over the real POSIX system: the demo (examples/demo) installed into
// a scratch Wine-prefix-like directory, once through the layer and once without. The
// layer sees every change the run made, and the run's status, dialogs and files are the
// same either way.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/code_page.h"
#include "platform/posix/posix_system.h"
#include "script/command_context.h"
#include "script/startup.h"
#include "tests/unit/fakes.h"
#include "tests/unit/posix_temp_dir.h"
#include "tests/unit/recording_system.h"

#if defined(SETUP_DEMO_DIR) && defined(SETUP_TEST_REGSERVER_MODULE)

namespace setup {
namespace {

namespace fs = std::filesystem;

// What a run of the demo leaves behind, with the scratch directory's path replaced by
// "<tmp>" so that two runs in two directories compare.
struct DemoOutcome {
  int status = -1;
  std::vector<std::string> events;
  std::map<std::string, std::string> files;  // path under drive_c -> contents, mode, time
  std::set<std::string> directories;         // under drive_c, the Windows tree left out
  std::string registrations;                 // the component's log of its calls
  std::vector<std::string> changes;          // what the layer recorded
  std::set<std::string> recorded_files;      // the changes' destinations, mapped
  std::set<std::string> recorded_directories;
};

std::string Anonymous(std::string text, const std::string& tmp) {
  for (std::size_t at; (at = text.find(tmp)) != std::string::npos;)
    text.replace(at, tmp.size(), "<tmp>");
  return text;
}

// Regular files and folders under `root`, as paths relative to it; the Windows tree and
// the folders leading to it are not the run's.
void ListTree(const std::string& root, DemoOutcome* out) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(entry.path(), root).string();
    if (rel == "windows" || rel.rfind("windows/", 0) == 0) continue;
    struct stat st;
    ASSERT_EQ(lstat(entry.path().c_str(), &st), 0);
    if (entry.is_directory()) {
      out->directories.insert(rel);
    } else {
      out->files[rel] = ReadFileOrMissing(entry.path()) + " mode " +
                        std::to_string(st.st_mode & 07777) + " mtime " +
                        std::to_string(entry.path().filename() == "app.dat" ? st.st_mtime : 0);
    }
  }
}

// The destinations of the recorded changes that took place, mapped to paths under
// drive_c as ListTree names them.
void MapChanges(PosixSystem& system, const std::string& drive_c, DemoOutcome* out) {
  for (const std::string& change : out->changes) {
    if (change.find(": ") != std::string::npos && change.rfind("register ", 0) != 0) continue;
    std::string path;
    std::set<std::string>* into = &out->recorded_files;
    if (change.rfind("replace ", 0) == 0) {
      path = change.substr(8);
    } else if (change.rfind("copy ", 0) == 0) {
      path = change.substr(change.find(" > ") + 3);
    } else if (change.rfind("mkdir ", 0) == 0) {
      path = change.substr(6);
      into = &out->recorded_directories;
    } else {
      continue;
    }
    into->insert(fs::relative(system.MapPath(path), drive_c).string());
  }
}

// Installs the demo from a copy in `tmp`, with the test's self-registering library as its
// component, into the prefix made there; through a RecordingSystem when `layered`.
DemoOutcome RunDemo(const TempDir& tmp, bool layered) {
  DemoOutcome out;
  std::string prefix = tmp.MakeWinePrefix();
  std::string dist = tmp.MakeDir("dist");
  fs::copy(SETUP_DEMO_DIR "/Setup.Inf", dist + "/Setup.Inf");
  fs::copy(SETUP_DEMO_DIR "/files", dist + "/files", fs::copy_options::recursive);
  fs::last_write_time(dist + "/files/app.dat",
                      fs::last_write_time(SETUP_DEMO_DIR "/files/app.dat"));
  fs::copy(SETUP_TEST_REGSERVER_MODULE, dist + "/demo_component.dll");
  std::string log = tmp / "registrations.txt";
  setenv("SETUP_TEST_REGISTER_LOG", log.c_str(), 1);

  PosixSystem system(prefix);
  Cp932Encoding encoding;
  RecordingSystem recording(system);
  FakeUi ui;
  {
    SetupRun run(layered ? static_cast<System&>(recording) : system, ui, encoding);
    StartOptions options;
    options.strip_trailing_slash = true;  // as the native program sets it
    out.status = StartSetup(run, encoding.FromUtf8(dist + "/"), options);
  }
  unsetenv("SETUP_TEST_REGISTER_LOG");
  for (const std::string& event : ui.events) out.events.push_back(Anonymous(event, tmp.path()));
  ListTree(prefix + "/drive_c", &out);
  out.registrations = ReadFileOrMissing(log);
  out.changes = recording.changes;
  MapChanges(system, prefix + "/drive_c", &out);
  for (std::string& change : out.changes) change = Anonymous(change, tmp.path());
  return out;
}

TEST(PosixRecordingTest, TheLayerSeesEveryChangeOfTheDemoAndChangesNothing) {
  TempDir bare_dir, layered_dir;
  ASSERT_FALSE(bare_dir.path().empty());
  ASSERT_FALSE(layered_dir.path().empty());
  DemoOutcome bare = RunDemo(bare_dir, false);
  DemoOutcome layered = RunDemo(layered_dir, true);

  EXPECT_EQ(layered.status, kExitFinished);
  EXPECT_EQ(layered.changes,
            (std::vector<std::string>{
                "mkdir C:\\DemoApp",
                "mkdir C:\\DemoApp\\doc",
                "copy <tmp>/dist\\files\\app.dat > C:\\DemoApp\\app.dat",
                "replace C:\\DemoApp\\doc\\readme.txt",
                "replace C:\\DemoApp\\config.ini",
                "copy <tmp>/dist\\demo_component.dll > C:\\DemoApp\\demo_component.dll",
                "register C:\\DemoApp\\demo_component.dll: called 0",
            }));
  // Every file and folder the run left in drive_c is one the layer saw made.
  EXPECT_EQ(layered.recorded_files.size(), 4u);
  for (const auto& [path, contents] : layered.files) {
    EXPECT_TRUE(layered.recorded_files.count(path)) << path << " was not recorded";
  }
  EXPECT_EQ(layered.recorded_files.size(), layered.files.size());
  EXPECT_EQ(layered.recorded_directories, layered.directories);
  EXPECT_EQ(layered.registrations, "called\n");

  EXPECT_EQ(layered.status, bare.status);
  EXPECT_EQ(layered.events, bare.events);
  EXPECT_EQ(layered.files, bare.files);
  EXPECT_EQ(layered.directories, bare.directories);
  EXPECT_EQ(layered.registrations, bare.registrations);
  EXPECT_TRUE(bare.changes.empty());
}

}  // namespace
}  // namespace setup

#endif  // SETUP_DEMO_DIR && SETUP_TEST_REGSERVER_MODULE
