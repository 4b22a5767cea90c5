// LZMA blocks written with liblzma read back through the LZMA SDK's decoder, across
// block edges and out of order; a damaged block is a read error of its files.
#include "app/lzma_compressor.h"

#include <gtest/gtest.h>
#include <lzma.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "pack/package_reader.h"
#include "pack/x86_filter.h"
#include "tests/unit/pe_image.h"

namespace setup {
namespace {

std::string Text(int lines, int step) {
  std::string text;
  for (int i = 0; i < lines; ++i) text += "line " + std::to_string(i * step % 101) + "\n";
  return text;
}

std::string ReadAll(InputFile& in) {
  std::string all, buffer(3000, '\0');
  for (std::ptrdiff_t n; (n = in.Read(buffer.data(), buffer.size())) != 0;) {
    if (n < 0) return "<read error>";
    all.append(buffer, 0, static_cast<std::size_t>(n));
  }
  return all;
}

TEST(LzmaCompressorTest, BlocksReadBackInAnyOrderAndDamageIsFound) {
  std::vector<pack::PackInput> files = {{"a.txt", Text(4000, 37), 0},
                                        {"b.bin", std::string(70000, '\0'), 0},
                                        {"c.txt", Text(3000, 11), 0},
                                        {"empty", "", 0},
                                        {"d.txt", "short", 0}};
  // Decoded ahead on threads (whole blocks, each its own dictionary) or on the reader's
  // thread (a stream through one dictionary), and with blocks cut between files.
  for (std::uint32_t block_size : {4096u, 50000u, 1u << 20})
    for (int mode = 0; mode < 3; ++mode) {
      LzmaCompressor lzma;
      std::string bytes;
      ASSERT_TRUE(
          pack::WritePackage(MakePe(300), files, lzma, block_size, &bytes, mode == 2 ? 2000 : 0)
              .ok());
      std::size_t raw = 0;
      for (const pack::PackInput& f : files) raw += f.contents.size();
      EXPECT_LT(bytes.size(), raw / 4) << block_size;
      pack::MemorySource source(bytes);
      std::unique_ptr<pack::Package> package;
      ASSERT_TRUE(pack::Package::Open(source, &package).ok());
      package->set_read_ahead(mode != 1);
      EXPECT_TRUE(package->Verify().ok());
      for (std::size_t i : {2u, 0u, 4u, 1u, 3u, 0u}) {
        EXPECT_TRUE(ReadAll(*package->OpenFile(i)) == files[i].contents)
            << block_size << " " << mode << " " << i;
      }
      // A damaged block is found by the check and is a read error of its files.
      bytes[0x200 + 300 + 40] ^= 0x55;  // inside the first block
      pack::MemorySource damaged(bytes);
      ASSERT_TRUE(pack::Package::Open(damaged, &package).ok());
      package->set_read_ahead(mode != 1);
      EXPECT_TRUE(package->Verify().Is(StatusKind::kCorrupt)) << block_size;
      EXPECT_EQ(ReadAll(*package->OpenFile(0)), "<read error>") << block_size;
    }
}

// Machine code nobody here wrote: `size` bytes of this test's own executable (x86-64)
// from its entry point on (where a position-independent executable's file offsets are
// its addresses), behind its first 64 bytes, the ELF header.
std::string OwnCode(std::size_t size) {
  std::ifstream in("/proc/self/exe", std::ios::binary);
  std::string header(64, '\0');
  in.read(header.data(), 64);
  std::uint64_t entry = 0;
  for (int i = 7; i >= 0; --i) entry = entry << 8 | static_cast<std::uint8_t>(header[24 + i]);
  std::string code(size, '\0');
  in.seekg(static_cast<std::streamoff>(entry));
  in.read(code.data(), static_cast<std::streamsize>(size));
  code.resize(static_cast<std::size_t>(in.gcount()));
  return header + code;
}

// `data` through liblzma's x86 filter alone: its raw encoder takes the filter only before
// LZMA1, so the LZMA1 stream is decoded again with LZMA1 alone.
std::string LiblzmaX86(const std::string& data) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 1);
  lzma_filter both[] = {
      {LZMA_FILTER_X86, nullptr}, {LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_filter lzma_only[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  std::string packed(data.size() * 2 + 4096, '\0'), filtered(data.size() + 16, '\0');
  std::size_t in_pos = 0, out_pos = 0;
  if (lzma_raw_buffer_encode(both, nullptr, reinterpret_cast<const std::uint8_t*>(data.data()),
                             data.size(), reinterpret_cast<std::uint8_t*>(packed.data()), &out_pos,
                             packed.size()) != LZMA_OK)
    return "<encode failed>";
  packed.resize(out_pos);
  out_pos = 0;
  lzma_raw_buffer_decode(lzma_only, nullptr, reinterpret_cast<const std::uint8_t*>(packed.data()),
                         &in_pos, packed.size(), reinterpret_cast<std::uint8_t*>(filtered.data()),
                         &out_pos, filtered.size());
  filtered.resize(out_pos);
  return filtered;
}

// Runs `filter` over `data` given `piece` new bytes at a time, as a reader does.
std::string Convert(std::string data, std::size_t piece, bool encode) {
  pack::X86Filter filter(encode);
  auto* bytes = reinterpret_cast<std::uint8_t*>(data.data());
  std::size_t final_bytes = 0;
  for (std::size_t seen = 0; seen < data.size();) {
    seen = std::min(data.size(), seen + piece);
    final_bytes += filter.Convert(bytes + final_bytes, seen - final_bytes);
  }
  filter.Convert(bytes + final_bytes, data.size() - final_bytes);  // the last bytes
  return data;
}

TEST(LzmaCompressorTest, TheX86FilterIsLiblzmasAndUndoesIt) {
  std::string calls;
  for (int i = 0; i < 300; ++i) {  // calls and jumps near and far, some back to back
    calls += std::string(i % 7, '\x90') + (i % 2 ? "\xe8" : "\xe9");
    calls += std::string{static_cast<char>(i), static_cast<char>(i * 3), i % 3 ? '\0' : '\x7f',
                         i % 5 ? '\0' : '\xff'};
  }
  struct Case {
    const char* name;
    std::string data;
  } cases[] = {{"own code", OwnCode(600000)},
               {"calls", calls},
               {"a call at the very end", "abc\xe8\x10\x00\x00\x00"},
               {"a call cut by the end", "abc\xe8\x10\x00\x00"},
               {"shorter than a call", "\xe8\x01"},
               {"text", Text(200, 7)}};
  for (const Case& c : cases) {
    std::string filtered = LiblzmaX86(c.data);
    ASSERT_EQ(filtered.size(), c.data.size()) << c.name;
    for (std::size_t piece : {std::size_t{1}, std::size_t{4}, std::size_t{5}, std::size_t{7},
                              std::size_t{4096}, c.data.size() + 1}) {
      EXPECT_TRUE(Convert(c.data, piece, true) == filtered) << c.name << " " << piece;
      EXPECT_TRUE(Convert(filtered, piece, false) == c.data) << c.name << " " << piece;
    }
  }
}

TEST(LzmaCompressorTest, ExecutablesGoThroughTheX86FilterAndReadBack) {
  std::string code = OwnCode(400000);
  std::vector<pack::PackInput> files = {
      {"a.txt", Text(3000, 13), 0}, {"lib.so", code, 0}, {"b.txt", Text(500, 3), 0}};
  // The executable in a block of its own between the two texts' blocks; with blocks of
  // 100,000 bytes, only the executable's first block, which begins with its header, goes
  // through the filter, its others as they are.
  using pack::Filter;
  struct Case {
    std::uint32_t block_size;
    std::vector<Filter> filters;
  } cases[] = {{1u << 20, {Filter::kNone, Filter::kX86, Filter::kNone}},
               {100000,
                {Filter::kNone, Filter::kX86, Filter::kNone, Filter::kNone, Filter::kNone,
                 Filter::kNone, Filter::kNone}}};
  for (const Case& c : cases)
    for (bool ahead : {true, false}) {
      LzmaCompressor lzma;
      std::string bytes;
      ASSERT_TRUE(pack::WritePackage(MakePe(300), files, lzma, c.block_size, &bytes).ok());
      pack::MemorySource source(bytes);
      std::unique_ptr<pack::Package> package;
      ASSERT_TRUE(pack::Package::Open(source, &package).ok());
      package->set_read_ahead(ahead);
      std::vector<pack::Filter> filters;
      for (const pack::BlockEntry& b : package->table().blocks) filters.push_back(b.filter);
      EXPECT_EQ(filters, c.filters) << c.block_size;
      EXPECT_TRUE(package->Verify().ok());
      for (std::size_t i : {1u, 0u, 2u, 1u}) {
        EXPECT_TRUE(ReadAll(*package->OpenFile(i)) == files[i].contents)
            << c.block_size << " " << ahead << " " << i;
      }
    }
}

}  // namespace
}  // namespace setup
