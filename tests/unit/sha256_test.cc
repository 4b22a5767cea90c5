#include "base/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace setup {
namespace {

// The published test vectors, each fed whole and in pieces that straddle the 64-byte
// blocks, so a slip in the buffering or the padding shows.
TEST(Sha256Test, PublishedVectorsInAnyPieces) {
  struct Case {
    std::string text;
    const char* hex;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sha256::Hex(Sha256::Of(c.text)), c.hex) << c.text.size() << " bytes whole";
    for (std::size_t piece : {1u, 7u, 63u, 64u, 65u}) {
      Sha256 hash;
      for (std::size_t at = 0; at < c.text.size(); at += piece) {
        hash.Update(std::string_view(c.text).substr(at, piece));
      }
      EXPECT_EQ(Sha256::Hex(hash.Finish()), c.hex) << c.text.size() << " bytes by " << piece;
    }
  }
}

// The digest of `text` through the portable compression alone, padded here as FIPS 180-4
// says, apart from Sha256's own buffering.
std::string PortableHex(std::string_view text) {
  std::string padded(text);
  padded += '\x80';
  while (padded.size() % 64 != 56) padded += '\0';
  for (int i = 7; i >= 0; --i) padded += static_cast<char>((text.size() * 8) >> (8 * i));
  std::uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  Sha256CompressBlocksPortable(state, reinterpret_cast<const std::uint8_t*>(padded.data()),
                               padded.size() / 64);
  char hex[65];
  for (int i = 0; i < 8; ++i) std::snprintf(hex + 8 * i, 9, "%08x", state[i]);
  return std::string(hex, 64);
}

// Where the processor's SHA instructions do the work, they give the portable code's digest
// for every length around the block and buffer edges and for long runs of varied bytes.
TEST(Sha256Test, InstructionsAgreeWithPortableCode) {
  std::string bytes(300000, '\0');
  std::uint32_t x = 12345;
  for (char& c : bytes) {
    x = x * 1103515245 + 12345;
    c = static_cast<char>(x >> 16);
  }
  const std::size_t sizes[] = {0, 1, 55, 56, 63, 64, 65, 119, 128, 1000, 65536, 300000};
  for (std::size_t size : sizes) {
    std::string_view text = std::string_view(bytes).substr(0, size);
    EXPECT_EQ(Sha256::Hex(Sha256::Of(text)), PortableHex(text)) << size;
  }
  EXPECT_EQ(PortableHex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  if (!Sha256Accelerated()) GTEST_SKIP() << "no SHA instructions here: portable code only";
}

}  // namespace
}  // namespace setup
