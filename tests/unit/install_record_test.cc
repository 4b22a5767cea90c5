#include "record/install_record.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/unit/fakes.h"

namespace setup {
namespace {

constexpr const char* kPath = "C:\\App\\Uninstall.rec";

std::vector<RecordEntry> SampleEntries() {
  RecordEntry run = MakeEntry(RecordKind::kRunBegan);
  RecordEntry dir = MakeEntry(RecordKind::kDirectoryCreated, "C:\\App");
  RecordEntry aside =
      MakeEntry(RecordKind::kMovedAside, "C:\\App\\a.dll", "C:\\App\\a.dll.~rollback");
  RecordEntry file =
      MakeEntry(RecordKind::kFileWritten, "C:\\App\\a.dll", "C:\\App\\a.dll.~rollback");
  file.existed_before = true;
  file.size = 3;
  file.digest = FileDigest::Of("abc");
  RecordEntry copied = MakeEntry(RecordKind::kFileWritten, "C:\\App\\b.dat");
  copied.no_digest = true;  // its digest follows
  RecordEntry digest = MakeEntry(RecordKind::kFileDigest, "C:\\App\\b.dat");
  digest.size = 4;
  digest.digest = FileDigest::Of("abcd");
  RecordEntry reg = MakeEntry(RecordKind::kRegistered, "C:\\App\\\x95\x5c.exe");
  reg.program = true;
  RecordEntry entry = MakeEntry(RecordKind::kEntryWritten, "Example.App");
  return {run, dir, aside, file, copied, digest, reg, entry};
}

// A record of two blocks, written through the writer over the fake.
std::string WrittenRecord(FakeSystem& system) {
  system.AddDirectory("C:\\App");
  Status status;
  auto writer = InstallRecordWriter::Create(system, kPath, "Example.App", &status);
  EXPECT_TRUE(status.ok());
  std::vector<RecordEntry> entries = SampleEntries();
  EXPECT_TRUE(writer->Append({entries.begin(), entries.begin() + 2}).ok());
  EXPECT_TRUE(writer->Append({entries.begin() + 2, entries.end()}).ok());
  EXPECT_TRUE(writer->SetState(RecordState::kAtRest).ok());
  return system.FileData(kPath);
}

TEST(InstallRecordTest, WhatIsWrittenIsReadBack) {
  FakeSystem system;
  WrittenRecord(system);
  InstallRecord record;
  ASSERT_TRUE(ReadInstallRecord(system, kPath, &record).ok());
  EXPECT_EQ(record.id, "Example.App");
  EXPECT_EQ(record.state, RecordState::kAtRest);
  EXPECT_EQ(record.blocks, 2u);
  EXPECT_EQ(record.entries, SampleEntries());

  // Continued: the new block follows the old ones, a torn tail is written over.
  system.files[kPath].data += "torn tail of a killed run";
  ASSERT_TRUE(ReadInstallRecord(system, kPath, &record).ok());
  Status status;
  auto writer = InstallRecordWriter::Continue(system, kPath, record, &status);
  ASSERT_TRUE(status.ok());
  ASSERT_TRUE(writer->Append({MakeEntry(RecordKind::kRunBegan)}).ok());
  ASSERT_TRUE(ReadInstallRecord(system, kPath, &record).ok());
  EXPECT_EQ(record.state, RecordState::kRunning);
  EXPECT_EQ(record.entries.size(), SampleEntries().size() + 1);

  // Rewound: the blocks after the mark no longer count.
  ASSERT_TRUE(writer->Rewind(RecordState::kAtRest, 0, 0).ok());
  ASSERT_TRUE(ReadInstallRecord(system, kPath, &record).ok());
  EXPECT_TRUE(record.entries.empty());
  EXPECT_TRUE(ReadInstallRecord(system, "C:\\App\\none.rec", &record).Is(StatusKind::kNotFound));
}

// Every kind of damage is refused as a whole: nothing of a damaged record is trusted.
TEST(InstallRecordTest, EveryDamageIsRefused) {
  FakeSystem system;
  const std::string good = WrittenRecord(system);
  const std::size_t first_block = kRecordHeaderSize;
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
  };
  auto flip = [](std::size_t at) { return [at](std::string& s) { s[at] ^= 0x01; }; };
  // A header rewritten with its digest made good, so that the check behind it is reached.
  auto header = [&](std::uint64_t committed, std::uint32_t blocks) {
    return [=](std::string& s) {
      s.replace(0, kRecordHeaderSize,
                EncodeHeader("Example.App", RecordState::kAtRest, committed, blocks));
    };
  };
  const std::uint64_t committed = good.size() - kRecordHeaderSize;
  const Case cases[] = {
      {"empty file", [](std::string& s) { s.clear(); }},
      {"header cut short", [](std::string& s) { s.resize(300); }},
      // Any header byte flipped fails its digest; a header made good reaches the rest.
      {"header digest", flip(kRecordHeaderSize - 1)},
      {"header count", flip(452)},
      {"header padding", flip(300)},
      {"block length", flip(first_block)},
      {"block entry", flip(first_block + 6)},
      {"last byte", [](std::string& s) { s.back() ^= 0x40; }},
      {"blocks cut short", [](std::string& s) { s.resize(s.size() - 10); }},
      {"more blocks counted", header(committed, 3)},
      {"fewer blocks counted", header(committed, 1)},
      {"counted past the end", header(committed + 1, 2)},
      {"counted mid-block", header(committed - 5, 2)},
      {"empty Id",
       [](std::string& s) {
         s.replace(0, kRecordHeaderSize, EncodeHeader("", RecordState::kAtRest, 0, 0));
       }},
      // A record of the first version, whose file digests were SHA-256, is not read.
      {"version 1",
       [](std::string& s) {
         s[8] = 1;
         Sha256::Digest d = Sha256::Of(s.substr(0, kRecordHeaderSize - 32));
         s.replace(kRecordHeaderSize - 32, 32, reinterpret_cast<const char*>(d.data()), 32);
       }},
      {"unknown kind",
       [](std::string& s) {
         std::string block = EncodeBlock({MakeEntry(static_cast<RecordKind>(9))});
         s = EncodeHeader("A", RecordState::kAtRest, block.size(), 1) + block;
       }},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    c.damage(bytes);
    InstallRecord record;
    Status status = ParseInstallRecord(bytes, kPath, &record);
    EXPECT_TRUE(status.Is(StatusKind::kCorrupt)) << c.what;
    EXPECT_EQ(status.path(), kPath) << c.what;
    EXPECT_TRUE(record.entries.empty()) << c.what;
  }
}

TEST(InstallRecordTest, AFailedWriteLeavesTheLastCountedBlocks) {
  FakeSystem system;
  system.AddDirectory("C:\\App");
  Status status;
  auto writer = InstallRecordWriter::Create(system, kPath, "A", &status);
  ASSERT_TRUE(writer->Append({MakeEntry(RecordKind::kRunBegan)}).ok());
  system.record_writes_left = 0;
  EXPECT_TRUE(writer->Append({MakeEntry(RecordKind::kDirectoryCreated, "C:\\App")})
                  .Is(StatusKind::kWriteError));
  InstallRecord record;
  ASSERT_TRUE(ReadInstallRecord(system, kPath, &record).ok());
  EXPECT_EQ(record.entries, std::vector<RecordEntry>{MakeEntry(RecordKind::kRunBegan)});
}

}  // namespace
}  // namespace setup
