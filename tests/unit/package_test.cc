// The package format, with stored blocks (app/lzma_compressor_test.cc reads LZMA ones):
// what is written reads back whole; every kind of damage is a kCorrupt at opening or at the check,
// never a crash; a signed package is read up to its certificate table and no further.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pack/package_reader.h"
#include "pack/package_writer.h"
#include "tests/unit/pe_image.h"

namespace setup::pack {
namespace {

// A name whose second byte is 0x5C (表 in code page 932), a folder, an empty file, a
// file repeated under another name and one larger than a block.
std::vector<PackInput> Files() {
  std::string big;
  for (int i = 0; i < 5000; ++i) big += "line " + std::to_string(i * 37 % 101) + "\n";
  return {{"Setup.Inf", "BinCopy $$FD$$\\p.dat C:\\p.dat\n", 1'000'000'000'123'456'789},
          {"\x95\x5c.dat", "double-byte", 5},
          {"sub\\p.dat", std::string("\0\x5c\xff", 3), 0},
          {"empty", "", 0},
          {"copy.txt", big, 7},
          {"big.txt", big, 7}};
}

std::string Pack(BlockCompressor& compressor, std::uint32_t block_size,
                 const std::vector<PackInput>& files = Files()) {
  std::string out;
  EXPECT_TRUE(WritePackage(MakePe(600), files, compressor, block_size, &out).ok());
  return out;
}

std::string ReadAll(InputFile& in, std::size_t piece) {
  std::string all, buffer(piece, '\0');
  for (std::ptrdiff_t n; (n = in.Read(buffer.data(), piece)) != 0;) {
    if (n < 0) return "<read error>";
    all.append(buffer, 0, static_cast<std::size_t>(n));
  }
  return all;
}

// A source that counts its reads and refuses any at or past `limit`.
class WatchedSource : public MemorySource {
 public:
  explicit WatchedSource(std::string_view bytes, std::uint64_t limit = ~0ull)
      : MemorySource(bytes), limit_(limit) {}
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    ++reads;
    return offset + size <= limit_ && MemorySource::ReadAt(offset, buffer, size);
  }
  int reads = 0;

