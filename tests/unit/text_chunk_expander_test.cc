#include "textcopy/chunk_expander.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace setup {
namespace {

// ChunkExpander must answer exactly what MacroTable::Expand answers.
void ExpectSameAsTable(const MacroTable& table, const std::string& chunk, std::size_t out_size) {
  ChunkExpander expander;
  expander.Reset(table);
  std::vector<char> want(out_size + 1), got(out_size + 1);
  bool want_ok = table.Expand(chunk.c_str(), want.data(), out_size);
  std::size_t length = 0;
  bool got_ok = expander.Expand(chunk.data(), chunk.size(), got.data(), out_size, &length);
  ASSERT_EQ(got_ok, want_ok) << chunk << " / " << out_size;
  if (got_ok) {
    EXPECT_STREQ(got.data(), want.data()) << chunk;
    EXPECT_EQ(length, std::strlen(want.data()));
  }
}

TEST(ChunkExpanderTest, MatchesTheMacroTable) {
  MacroTable table;
  table.Define("$$SETUPDIR$$", "C:\\App");
  table.Define("$$FD$$", "D:\\Dist");
  table.Define("ABC", "1");
  table.Define("AB", "2");
  table.Define("X", "XX");
  table.Define("E", "");
  const char* chunks[] = {
      "", "plain text\n", "$$SETUPDIR$$\\a", "$$FD$$$$FD$$", "$$fd$$", "ABCD", "ABD", "XXX",
      "EEE", "$$SETUPDIR", "$$SETUPDIR$", "trailing $", "A", "\x93\xfa$$FD$$",
  };
  for (const char* chunk : chunks) {
    for (std::size_t size : {1u, 2u, 5u, 8u, 12u, 64u, 4096u}) ExpectSameAsTable(table, chunk, size);
  }
  // A NUL ends the chunk.
  ChunkExpander expander;
  expander.Reset(table);
  char out[64];
  std::size_t length = 0;
  ASSERT_TRUE(expander.Expand("AB\0ABC", 6, out, sizeof out, &length));
  EXPECT_EQ(std::string(out, length), "2");
}

TEST(ChunkExpanderTest, EmptyTableCopies) {
  MacroTable table;
  ExpectSameAsTable(table, std::string(4095, 'a'), 4096);
  ExpectSameAsTable(table, std::string(4096, 'a'), 4096);
}

TEST(ChunkExpanderTest, RandomChunks) {
  std::mt19937 random(7);
  const char alphabet[] = "$AB/*#\n x";
  for (int round = 0; round < 2000; ++round) {
    MacroTable table;
    int rows = static_cast<int>(random() % 5);
    for (int r = 0; r < rows; ++r) {
      std::string name, value;
      for (int k = 1 + static_cast<int>(random() % 3); k > 0; --k) name += alphabet[random() % 9];
      for (int k = static_cast<int>(random() % 4); k > 0; --k) value += alphabet[random() % 9];
      table.Define(name, value);
    }
    std::string chunk;
    for (int k = static_cast<int>(random() % 40); k > 0; --k) chunk += alphabet[random() % 9];
    ExpectSameAsTable(table, chunk, 1 + random() % 60);
  }
}

}  // namespace
}  // namespace setup
