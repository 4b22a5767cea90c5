// The file digest the install record keeps (XXH3, 128 bits), the queue that computes it
// on a thread of its own, and the uninstall's reading of a digest that followed its
// file's entry.
#include "record/file_digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record/digest_queue.h"
#include "record/undo.h"
#include "tests/unit/fakes.h"

namespace setup {
namespace {

std::string Hex(const FileDigest::Digest& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

std::string Counting(std::size_t size) {
  std::string bytes;
  for (std::size_t i = 0; i < size; ++i) bytes += static_cast<char>(i & 0xFF);
  return bytes;
}

// The values of xxHash's own XXH3_128bits (libxxhash), in its canonical byte order.
TEST(FileDigestTest, IsXxh3Of128Bits) {
  struct Case {
    std::string bytes;
    const char* hex;
  };
  const Case cases[] = {
      {"", "99aa06d3014798d86001c324468d497f"},
      {"abc", "06b05ab6733a618578af5f94892f3950"},
      {"new a", "08618658ff1277298538e6aebc8e4583"},
      {[] {
         std::string s;
         for (int i = 0; i < 1000; ++i) s += Counting(256);
         return s;
       }(),
       "548512d98989de2d776474c39d20f9aa"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(FileDigest::Of(c.bytes)), c.hex) << c.bytes.size();
    // Fed in pieces of any size, the same digest.
    for (std::size_t piece : {1u, 7u, 64u, 4096u}) {
      FileDigest hash;
      for (std::size_t at = 0; at < c.bytes.size(); at += piece) {
        hash.Update(c.bytes.data() + at, std::min(piece, c.bytes.size() - at));
      }
      EXPECT_EQ(Hex(hash.Finish()), c.hex) << c.bytes.size() << " in pieces of " << piece;
    }
  }
}

// A digest started again forgets what it was fed, as a watched copy begun again must.
TEST(FileDigestTest, ResetStartsAgain) {
  std::string long_bytes = Counting(256) + Counting(256) + Counting(200);
  for (const std::string& bytes : {std::string(), std::string("abc"), long_bytes}) {
    FileDigest hash;
    hash.Update(long_bytes.data(), long_bytes.size());
    hash.Reset();
    hash.Update(bytes.data(), bytes.size());
    EXPECT_EQ(hash.Finish(), FileDigest::Of(bytes)) << bytes.size();
  }
}

// Files of every count around the thread's batch come out in order, each with its digest;
// one that cannot be read to its end has none.
TEST(DigestQueueTest, ResultsComeInOrder) {
  for (std::size_t count : {std::size_t{0}, std::size_t{1}, DigestQueue::kBatch - 1,
                            DigestQueue::kBatch, 3 * DigestQueue::kMaxWaiting + 1}) {
    FakeSystem system;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < count; ++i) {
      paths.push_back("C:\\f" + std::to_string(i));
      system.AddFile(paths.back(), Counting(i * 1000));
    }
    system.fail_read_path = count > 1 ? paths[1] : "";
    system.fail_read_after = 10;
    DigestQueue queue;
    std::vector<DigestQueue::Result> results;
    for (const std::string& path : paths) {
      std::unique_ptr<InputFile> input;
      ASSERT_TRUE(system.OpenForReading(path, &input).ok());
      queue.Add(path, std::move(input));
      queue.Take(&results, false);  // whatever is ready meanwhile
    }
    if (count > 0) {
      EXPECT_TRUE(queue.Holds(paths.back()) || results.size() == count);
    }
    queue.Take(&results, true);
    EXPECT_FALSE(count > 0 && queue.Holds(paths.back()));
    ASSERT_EQ(results.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
      EXPECT_EQ(results[i].path, paths[i]);
      bool unreadable = count > 1 && i == 1;
      EXPECT_EQ(results[i].read, !unreadable) << i;
      if (unreadable) continue;
      EXPECT_EQ(results[i].size, i * 1000) << i;
      EXPECT_EQ(results[i].digest, FileDigest::Of(Counting(i * 1000))) << i;
    }
  }
}

TEST(DigestQueueTest, CancelDropsWhatIsLeft) {
  FakeSystem system;
  DigestQueue queue;
  for (int i = 0; i < 20; ++i) {
    system.AddFile("C:\\f", Counting(100000));
    std::unique_ptr<InputFile> input;
    ASSERT_TRUE(system.OpenForReading("C:\\f", &input).ok());
    queue.Add("C:\\f", std::move(input));
  }
  queue.Cancel();
  EXPECT_FALSE(queue.Holds("C:\\f"));
  std::vector<DigestQueue::Result> results;
  queue.Take(&results, true);
  EXPECT_TRUE(results.empty());
}

// The uninstall takes a file's size and digest from its last write, or from the
// kFileDigest that followed it; a file whose digest never came is kept as changed.
TEST(UninstallDigestTest, TheDigestThatFollowedAnEntryCounts) {
  auto written = [](const char* bytes, bool follows) {
    RecordEntry e = MakeEntry(RecordKind::kFileWritten, "C:\\App\\a.dat");
    e.no_digest = follows;
    if (!follows) {
      e.size = std::string(bytes).size();
      e.digest = FileDigest::Of(bytes);
    }
    return e;
  };
  auto digest = [](const char* bytes, bool read = true) {
    RecordEntry e = MakeEntry(RecordKind::kFileDigest, "C:\\App\\a.dat");
    e.no_digest = !read;
    e.size = read ? std::string(bytes).size() : 0;
    e.digest = read ? FileDigest::Of(bytes) : FileDigest::Digest{};
    return e;
  };
  struct Case {
    const char* what;
    std::vector<RecordEntry> entries;
    bool removed;
  };
  const Case cases[] = {
      {"digest in the entry", {written("new a", false)}, true},
      {"digest followed", {written("", true), digest("new a")}, true},
      {"digest of another file's bytes", {written("", true), digest("other")}, false},
      {"digest never came", {written("", true)}, false},
      {"file could not be read back", {written("", true), digest("", false)}, false},
      {"written again, its digest in the entry",
       {written("", true), digest("old"), written("new a", false)},
       true},
      {"written again, its digest followed",
       {written("old", false), written("", true), digest("new a")},
       true},
      {"written again, the digest of the first write only",
       {written("", true), digest("new a"), written("", true)},
       false},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.AddDirectory("C:\\App");
    system.AddFile("C:\\App\\a.dat", "new a");
    std::vector<UndoStep> steps;
    UndoSink sink = [&](const UndoStep& s) { steps.push_back(s); };
    Undo undo{system, system.encoding, sink, nullptr};
    Uninstall(undo, c.entries);
    EXPECT_EQ(system.HasFile("C:\\App\\a.dat"), !c.removed) << c.what;
    ASSERT_EQ(steps.size(), 1u) << c.what;
    EXPECT_EQ(steps[0].reason, c.removed ? "" : "changed") << c.what;
  }
}

// A system whose library, once unregistered, rewrites a file the install made.
class RewritingOnUnregister : public FakeSystem {
 public:
  Status CallDllUnregisterServer(const std::string& path, std::int32_t* hresult) override {
    if (!rewrites.empty()) AddFile(rewrites, "rewritten by the library");
    return FakeSystem::CallDllUnregisterServer(path, hresult);
  }
  std::string rewrites;
};

// The uninstall reads files back ahead of deciding on them, but never past a registration
// it has still to undo: what the undoing changes is seen as changed and kept.
TEST(UninstallDigestTest, FilesAreReadBackOnlyOnceTheRegistrationAfterThemIsUndone) {
  auto written = [](const char* path, const char* bytes) {
    RecordEntry e = MakeEntry(RecordKind::kFileWritten, path);
    e.size = std::string(bytes).size();
    e.digest = FileDigest::Of(bytes);
    return e;
  };
  const std::vector<RecordEntry> entries = {
      written("C:\\App\\a.dat", "a"), written("C:\\App\\b.dll", "b"),
      MakeEntry(RecordKind::kRegistered, "C:\\App\\b.dll"), written("C:\\App\\c.dat", "c")};
  struct Case {
    const char* rewrites;
    const char* kept;  // the files left, in order
  };
  for (const Case& c : {Case{"", ""}, Case{"C:\\App\\a.dat", "C:\\App\\a.dat changed;"},
                        Case{"C:\\App\\c.dat", ""}}) {
    RewritingOnUnregister system;
    system.rewrites = c.rewrites;
    system.AddDirectory("C:\\App");
    for (const char* name : {"a", "b", "c"}) {
      system.AddFile(std::string("C:\\App\\") + name + (name[0] == 'b' ? ".dll" : ".dat"), name);
    }
    system.libraries["C:\\App\\b.dll"] = 0;
    std::string kept;
    UndoSink sink = [&](const UndoStep& s) {
      if (!s.reason.empty()) kept += s.path + " " + s.reason + ";";
    };
    Undo undo{system, system.encoding, sink, nullptr};
    Uninstall(undo, entries);
    // c.dat was decided before the library was unregistered: its rewrite comes after.
    EXPECT_EQ(kept, c.kept) << c.rewrites;
  }
}

}  // namespace
}  // namespace setup
