// PackageSystem over the fake system: packed files are found in the program directory
// without case and only there, a double-byte character's second byte is never folded or
// taken for a separator, reads and copies come from the package with its times, a
// changed file is a read error that writes nothing, and a packed component is
// registered from a private folder that is gone afterwards.
#include "pack/package_system.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pack/package_writer.h"
#include "tests/unit/fakes.h"
#include "tests/unit/pe_image.h"

namespace setup::pack {
namespace {

constexpr std::int64_t kSecond = 1000000000;

class FakePrivateFolder : public PrivateFolder {
 public:
  explicit FakePrivateFolder(FakeSystem& system) : system_(system) {}
  bool Create(std::string* path) override {
    *path = "C:\\private" + std::to_string(++made);
    system_.AddDirectory(*path);
    return true;
  }
  void Remove(const std::string& path) override {
    removed.push_back(path);
    for (auto it = system_.files.begin(); it != system_.files.end();) {
      it = it->first.rfind(path + "\\", 0) == 0 ? system_.files.erase(it) : std::next(it);
    }
  }
  int made = 0;
  std::vector<std::string> removed;

 private:
  FakeSystem& system_;
};

class PackageSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<PackInput> files = {{"Setup.Inf", "script", 1000 * kSecond},
                                    {"\x95\x5c.dat", "table", 2000 * kSecond},
                                    {"\x83\x61.dat", "katakana", 3000 * kSecond},
                                    {"sub\\p.dat", "payload", 4000 * kSecond},
                                    {"comp.dll", "MZ component", 5000 * kSecond}};
    StoredCompressor stored;
    ASSERT_TRUE(WritePackage(MakePe(64), files, stored, 4096, &bytes_).ok());
    Open();
    fake_.AddFile("C:\\prog\\beside.txt", "on disk", 7);
    fake_.AddDirectory("C:\\dest");
  }

  void Open() {
    source_ = std::make_unique<MemorySource>(bytes_);
    ASSERT_TRUE(Package::Open(*source_, &package_).ok());
    layer_ =
        std::make_unique<PackageSystem>(fake_, *package_, fake_.encoding, "C:\\prog", &folder_);
  }

  std::string Read(const std::string& path) {
    std::unique_ptr<InputFile> in;
    if (!layer_->OpenForReading(path, &in).ok()) return "<none>";
    std::string all(100, '\0');
    std::ptrdiff_t n = in->Read(all.data(), all.size());
    if (n < 0) return "<read error>";
    all.resize(static_cast<std::size_t>(n));
    return all;
  }

  std::string bytes_;
  FakeSystem fake_;
  FakePrivateFolder folder_{fake_};
  std::unique_ptr<MemorySource> source_;
  std::unique_ptr<Package> package_;
  std::unique_ptr<PackageSystem> layer_;
};

// What a path reads, and the time it has (the package's for a packed file).
TEST_F(PackageSystemTest, PackedFilesAreFoundWithoutCaseInTheProgramDirectoryOnly) {
  const struct {
    std::string path, read;
    std::uint32_t mtime;
  } cases[] = {
      {"C:\\prog\\Setup.Inf", "script", 1000},
      {"c:/PROG/SETUP.INF", "script", 1000},
      {"C:\\prog\\\\SUB\\P.dat", "payload", 4000},
      {"C:\\prog\\sub/p.dat", "payload", 4000},
      {"C:\\prog\\\x95\x5c.dat", "table", 2000},
      {"C:\\prog\\\x95\x5c.DAT", "table", 2000},
      {"C:\\prog\\\x95/.dat", "<none>", 0},  // after a lead byte, '/' is no separator
      {"C:\\prog\\\x83\x61.dat", "katakana", 3000},
      {"C:\\prog\\\x83\x41.dat", "<none>", 0},  // nor a letter to fold
      {"C:\\prog\\beside.txt", "on disk", 7},   // not packed: the disk
      {"C:\\other\\Setup.Inf", "<none>", 0},
      {"C:\\prog\\sub", "<none>", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Read(c.path), c.read) << c.path;
    std::uint32_t mtime = 0;
    if (c.mtime != 0) {
      EXPECT_TRUE(layer_->GetFileStatus(c.path, &mtime).ok() && mtime == c.mtime) << c.path;
    }
  }
}

