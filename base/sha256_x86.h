// SHA-256's compression function on the x86 SHA extensions, for Sha256 (base/sha256.h):
// about ten times the portable code's speed where the processor has them, which matters
// where every byte of a package and of an install is hashed. Compiler intrinsics only;
// elsewhere (another processor, another compiler) nothing is defined and Sha256 keeps its
// portable code.
#ifndef SETUP_BASE_SHA256_X86_H_
#define SETUP_BASE_SHA256_X86_H_

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define SETUP_SHA256_X86 1

#include <cpuid.h>
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "base/sha256_rounds.h"

namespace setup::sha256_x86 {

// Whether this processor has the SHA extensions and the SSSE3 and SSE4.1 they are used with.
inline bool Available() {
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
__attribute__((target("sha,sse4.1"))) inline void CompressBlocks(std::uint32_t state[8],
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

}  // namespace setup::sha256_x86

#endif

#endif  // SETUP_BASE_SHA256_X86_H_
