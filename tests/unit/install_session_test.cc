// The install record over the fake: what the recording layer records, a failed run, an
// ErrorExit and a CANCEL rolled back to the machine as it was, an interrupted run rolled
// back at the next start, and the uninstall keeping what it must keep.
#include "record/install_session.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "script/command_context.h"
#include "script/loaded_script.h"
#include "script/startup.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

constexpr const char* kProgram = "D:\\Dist\\SETUP.EXE";
constexpr const char* kRecord = "C:\\App\\Uninstall.rec";
constexpr const char* kLocator = "C:\\WINDOWS\\SetupRecords\\Demo.App.loc";

// The session as a program joins it to start-up.
class SessionHooks : public RunHooks {
 public:
  explicit SessionHooks(InstallSession& session) : session_(session) {}
  bool BeforeRun(const LoadedScript&, const std::string& destination) override {
    begun = session_.Begin(destination);
    return begun.ok();
  }
  void AfterRun(bool finished) override {
    bool rolled_back = false;
    UndoTally tally;
    session_.Finish(
        finished, {}, [&](const UndoStep& s) { steps.push_back(s); }, &rolled_back, &tally);
  }
  std::vector<UndoStep> steps;
  Status begun;

 private:
  InstallSession& session_;
};

ProductInfo Demo() {
  ProductInfo product;
  product.id = "Demo.App";
  return product;
}

class InstallSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"C:", "C:\\WINDOWS", "C:\\WINDOWS\\system32", "D:", "D:\\Dist"}) {
      system_.AddDirectory(dir);
    }
    system_.AddFile("D:\\Dist\\a.dat", "new a");
    system_.AddFile("D:\\Dist\\b.txt", "new b\n");
    system_.libraries["C:\\App\\c.dll"] = 0;
  }

  // Runs `script` with the destination C:\App and the product Demo.App.
  int Run(const std::string& script, std::deque<int> answers = {}, bool rollback = true,
          const std::string& destination = "C:\\App") {
    system_.AddFile("D:\\Dist\\Setup.Inf", "SetupDir " + destination + " \r\n" + script);
    RecordingLayer layer(system_);
    FakeUi ui;
    ui.answers = std::move(answers);
    SetupRun run(layer, ui, system_.encoding);
    run.context.change_record = &layer;
    ProductInfo product;
    product.id = "Demo.App";
    product.rollback = rollback;
    InstallSession session(layer, system_.encoding, product);
    SessionHooks hooks(session);
    StartOptions options;
    options.hooks = &hooks;
    int status = StartSetup(run, kProgram, options);
    steps_ = hooks.steps;
    messages_ = ui.messages;
    return status;
  }

  // The machine without the locator's folder, which the session keeps for itself.
  std::pair<std::map<std::string, std::string>, std::set<std::string>> Snapshot() {
    std::map<std::string, std::string> files;
    for (const auto& [path, file] : system_.files) files[path] = file.data;
    std::set<std::string> dirs = system_.directories;
    dirs.erase("C:\\WINDOWS\\SetupRecords");
    files.erase("D:\\Dist\\Setup.Inf");
    return {files, dirs};
  }

  FakeSystem system_;
  std::vector<UndoStep> steps_;
  std::vector<std::string> messages_;
};