TEST_F(PackageSystemTest, CopiesComeFromThePackage) {
  std::uint32_t mtime = 0;
  EXPECT_FALSE(layer_->GetFileStatus("C:\\prog\\missing", &mtime).ok());
  ASSERT_TRUE(layer_->CopyFileBytes("C:\\prog\\sub\\p.dat", "C:\\dest\\p.dat").ok());
  EXPECT_EQ(fake_.FileData("C:\\dest\\p.dat"), "payload");
  EXPECT_EQ(fake_.files["C:\\dest\\p.dat"].mtime, 4000u);
  EXPECT_TRUE(layer_->CopyFileBytes("C:\\prog\\beside.txt", "C:\\dest\\b.txt").ok());
  EXPECT_EQ(fake_.log, (std::vector<std::string>{"copy C:\\prog\\beside.txt C:\\dest\\b.txt"}));
}

// A packed file is watched as it is written out when the watcher asks for its size; a
// file on disk is the system's to copy (the fake watches none).
TEST_F(PackageSystemTest, APackedFileIsWatchedUpToTheWatchersLimit) {
  class Kept : public CopyWatcher {
   public:
    explicit Kept(std::uint64_t limit) : CopyWatcher(limit) {}
    void Begin() override { bytes = "<begun>"; }
    void Written(const void* data, std::size_t size) override {
      bytes.append(static_cast<const char*>(data), size);
    }
    std::string bytes;
  };
  const struct {
    const char* source;
    std::uint64_t limit;
    bool watched;
    const char* seen;
  } cases[] = {
      {"C:\\prog\\sub\\p.dat", 7, true, "<begun>payload"},
      {"C:\\prog\\sub\\p.dat", 6, false, ""},
      {"C:\\prog\\beside.txt", 100, false, ""},
  };
  for (const auto& c : cases) {
    Kept kept(c.limit);
    bool watched = !c.watched;
    ASSERT_TRUE(layer_->CopyFileBytesWatched(c.source, "C:\\dest\\copy", &kept, &watched).ok())
        << c.source;
    EXPECT_EQ(watched, c.watched) << c.source << " " << c.limit;
    EXPECT_EQ(kept.bytes, c.seen) << c.source << " " << c.limit;
    EXPECT_EQ(fake_.FileData("C:\\dest\\copy"), Read(c.source)) << c.source;
  }
}

// A file changed after the check (the package rewritten underneath) reads as an error,
// and a copy of it leaves no destination.
TEST_F(PackageSystemTest, AChangedFileIsAReadErrorAndCopiesNothing) {
  std::size_t at = bytes_.find("payload");
  ASSERT_NE(at, std::string::npos);
  bytes_[at] = 'P';
  EXPECT_EQ(Read("C:\\prog\\sub\\p.dat"), "<read error>");
  EXPECT_FALSE(layer_->CopyFileBytes("C:\\prog\\sub\\p.dat", "C:\\dest\\p.dat").ok());
  EXPECT_FALSE(fake_.HasFile("C:\\dest\\p.dat"));
  EXPECT_EQ(Read("C:\\prog\\Setup.Inf"), "script");
}

TEST_F(PackageSystemTest, APackedComponentIsRegisteredFromAPrivateFolder) {
  fake_.libraries["C:\\private1\\comp.dll"] = 0;
  std::int32_t hresult = -1;
  EXPECT_TRUE(layer_->CallDllRegisterServer("C:\\prog\\COMP.DLL", &hresult).ok());
  EXPECT_EQ(hresult, 0);
  EXPECT_EQ(folder_.removed, (std::vector<std::string>{"C:\\private1"}));
  EXPECT_FALSE(fake_.HasFile("C:\\private1\\comp.dll"));

  fake_.programs.insert("C:\\private2\\comp.dll");
  std::unique_ptr<Process> process;
  ASSERT_TRUE(layer_->StartProcess("C:\\prog\\comp.dll", "/regserver", "", &process).ok());
  EXPECT_EQ(fake_.spawned.back().working_dir, "C:\\private2");
  EXPECT_EQ(fake_.FileData("C:\\private2\\comp.dll"), "MZ component");
  process.reset();
  EXPECT_EQ(folder_.removed.back(), "C:\\private2");
  EXPECT_FALSE(fake_.HasFile("C:\\private2\\comp.dll"));
}

}  // namespace
}  // namespace setup::pack
