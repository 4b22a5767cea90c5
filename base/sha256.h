// Sha256: the SHA-256 digest (FIPS 180-4) of a byte stream fed in pieces of any size.
// The install record keeps it for every file a run wrote, so that an uninstall can tell an
// unchanged file from one the user changed; a package keeps it for every file it holds.
// Portable and self-contained, so that both programs and the core compute the same digest;
// the compression, on the processor's SHA instructions where it has them, in sha256.cc.
#ifndef SETUP_BASE_SHA256_H_
#define SETUP_BASE_SHA256_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace setup {

// SHA-256's compression of `blocks` 64-byte blocks of `data` into `state` (a, b, ... h),
// on the processor's SHA instructions where it has them, else in portable code
// (base/sha256.cc, the one file that includes the compiler's intrinsics).
void Sha256CompressBlocks(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks);
// The same in portable code alone, what the instructions are held against.
void Sha256CompressBlocksPortable(std::uint32_t state[8], const std::uint8_t* data,
                                  std::size_t blocks);
// Whether Sha256CompressBlocks runs on the processor's SHA instructions.
bool Sha256Accelerated();

class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;

  void Update(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    length_ += size;
    if (used_ > 0) {
      std::size_t take = size < 64 - used_ ? size : 64 - used_;
      std::memcpy(block_ + used_, bytes, take);
      used_ += take;
      bytes += take;
      size -= take;
      if (used_ < 64) return;
      CompressBlocks(block_, 1);
      used_ = 0;
    }
    CompressBlocks(bytes, size / 64);
    bytes += size / 64 * 64;
    size %= 64;
    std::memcpy(block_, bytes, size);
    used_ = size;
  }
  void Update(std::string_view text) { Update(text.data(), text.size()); }

  // The digest of everything fed so far; the object is spent afterwards.
  Digest Finish() {
    std::uint64_t bits = length_ * 8;
    static const std::uint8_t kPad[64] = {0x80};
    Update(kPad, used_ < 56 ? 56 - used_ : 120 - used_);
    std::uint8_t tail[8];
    for (int i = 0; i < 8; ++i) tail[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Update(tail, 8);
    Digest digest;
    for (int i = 0; i < 8; ++i) {
      for (int j = 0; j < 4; ++j) {
        digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
      }
    }
    return digest;
  }

  // The digest as 64 lower-case hexadecimal digits.
  static std::string Hex(const Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (std::uint8_t b : digest) {
      hex += kDigits[b >> 4];
      hex += kDigits[b & 15];
    }
    return hex;
  }

  static Digest Of(std::string_view text) {
    Sha256 hash;
    hash.Update(text);
    return hash.Finish();
  }

 private:
  void CompressBlocks(const std::uint8_t* p, std::size_t blocks) {
    if (blocks > 0) Sha256CompressBlocks(state_, p, blocks);
  }

  std::uint32_t state_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::uint8_t block_[64] = {};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
};

}  // namespace setup

#endif  // SETUP_BASE_SHA256_H_