TEST_F(InstallSessionTest, TheRecordHoldsEveryChangeOfAFinishedRun) {
  system_.AddDirectory("C:\\App");
  system_.AddFile("C:\\App\\b.txt", "old b");
  ASSERT_EQ(
      Run("MakeDir C:\\App\\sub\r\nBinCopy D:\\Dist\\a.dat C:\\App\\sub\\a.dat\r\n"
          "TextCopy D:\\Dist\\b.txt C:\\App\\b.txt\r\nBinCopy D:\\Dist\\a.dat C:\\App\\c.dll\r\n"
          "Regsvr \"C:\\App\\c.dll\"\r\n"),
      0);
  InstallRecord record;
  ASSERT_TRUE(ReadInstallRecord(system_, kRecord, &record).ok());
  EXPECT_EQ(record.state, RecordState::kAtRest);
  // A copied file's digest follows its entry, computed meanwhile: it is looked up apart.
  std::vector<std::string> seen;
  std::map<std::string, const RecordEntry*> digests;
  for (const RecordEntry& e : record.entries) {
    if (e.kind == RecordKind::kFileDigest) {
      EXPECT_TRUE(digests.count(e.path) && digests[e.path]->no_digest) << e.path;
      digests[e.path] = &e;
      continue;
    }
    if (e.kind == RecordKind::kFileWritten) digests[e.path] = &e;
    seen.push_back(std::to_string(static_cast<int>(e.kind)) + " " + e.path +
                   (e.existed_before ? " existed" : "") + (e.aside.empty() ? "" : " aside"));
  }
  EXPECT_EQ(seen,
            (std::vector<std::string>{"1 ", "4 C:\\App\\sub", "2 C:\\App\\sub\\a.dat",
                                      "3 C:\\App\\b.txt aside", "2 C:\\App\\b.txt existed aside",
                                      "2 C:\\App\\c.dll", "5 C:\\App\\c.dll", "6 Demo.App"}));
  // Each as what was written: read back after a copy, computed as written by a text copy.
  struct Digested {
    const char* path;
    RecordKind kind;
    const char* bytes;
  };
  for (const Digested& d : {Digested{"C:\\App\\sub\\a.dat", RecordKind::kFileDigest, "new a"},
                            Digested{"C:\\App\\c.dll", RecordKind::kFileDigest, "new a"},
                            Digested{"C:\\App\\b.txt", RecordKind::kFileWritten, "new b\r\n"}}) {
    ASSERT_TRUE(digests.count(d.path)) << d.path;
    EXPECT_EQ(digests[d.path]->kind, d.kind) << d.path;
    EXPECT_FALSE(digests[d.path]->no_digest) << d.path;
    EXPECT_EQ(digests[d.path]->digest, FileDigest::Of(d.bytes)) << d.path;
    EXPECT_EQ(digests[d.path]->size, std::string(d.bytes).size()) << d.path;
  }
  EXPECT_FALSE(system_.HasFile("C:\\App\\b.txt.~rollback"));  // dropped once finished
  EXPECT_EQ(system_.FileData(kLocator), "Record=C:\\App\\Uninstall.rec\r\n");
}

// A copy that cannot be read back for its digest is recorded as having none, never with
// the digest of bytes nobody read: an uninstall then keeps the file as changed.
TEST_F(InstallSessionTest, ACopyThatCannotBeReadBackHasNoDigest) {
  system_.AddDirectory("C:\\App");
  system_.unreadable.insert("C:\\App\\a.dat");
  ASSERT_EQ(Run("BinCopy D:\\Dist\\a.dat C:\\App\\a.dat\r\n"), 0);
  InstallRecord record;
  ASSERT_TRUE(ReadInstallRecord(system_, kRecord, &record).ok());
  std::vector<std::string> seen;
  for (const RecordEntry& e : record.entries) {
    if (e.path != "C:\\App\\a.dat") continue;
    seen.push_back(std::to_string(static_cast<int>(e.kind)) + (e.no_digest ? " none" : " digest") +
                   " " + std::to_string(e.size));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"2 none 0", "7 none 0"}));
}

// A failure, an ErrorExit and a CANCEL each leave the machine byte for byte as it was:
// files made removed, a replaced file given its old bytes back, folders made removed.
TEST_F(InstallSessionTest, AFailedRunIsRolledBack) {
  struct Case {
    const char* what;
    const char* last_line;
    std::deque<int> answers;
  };
  const Case cases[] = {
      {"a failed copy", "BinCopy D:\\Dist\\missing C:\\App\\x\r\n", {}},
      {"ErrorExit", "ErrorExit stopped\r\n", {}},
      {"CANCEL", "MessageBox \"Go on?\"\r\n", {kIdOk, kIdCancel}},
  };
  for (const Case& c : cases) {
    system_.files.clear();
    system_.directories.clear();
    SetUp();
    system_.AddDirectory("C:\\Old");
    system_.AddFile("C:\\Old\\b.txt", "old b", 77);
    auto before = Snapshot();
    int status =
        Run(std::string("MakeDir C:\\App\\sub\r\nBinCopy D:\\Dist\\a.dat C:\\App\\a.dat\r\n"
                        "TextCopy D:\\Dist\\b.txt C:\\Old\\b.txt\r\n") +
                c.last_line,
            c.answers);
    EXPECT_EQ(status, 1) << c.what;
    EXPECT_EQ(Snapshot(), before) << c.what;
    EXPECT_EQ(system_.files["C:\\Old\\b.txt"].mtime, 77u) << c.what;
    EXPECT_FALSE(system_.HasFile(kLocator)) << c.what;
    std::vector<UndoStep> expected = {
        {UndoStep::Action::kRestored, "C:\\Old\\b.txt", ""},
        {UndoStep::Action::kRemoved, "C:\\App\\a.dat", ""},
        {UndoStep::Action::kFolderRemoved, "C:\\App\\sub", ""},
        {UndoStep::Action::kFolderRemoved, "C:\\App", ""},
    };
    EXPECT_EQ(steps_, expected) << c.what;
  }
}

