// Sha256: the SHA-256 digest (FIPS 180-4) of a byte stream fed in pieces of any size.
// The install record keeps it for every file a run wrote, so that an uninstall can tell an
// unchanged file from one the user changed; a package keeps it for every file it holds.
// Portable and self-contained, so that both programs and the core compute the same digest.
#ifndef SETUP_BASE_SHA256_H_
#define SETUP_BASE_SHA256_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/sha256_rounds.h"
#include "base/sha256_x86.h"

namespace setup {

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

  // Whether the processor's SHA instructions do the work (else the portable code).
  static bool Accelerated() {
#ifdef SETUP_SHA256_X86
    return sha256_x86::Available();
#else
    return false;
#endif
  }
  // The portable code alone, for comparing the two.
  static Digest PortableOf(std::string_view text) {
    Sha256 hash;
    hash.portable_ = true;
    hash.Update(text);
    return hash.Finish();
  }

 private:
  void CompressBlocks(const std::uint8_t* p, std::size_t blocks) {
#ifdef SETUP_SHA256_X86
    if (!portable_ && blocks > 0 && sha256_x86::Available()) {
      sha256_x86::CompressBlocks(state_, p, blocks);
      return;
    }
#endif
    for (; blocks > 0; --blocks, p += 64) Compress(p);
  }

  static std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

  void Compress(const std::uint8_t* p) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
      w[i] = std::uint32_t{p[4 * i]} << 24 | std::uint32_t{p[4 * i + 1]} << 16 |
             std::uint32_t{p[4 * i + 2]} << 8 | std::uint32_t{p[4 * i + 3]};
    }
    for (int i = 16; i < 64; ++i) {
      std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
    // Eight rounds a step, the variables renamed instead of moved.
    auto round = [&w](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d,
                      std::uint32_t e, std::uint32_t f, std::uint32_t g, std::uint32_t& h, int i) {
      std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                         kSha256RoundConstants[i] + w[i];
      std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      d += t1;
      h = t1 + t2;
    };
    for (int i = 0; i < 64; i += 8) {
      round(a, b, c, d, e, f, g, h, i);
      round(h, a, b, c, d, e, f, g, i + 1);
      round(g, h, a, b, c, d, e, f, i + 2);
      round(f, g, h, a, b, c, d, e, i + 3);
      round(e, f, g, h, a, b, c, d, i + 4);
      round(d, e, f, g, h, a, b, c, i + 5);
      round(c, d, e, f, g, h, a, b, i + 6);
      round(b, c, d, e, f, g, h, a, i + 7);
    }
    const std::uint32_t v[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) state_[i] += v[i];
  }

  std::uint32_t state_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::uint8_t block_[64] = {};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
  bool portable_ = false;
};

}  // namespace setup

#endif  // SETUP_BASE_SHA256_H_
