#include "base/sha256.h"

// The compression on the x86 SHA extensions: about ten times the portable code's speed
// where the processor has them, which matters where every byte of a package and of an
// install is hashed. Compiler intrinsics only, in this file alone; elsewhere (another
// processor, another compiler) only the portable code is built.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define SETUP_SHA256_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

#include "base/sha256_rounds.h"

namespace setup {
namespace {

#ifdef SETUP_SHA256_X86
namespace x86 {

// Whether this processor has the SHA extensions and the SSSE3 and SSE4.1 they are used with.
bool Available() {
  static const bool available = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
    const bool ssse3 = (c >> 9) & 1, sse41 = (c >> 19) & 1;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
    return ssse3 && sse41 && ((b >> 29) & 1) != 0;
  }();
  return available;
}

// Compresses `blocks` 64-byte blocks of `data` into `state` (a, b, ... h). Call only when
// Available() says so.
__attribute__((target("sha,sse4.1"))) void CompressBlocks(std::uint32_t state[8],
                                                          const std::uint8_t* data,
                                                          std::size_t blocks) {
  // The message words are big-endian.
  const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  // The instructions keep the state as ABEF and CDGH.
  __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i efgh =
      _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abef_before = abef, cdgh_before = cdgh;
    __m128i w[4];  // the last sixteen message words, four to a register
    for (int i = 0; i < 16; ++i) {
      __m128i& now = w[i & 3];
      if (i < 4) {
        now = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)),
                               swap);
      } else {
        // w[i-4] (now's old value), w[i-3], w[i-2], w[i-1] give w[i].
        const __m128i& w3 = w[(i + 1) & 3];
        const __m128i& w2 = w[(i + 2) & 3];
        const __m128i& w1 = w[(i + 3) & 3];
        __m128i next = _mm_sha256msg1_epu32(now, w3);
        next = _mm_add_epi32(next, _mm_alignr_epi8(w1, w2, 4));
        now = _mm_sha256msg2_epu32(next, w1);
      }
      __m128i message = _mm_add_epi32(
          now, _mm_load_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants + 4 * i)));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(message, 0x0E));
    }
    abef = _mm_add_epi32(abef, abef_before);
    cdgh = _mm_add_epi32(cdgh, cdgh_before);
  }
  __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace x86
#endif

std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void CompressPortable(std::uint32_t state[8], const std::uint8_t* p) {
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
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
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
  for (int i = 0; i < 8; ++i) state[i] += v[i];
}

}  // namespace

void Sha256CompressBlocksPortable(std::uint32_t state[8], const std::uint8_t* data,
                                  std::size_t blocks) {
  for (; blocks > 0; --blocks, data += 64) CompressPortable(state, data);
}

void Sha256CompressBlocks(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks) {
#ifdef SETUP_SHA256_X86
  if (x86::Available()) {
    x86::CompressBlocks(state, data, blocks);
    return;
  }
#endif
  Sha256CompressBlocksPortable(state, data, blocks);
}

bool Sha256Accelerated() {
#ifdef SETUP_SHA256_X86
  return x86::Available();
#else
  return false;
#endif
}

}  // namespace setup