// A record that can no longer be written stops the run at its next change, and what was
// done is rolled back from what the layer kept in memory.
TEST_F(InstallSessionTest, ARecordThatCannotBeWrittenStopsTheRun) {
  system_.record_writes_left = 3;  // the header, the first block and its header
  auto before = Snapshot();
  EXPECT_EQ(
      Run("BinCopy D:\\Dist\\a.dat C:\\App\\a.dat\r\nBinCopy D:\\Dist\\a.dat C:\\App\\b.dat\r\n"),
      1);
  EXPECT_EQ(messages_, std::vector<std::string>{
                           "It failed in the copy form D:\\Dist\\a.dat to C:\\App\\b.dat"});
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(InstallSessionTest, ARecordThatCannotBeStartedChangesNothing) {
  system_.record_writes_left = 0;
  auto before = Snapshot();
  EXPECT_EQ(Run("BinCopy D:\\Dist\\a.dat C:\\App\\a.dat\r\n"), 1);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(system_.log, (std::vector<std::string>{"mkdir C:\\App", "remove C:\\App\\Uninstall.rec",
                                                   "rmdir C:\\App"}));
}

TEST_F(InstallSessionTest, WithoutRollbackAFailedRunStaysRecorded) {
  EXPECT_EQ(Run("BinCopy D:\\Dist\\a.dat C:\\App\\a.dat\r\nErrorExit stopped\r\n", {}, false), 1);
  EXPECT_TRUE(system_.HasFile("C:\\App\\a.dat"));
  InstallRecord record;
  ASSERT_TRUE(ReadInstallRecord(system_, kRecord, &record).ok());
  EXPECT_EQ(record.state, RecordState::kAtRest);
  EXPECT_EQ(record.entries.back().path, "C:\\App\\a.dat");
}

// A second install of the same Id into the same place continues the record; its
// rollback forgets only its own blocks.
TEST_F(InstallSessionTest, ASecondInstallMergesAndRollsBackOnlyItself) {
  ASSERT_EQ(Run("BinCopy D:\\Dist\\a.dat C:\\App\\a.dat\r\n"), 0)
      << testing::PrintToString(messages_);
  InstallRecord first;
  ASSERT_TRUE(ReadInstallRecord(system_, kRecord, &first).ok());
  EXPECT_EQ(Run("BinCopy D:\\Dist\\b.txt C:\\App\\b.txt\r\nErrorExit stopped\r\n"), 1);
  InstallRecord after;
  ASSERT_TRUE(ReadInstallRecord(system_, kRecord, &after).ok());
  EXPECT_EQ(after.entries, first.entries);
  EXPECT_FALSE(system_.HasFile("C:\\App\\b.txt"));
  EXPECT_TRUE(system_.HasFile(kLocator));
  ASSERT_EQ(Run("BinCopy D:\\Dist\\b.txt C:\\App\\b.txt\r\n"), 0);
  ASSERT_TRUE(ReadInstallRecord(system_, kRecord, &after).ok());
  EXPECT_EQ(after.runs.size(), 2u);

  // Installed again elsewhere: still the one record, which one uninstall empties.
  ASSERT_EQ(Run("' nothing more\r\n", {}, true, "C:\\Other"), 0);
  ASSERT_TRUE(ReadInstallRecord(system_, kRecord, &after).ok());
  EXPECT_EQ(after.runs.size(), 3u);
  EXPECT_EQ(after.entries[after.runs[2].entry + 1],
            MakeEntry(RecordKind::kDirectoryCreated, "C:\\Other"));
  UndoTally tally;
  ASSERT_TRUE(UninstallProduct(system_, system_.encoding, "Demo.App", nullptr, &tally).ok());
  EXPECT_FALSE(system_.HasDirectory("C:\\Other"));
  EXPECT_FALSE(system_.HasDirectory("C:\\App"));
}

// A run killed after some commands: the next start rolls back what its record shows.
TEST_F(InstallSessionTest, AnInterruptedRunIsRolledBackAtTheNextStart) {
  system_.AddDirectory("C:\\App");
  system_.AddFile("C:\\App\\b.txt", "old b");
  auto before = Snapshot();
  {
    RecordingLayer layer(system_);
    InstallSession session(layer, system_.encoding, Demo());
    ASSERT_TRUE(session.Begin("C:\\App").ok());
    ASSERT_TRUE(layer.CopyFileBytes("D:\\Dist\\a.dat", "C:\\App\\a.dat").ok());
    layer.CommandCompleted();
    std::unique_ptr<OutputFile> out;
    ASSERT_TRUE(layer.CreateReplacement("C:\\App\\b.txt", &out).ok());
    ASSERT_TRUE(out->Write("x", 1).ok() && out->Commit().ok());
    layer.CommandCompleted();
  }  // killed: nothing more is written
  RecordingLayer layer(system_);
  InstallSession session(layer, system_.encoding, Demo());
  bool rolled_back = false;
  UndoTally tally;
  ASSERT_TRUE(session.Recover(nullptr, &rolled_back, &tally).ok());
  EXPECT_TRUE(rolled_back);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_FALSE(system_.HasFile(kLocator));

  // A damaged record is refused, and nothing is touched.
  ASSERT_TRUE(session.Begin("C:\\App").ok());
  ASSERT_TRUE(layer.CopyFileBytes("D:\\Dist\\a.dat", "C:\\App\\a.dat").ok());
  layer.CommandCompleted();
  system_.files[kRecord].data[600] ^= 1;
  auto damaged = Snapshot();
  RecordingLayer again(system_);
  InstallSession next(again, system_.encoding, Demo());
  EXPECT_TRUE(next.Recover(nullptr, &rolled_back, &tally).Is(StatusKind::kCorrupt));
  EXPECT_EQ(Snapshot(), damaged);
}

TEST_F(InstallSessionTest, UninstallRemovesOnlyWhatTheInstallMadeAndNobodyChanged) {
  system_.AddDirectory("C:\\App");
  system_.AddFile("C:\\App\\existed.txt", "theirs");
  ASSERT_EQ(Run("MakeDir C:\\App\\doc\r\nBinCopy D:\\Dist\\a.dat C:\\App\\a.dat\r\n"
                "BinCopy D:\\Dist\\a.dat C:\\App\\doc\\changed.dat\r\n"
                "BinCopy D:\\Dist\\a.dat C:\\App\\existed.txt\r\n"
                "BinCopy D:\\Dist\\a.dat C:\\App\\c.dll\r\nRegsvr \"C:\\App\\c.dll\"\r\n"),
            0);
  system_.AddFile("C:\\App\\doc\\changed.dat", "edited");
  system_.AddFile("C:\\App\\doc\\added.txt", "the user's");
  system_.in_use.insert("C:\\App\\c.dll");
  std::vector<UndoStep> steps;
  UndoTally tally;
  ASSERT_TRUE(UninstallProduct(
                  system_, system_.encoding, "Demo.App",
                  [&](const UndoStep& s) { steps.push_back(s); }, &tally)
                  .ok());
  using A = UndoStep::Action;
  std::vector<UndoStep> expected = {
      {A::kEntryRemoved, "Demo.App", ""},
      {A::kUnregistered, "C:\\App\\c.dll", ""},
      {A::kRemovedAtRestart, "C:\\App\\c.dll", ""},
      {A::kKept, "C:\\App\\existed.txt", "existed before"},
      {A::kKept, "C:\\App\\doc\\changed.dat", "changed"},
      {A::kRemoved, "C:\\App\\a.dat", ""},
      {A::kKept, "C:\\App\\doc", "not empty"},
  };
  EXPECT_EQ(steps, expected);
  EXPECT_TRUE(tally.restart);
  EXPECT_EQ(tally.kept, 3);
  EXPECT_FALSE(system_.HasFile(kRecord));
  EXPECT_FALSE(system_.HasFile(kLocator));
  EXPECT_EQ(system_.log.back(), "rmdir C:\\App\\doc");
  EXPECT_TRUE(UninstallProduct(system_, system_.encoding, "Demo.App", nullptr, &tally)
                  .Is(StatusKind::kNotFound));
}

}  // namespace
}  // namespace setup