 private:
  std::uint64_t limit_;
};

// Decoded ahead on threads or on the reader's own, the same bytes come back.
TEST(PackageTest, EveryFileReadsBackWholeInAnyPieces) {
  StoredCompressor stored;
  for (std::uint32_t block_size : {7u, 4096u, 1u << 20})
    for (bool ahead : {true, false}) {
      std::string bytes = Pack(stored, block_size);
      EXPECT_EQ(bytes.size() % 8, 0u);
      MemorySource source(bytes);
      std::unique_ptr<Package> package;
      ASSERT_TRUE(Package::Open(source, &package).ok()) << block_size;
      ASSERT_TRUE(package);
      package->set_read_ahead(ahead);
      EXPECT_TRUE(package->Verify().ok());
      std::vector<PackInput> files = Files();
      ASSERT_EQ(package->table().files.size(), files.size());
      // Read backwards, so that blocks are started again, in pieces across block edges.
      for (std::size_t i = files.size(); i-- > 0;) {
        const FileEntry& entry = package->table().files[i];
        EXPECT_EQ(entry.name, files[i].name);
        EXPECT_EQ(entry.mtime_ns, files[i].mtime_ns);
        for (std::size_t piece : {1u, 5u, 4096u}) {
          EXPECT_TRUE(ReadAll(*package->OpenFile(i), piece) == files[i].contents) << entry.name;
        }
      }
    }
}

// Reads that jump forward within a block, across blocks, back, and past the end, each
// from a package decoded ahead by one or two threads and from one decoded on the reader's
// thread: the same answers.
TEST(PackageTest, ReadsInAnyOrderAnswerAlikeDecodedAheadOrNot) {
  StoredCompressor stored;
  std::string text;
  for (int i = 0; i < 3000; ++i) text += static_cast<char>('a' + i * 7 % 26);
  std::string bytes = Pack(stored, 1000, {{"t", text, 0}});
  const struct {
    std::uint64_t position;
    std::size_t size;
    bool ok;
  } reads[] = {{0, 10, true},    {500, 20, true}, {990, 20, true},  {2500, 100, true},
               {100, 1, true},   {2999, 1, true}, {2999, 2, false}, {3000, 0, true},
               {3000, 1, false}, {1999, 1, true}, {0, 3000, true}};
  for (int mode = 0; mode < 3; ++mode) {
    MemorySource source(bytes);
    std::unique_ptr<Package> package;
    ASSERT_TRUE(Package::Open(source, &package).ok());
    ASSERT_EQ(package->table().blocks.size(), 3u);
    package->set_read_ahead(mode != 2, mode == 0 ? 1 : 2);
    for (const auto& r : reads) {
      std::string got(r.size, '\0');
      bool ok = package->ReadUncompressed(r.position, got.data(), r.size);
      EXPECT_EQ(ok, r.ok) << mode << " at " << r.position;
      if (ok && r.ok) {
        EXPECT_EQ(got, text.substr(r.position, r.size)) << mode << " at " << r.position;
      }
    }
  }
}

// A block ends past `least` bytes only before a file of another family, and at `most`
// bytes inside any file; the writer's blocks end there and FindBlock finds them.
TEST(PackageTest, BlocksEndBetweenUnrelatedFiles) {
  using Keys = std::vector<std::vector<std::string>>;
  const struct {
    std::vector<std::uint64_t> positions;
    Keys keys;
    std::uint64_t total;
    std::uint32_t least, most;
    std::vector<std::uint64_t> ends;
  } cases[] = {
      {{}, {}, 0, 4, 8, {}},
      {{0}, {{"a"}}, 20, 4, 8, {8, 16, 20}},
      {{0, 5, 10}, {{"a"}, {"b"}, {"c"}}, 12, 4, 8, {5, 10, 12}},
      {{0, 5, 10}, {{"a"}, {"a"}, {"b"}}, 12, 4, 8, {8, 12}},
      {{0, 2, 4, 6}, {{"a"}, {"b"}, {"c"}, {"d"}}, 8, 4, 100, {4, 8}},
      {{0, 5, 9}, {{"x", "a"}, {"a"}, {"b"}}, 12, 4, 100, {9, 12}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BlockEnds(c.positions, c.keys, c.total, c.least, c.most), c.ends) << c.total;
  }
  EXPECT_EQ(FamilyKey("Fonts\\IPAGP.ttf"), "fonts\\ipa");
  EXPECT_EQ(FamilyKey("ipag.ttf"), "ipa");
  EXPECT_EQ(FamilyKey("a"), "a");

  // A font under two names, one like it and an unrelated one, 4 bytes at least a block:
  // the second font stays with the first (one of its names is of its family).
  StoredCompressor stored;
  std::string out;
  std::vector<PackInput> files = {{"gothic.ttf", "AAAAAA", 0},
                                  {"ipag.ttf", "AAAAAA", 0},
                                  {"ipagp.ttf", "AAAAAB", 0},
                                  {"sans.ttf", "CCCCCC", 0}};
  ASSERT_TRUE(WritePackage(MakePe(600), files, stored, 100, &out, 4).ok());
  MemorySource source(out);
  std::unique_ptr<Package> package;
  ASSERT_TRUE(Package::Open(source, &package).ok());
  const Table& table = package->table();
  ASSERT_EQ(table.blocks.size(), 2u);
  EXPECT_EQ(table.blocks[0].size, 12u);
  EXPECT_EQ(table.block_size, 12u);
  EXPECT_EQ(FindBlock(table, 11), 0u);
  EXPECT_EQ(FindBlock(table, 12), 1u);
  EXPECT_EQ(FindBlock(table, 17), 1u);
  EXPECT_EQ(FindBlock(table, 18), 2u);  // past the end
}

TEST(PackageTest, ALoaderWithBytesAfterItsImageIsRefused) {
  StoredCompressor stored;
  std::string out;
  EXPECT_TRUE(WritePackage(MakePe(600) + "symbols", Files(), stored, 64, &out)
                  .Is(StatusKind::kUnsupported));
  std::vector<PackInput> twice = {{"a", "1", 0}, {"a", "2", 0}};
  EXPECT_TRUE(WritePackage(MakePe(600), twice, stored, 64, &out).Is(StatusKind::kInvalidName));
}

// Damage anywhere is found by opening (the trailer, the table) or by the check (the
// loader, a block), before a file is read. A plain Setup.exe, signed too (the signer pads
// it to 8 bytes with zeros), is no package; anything else after its image is damage, and
// so are bytes after a package's signature or a signature cut short.
TEST(PackageTest, DamageIsCorruptAtOpeningOrAtTheCheck) {
  StoredCompressor stored;
  const std::string good = Pack(stored, 4096);
  MemorySource probe(good);
  std::unique_ptr<Package> layout;
  ASSERT_TRUE(Package::Open(probe, &layout).ok());
  std::size_t table = static_cast<std::size_t>(layout->table().blocks.back().offset +
                                               layout->table().blocks.back().compressed_size);
  std::size_t block = static_cast<std::size_t>(layout->table().blocks[1].offset + 3);
  enum Outcome { kNoPackage, kAtOpen, kAtCheck };
  auto flip = [&good](std::size_t at) {
    std::string b = good;
    b[at] = static_cast<char>(b[at] ^ 0x40);
    return b;
  };
  auto plain = [](std::string after_image, bool sign) {
    std::string pe = MakePe(601) + after_image;
    if (sign) SignPe(&pe, 100);
    return pe;
  };
  std::string signed_bytes = good;
  SignPe(&signed_bytes, 1000);
  const struct {
    const char* what;
    std::string bytes;
    Outcome outcome;
  } cases[] = {
      {"a loader byte", flip(0x210), kAtCheck},
      {"a block byte", flip(block), kAtCheck},
      {"a table byte", flip(table + 40), kAtOpen},
      {"a trailer offset", flip(good.size() - 60), kAtOpen},
      {"the trailer's magic", flip(good.size() - 1), kAtOpen},
      {"truncated by 1", good.substr(0, good.size() - 1), kAtOpen},
      {"truncated into the blocks", good.substr(0, table - 8), kAtOpen},
      {"1 byte appended", good + "x", kAtOpen},
      {"a copy appended", good + good, kAtOpen},
      {"a byte after the signature", signed_bytes + "x", kAtOpen},
      {"a signature cut short", signed_bytes.substr(0, signed_bytes.size() - 1), kAtOpen},
      {"plain", plain("", false), kNoPackage},
      {"plain, signed", plain("", true), kNoPackage},
      {"plain, 3 zeros, signed", plain(std::string(3, '\0'), true), kNoPackage},
      {"plain, 7 zeros", plain(std::string(7, '\0'), false), kNoPackage},
      {"plain, 2 zeros and x, signed", plain(std::string("\0\0x", 3), true), kAtOpen},
      {"plain, 8 zeros", plain(std::string(8, '\0'), false), kAtOpen},
  };
  for (const auto& c : cases) {
    MemorySource source(c.bytes);
    std::unique_ptr<Package> package;
    Status opened = Package::Open(source, &package);
    if (c.outcome != kAtCheck) {
      EXPECT_TRUE(c.outcome == kNoPackage ? opened.ok() && !package
                                          : opened.Is(StatusKind::kCorrupt))
          << c.what;
      continue;
    }
    ASSERT_TRUE(opened.ok()) << c.what;
    EXPECT_TRUE(package->Verify().Is(StatusKind::kCorrupt)) << c.what;
  }
  // A damaged block is also a read error of the files in it, when read unchecked.
  std::string bytes = flip(block);
  MemorySource source(bytes);
  std::unique_ptr<Package> package;
  ASSERT_TRUE(Package::Open(source, &package).ok());
  EXPECT_TRUE(ReadAll(*package->OpenFile(4), 4096) == "<read error>");
  // The same bytes, stored once: a failed read keeps nothing for the other name.
  EXPECT_TRUE(ReadAll(*package->OpenFile(5), 4096) == "<read error>");
  EXPECT_EQ(ReadAll(*package->OpenFile(0), 4096), Files()[0].contents);
}

// A signer rewrites the checksum and the security entry and appends its table: the
// package still opens and checks, and nothing at or past the table is read.
TEST(PackageTest, ASignedPackageIsReadUpToItsCertificateTable) {
  StoredCompressor stored;
  std::string signed_bytes = Pack(stored, 4096);
  std::uint64_t certificate = signed_bytes.size();
  SignPe(&signed_bytes, 1000);
  WatchedSource source(signed_bytes, certificate);
  std::unique_ptr<Package> package;
  ASSERT_TRUE(Package::Open(source, &package).ok());
  ASSERT_TRUE(package);
  EXPECT_TRUE(package->Verify().ok());
  EXPECT_EQ(ReadAll(*package->OpenFile(0), 4096), Files()[0].contents);
}

// The same bytes under two names are stored once; once one name has been read, the
// other is served from memory, without reading the package again.
TEST(PackageTest, BytesUnderTwoNamesAreStoredAndDecodedOnce) {
  std::string font(300000, 'f');
  std::vector<PackInput> files = {{"a.ttf", font, 0}, {"other", "x", 0}, {"b.ttf", font, 0}};
  StoredCompressor stored;
  std::string bytes = Pack(stored, 1 << 20, files);
  EXPECT_LT(bytes.size(), 600 + 0x200 + 2 * font.size());
  WatchedSource source(bytes);
  std::unique_ptr<Package> package;
  ASSERT_TRUE(Package::Open(source, &package).ok());
  EXPECT_EQ(ReadAll(*package->OpenFile(0), 65536), font);
  EXPECT_EQ(ReadAll(*package->OpenFile(1), 65536), "x");
  int reads = source.reads;
  EXPECT_EQ(ReadAll(*package->OpenFile(2), 65536), font);
  EXPECT_EQ(source.reads, reads);
}

TEST(PackageTest, ATableOfHugeCountsIsCorruptWithoutAllocating) {
  Trailer trailer;
  trailer.loader_size = 0x300;
  trailer.table_offset = 0x300;
  Table table;
  table.block_size = 4096;
  std::string bytes = EncodeTable(table);
  // The block count, then the file count, made four thousand million.
  for (std::size_t at : {std::size_t{4 + 4 + 1 + 5 + 4}, std::size_t{4 + 4 + 1 + 5 + 8}}) {
    std::string huge = bytes;
    huge.replace(at, 4, "\xff\xff\xff\xff");
    Table decoded;
    EXPECT_TRUE(DecodeTable(huge, trailer, &decoded).Is(StatusKind::kCorrupt));
  }
  Table decoded;
  EXPECT_TRUE(DecodeTable(bytes, trailer, &decoded).ok());
}

}  // namespace
}  // namespace setup::pack
