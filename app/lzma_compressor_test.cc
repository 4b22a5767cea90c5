// LZMA blocks written with liblzma read back through the LZMA SDK's decoder, across
// block edges and out of order; a damaged block is a read error of its files.
#include "app/lzma_compressor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pack/package_reader.h"
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

}  // namespace
}  // namespace setup
