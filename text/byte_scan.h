// Finding the first of a few byte values in a buffer, for the text copy's hot loops:
// sixteen bytes a step where the processor has SSE2 (the compiler's vector extension),
// eight a step in a 64-bit word elsewhere on a little-endian processor, one by one
// otherwise. Every way gives the same answer; none reads outside [p, end).
#ifndef SETUP_TEXT_BYTE_SCAN_H_
#define SETUP_TEXT_BYTE_SCAN_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace setup {

#if defined(__SSE2__) && defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define SETUP_BYTE_SCAN_VECTORS 1
#elif defined(__GNUC__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define SETUP_BYTE_SCAN_WORDS 1
#endif

namespace byte_scan {

#if SETUP_BYTE_SCAN_VECTORS
typedef unsigned char Bytes16 __attribute__((vector_size(16)));

inline Bytes16 Splat(unsigned char c) {
  return Bytes16{c, c, c, c, c, c, c, c, c, c, c, c, c, c, c, c};
}

inline Bytes16 Load16(const unsigned char* p) {
  Bytes16 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

typedef char Chars16 __attribute__((vector_size(16)));

// The high bit of each byte of `v` (bit i for byte i): for a comparison result, which
// bytes compared true.
inline unsigned HighBits(Bytes16 v) {
  return static_cast<unsigned>(__builtin_ia32_pmovmskb128(std::bit_cast<Chars16>(v)));
}

// The index of the first byte of a comparison result that is set, or 16.
inline unsigned FirstSet(Bytes16 hit) {
  unsigned bits = HighBits(hit);
  return bits != 0 ? static_cast<unsigned>(__builtin_ctz(bits)) : 16;
}
#elif SETUP_BYTE_SCAN_WORDS
// The high bit of each byte of `x` that is zero; exact for the lowest zero byte, which
// is the only one used.
inline std::uint64_t ZeroBytes(std::uint64_t x) {
  return (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull;
}
#endif

}  // namespace byte_scan

// Up to four byte values to find (repeat one to look for fewer), prepared once for many
// scans: where the processor has SSE2, each spread over a vector.
class ByteSet4 {
 public:
  ByteSet4(unsigned char a, unsigned char b, unsigned char c, unsigned char d)
      : a_(a), b_(b), c_(c), d_(d), two_(b == c && c == d) {
#if SETUP_BYTE_SCAN_VECTORS
    va_ = byte_scan::Splat(a);
    vb_ = byte_scan::Splat(b);
    vc_ = byte_scan::Splat(c);
    vd_ = byte_scan::Splat(d);
#endif
  }

  // The first byte in [p, end) equal to one of the four, or end.
  const unsigned char* Find(const unsigned char* p, const unsigned char* end) const {
#if SETUP_BYTE_SCAN_VECTORS
    using namespace byte_scan;
    if (end - p >= 16) {
      for (; end - p >= 16; p += 16) {
        unsigned first = FirstSet(Hits(p));
        if (first < 16) return p + first;
      }
      if (p == end) return end;
      // The last sixteen bytes, of which those before p have been looked at already.
      const unsigned char* last = end - 16;
      unsigned bits = HighBits(Hits(last)) >> (p - last);
      return bits != 0 ? p + __builtin_ctz(bits) : end;
    }
#elif SETUP_BYTE_SCAN_WORDS
    using namespace byte_scan;
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    for (; end - p >= 8; p += 8) {
      std::uint64_t w;
      std::memcpy(&w, p, 8);
      std::uint64_t hit = ZeroBytes(w ^ (kOnes * a_)) | ZeroBytes(w ^ (kOnes * b_)) |
                          ZeroBytes(w ^ (kOnes * c_)) | ZeroBytes(w ^ (kOnes * d_));
      if (hit != 0) return p + __builtin_ctzll(hit) / 8;
    }
#endif
    for (; p < end; ++p) {
      unsigned char x = *p;
      if (x == a_ || x == b_ || x == c_ || x == d_) return p;
    }
    return end;
  }

 private:
#if SETUP_BYTE_SCAN_VECTORS
  // Which of the sixteen bytes at `at` are one of the four. Two values, the common case,
  // take two comparisons instead of four.
  byte_scan::Bytes16 Hits(const unsigned char* at) const {
    byte_scan::Bytes16 v = byte_scan::Load16(at);
    byte_scan::Bytes16 hit = (v == va_) | (v == vb_);
    return two_ ? hit : static_cast<byte_scan::Bytes16>(hit | (v == vc_) | (v == vd_));
  }
  byte_scan::Bytes16 va_, vb_, vc_, vd_;
#endif
  unsigned char a_, b_, c_, d_;
  bool two_;
};

// The first byte in [p, end) equal to one of a, b, c and d (repeat one to look for
// fewer), or end.
inline const unsigned char* FindFirstOf4(const unsigned char* p, const unsigned char* end,
                                         unsigned char a, unsigned char b, unsigned char c,
                                         unsigned char d) {
  return ByteSet4(a, b, c, d).Find(p, end);
}

// memcpy for the short runs of dense text, where a call costs more than the copy: runs
// of up to 32 bytes in at most two overlapping moves of a fixed size.
inline void CopyShort(void* to, const void* from, std::size_t n) {
  unsigned char* d = static_cast<unsigned char*>(to);
  const unsigned char* s = static_cast<const unsigned char*>(from);
  if (n > 32) {
    std::memcpy(d, s, n);
  } else if (n >= 16) {
    std::memcpy(d, s, 16);
    std::memcpy(d + n - 16, s + n - 16, 16);
  } else if (n >= 8) {
    std::memcpy(d, s, 8);
    std::memcpy(d + n - 8, s + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(d, s, 4);
    std::memcpy(d + n - 4, s + n - 4, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) d[i] = s[i];
  }
}

}  // namespace setup

#endif  // SETUP_TEXT_BYTE_SCAN_H_
