// Copies whose bytes the caller sees as they are written (CopyFileBytesWatched) on real
// files: natively a small file is copied through memory and watched, a larger one in the
// kernel and not; a layer that does not pass the call on copies unwatched; and the
// install record takes a watched copy's digest from what it saw, a larger file's from
// reading it back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/posix/file_copy.h"
#include "platform/posix/posix_system.h"
#include "platform/system_wrapper.h"
#include "record/install_record.h"
#include "record/recording_layer.h"
#include "tests/unit/posix_system_fixture.h"
#include "tests/unit/posix_temp_dir.h"

namespace setup {
namespace {

// The record's: a copy of up to 64 KiB goes through memory.
constexpr std::size_t kLimit = RecordingLayer::kWatchedCopyLimit;

std::string RandomText(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

// Keeps what a copy showed it, as the record's digest would take it.
class KeptBytes : public CopyWatcher {
 public:
  explicit KeptBytes(std::uint64_t limit = kLimit) : CopyWatcher(limit) {}
  void Begin() override {
    ++begun;
    bytes.clear();
  }
  void Written(const void* data, std::size_t size) override {
    bytes.append(static_cast<const char*>(data), size);
  }
  int begun = 0;
  std::string bytes;
};

// A source of at most the watcher's limit is watched, a larger one is not; either way the
// copy has the source's bytes, time and mode.
TEST_F(PosixSystemTest, AWatchedCopyShowsWhatItWroteUpToTheWatchersLimit) {
  const struct {
    std::size_t size;
    std::uint64_t limit;
    bool watched;
  } cases[] = {{0, kLimit, true},      {1, kLimit, true},           {4096, kLimit, true},
               {kLimit, kLimit, true}, {kLimit + 1, kLimit, false}, {(1 << 20) + 3, kLimit, false},
               {4096, 4095, false},    {4096, 1 << 20, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size) + " bytes, limit " + std::to_string(c.limit));
    std::string data = RandomText(c.size, static_cast<unsigned>(c.size));
    std::string source = Write("source.bin", data);
    ASSERT_EQ(chmod(source.c_str(), 0751), 0);
    SetMtime(source, 1000000000);
    KeptBytes seen(c.limit);
    bool watched = !c.watched;
    ASSERT_TRUE(
        system_->CopyFileBytesWatched("C:\\work\\source.bin", "C:\\work\\copy.bin", &seen, &watched)
            .ok());
    EXPECT_EQ(watched, c.watched);
    EXPECT_TRUE(Read("copy.bin") == data);
    EXPECT_EQ(seen.begun, c.watched ? 1 : 0);
    EXPECT_TRUE(seen.bytes == (c.watched ? data : std::string()));
    EXPECT_EQ(Mtime(work_ + "/copy.bin"), 1000000000);
    EXPECT_EQ(Mode(work_ + "/copy.bin"), 0751u);
  }
  EXPECT_EQ(List(), "copy.bin source.bin");
}

TEST_F(PosixSystemTest, AWatchedCopyOfAFileThatReportsNoSizeShowsAllItRead) {
  KeptBytes seen;
  bool watched = false;
  ASSERT_TRUE(
      system_->CopyFileBytesWatched("/proc/self/status", "C:\\work\\status.txt", &seen, &watched)
          .ok());
  EXPECT_TRUE(watched);
  EXPECT_NE(Read("status.txt").find("Pid:"), std::string::npos);
  EXPECT_EQ(seen.bytes, Read("status.txt"));
}

TEST_F(PosixSystemTest, AFailedWatchedCopyIsNotWatchedAndLeavesTheDestination) {
  Write("source.bin", "new bytes");
  Write("dest.bin", "old bytes");
  struct Case {
    const char* what;
    const char* source;
    const char* destination;
    StatusKind kind;
  };
  for (const Case& c :
       {Case{"no source", "C:\\work\\none.bin", "C:\\work\\dest.bin", StatusKind::kNotFound},
        Case{"no folder", "C:\\work\\source.bin", "C:\\work\\none\\dest.bin",
             StatusKind::kNotFound},
        Case{"no path", "", "C:\\work\\dest.bin", StatusKind::kNotFound}}) {
    KeptBytes seen;
    bool watched = true;
    Status status = system_->CopyFileBytesWatched(c.source, c.destination, &seen, &watched);
    EXPECT_TRUE(status.Is(c.kind)) << c.what;
    EXPECT_FALSE(watched) << c.what;
  }
  {
    FileSizeLimit limit(4);  // the write fails as on a full disk
    KeptBytes seen;
    bool watched = true;
    EXPECT_FALSE(
        system_->CopyFileBytesWatched("C:\\work\\source.bin", "C:\\work\\dest.bin", &seen, &watched)
            .ok());
    EXPECT_FALSE(watched);
  }
  EXPECT_EQ(Read("dest.bin"), "old bytes");
  EXPECT_EQ(List(), "dest.bin source.bin");
}

// A layer may serve copies of its own: the call comes to its CopyFileBytes, unwatched.
TEST_F(PosixSystemTest, ALayerCopiesUnwatchedUnlessItPassesTheCallOn) {
  Write("source.bin", "small");
  SystemWrapper layer(*system_);
  KeptBytes seen;
  bool watched = true;
  ASSERT_TRUE(
      layer.CopyFileBytesWatched("C:\\work\\source.bin", "C:\\work\\copy.bin", &seen, &watched)
          .ok());
  EXPECT_FALSE(watched);
  EXPECT_EQ(seen.begun, 0);
  EXPECT_EQ(Read("copy.bin"), "small");
}

// The record over the real system: a small copy's entry carries its digest at once, a
// large one's digest follows it, read back; both are the digest of the bytes written.
TEST_F(PosixSystemTest, TheRecordDigestsAWatchedCopyFromWhatItSaw) {
  std::map<std::string, std::string> files = {{"small.bin", RandomText(kLimit, 1)},
                                              {"large.bin", RandomText(kLimit + 1, 2)},
                                              {"empty.bin", ""}};
  for (const auto& [name, data] : files) Write("src_" + name, data);
  Status status;
  std::unique_ptr<InstallRecordWriter> writer =
      InstallRecordWriter::Create(*system_, "C:\\work\\Uninstall.rec", "Test.Id", &status);
  ASSERT_TRUE(status.ok());
  RecordingLayer layer(*system_);
  layer.Start(writer.get(), false);
  for (const auto& [name, data] : files) {
    ASSERT_TRUE(layer.CopyFileBytes("C:\\work\\src_" + name, "C:\\work\\" + name).ok()) << name;
    layer.CommandCompleted();
  }
  ASSERT_TRUE(layer.Stop().ok());
  writer.reset();
  InstallRecord record;
  ASSERT_TRUE(ReadInstallRecord(*system_, "C:\\work\\Uninstall.rec", &record).ok());
  std::vector<std::string> seen;
  for (const RecordEntry& e : record.entries) {
    std::string name = e.path.substr(e.path.rfind('\\') + 1);
    bool right =
        !e.no_digest && e.digest == FileDigest::Of(files[name]) && e.size == files[name].size();
    seen.push_back(std::to_string(static_cast<int>(e.kind)) + " " + name +
                   (e.no_digest ? " follows"
                    : right     ? " digest"
                                : " wrong"));
  }
  std::sort(seen.begin(), seen.end());  // a digest that follows comes when it is ready
  EXPECT_EQ(seen, (std::vector<std::string>{"2 empty.bin digest", "2 large.bin follows",
                                            "2 small.bin digest", "7 large.bin digest"}));
}

}  // namespace
}  // namespace setup
