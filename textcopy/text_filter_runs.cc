// The text filter's fast paths: runs of plain bytes and whole double-byte characters,
// and whole comments that close in the chunk where they open, taken without the token
// reader. Each gives exactly the output and state the token path would give.
#include <array>
#include <cstring>

#include "text/byte_scan.h"
#include "textcopy/text_filter.h"

namespace setup {
namespace {

constexpr int kEof = 0x1A;

// How the fast paths treat a byte: taken as it is, taken with the byte after it, or
// left to the token reader (the first bytes of the markers, the end of input; LF,
// which ends a line).
enum ByteClass : unsigned char { kPlainByte, kLeadByte, kMarkerByte, kLineEnd };

constexpr std::array<unsigned char, 256> MakeByteClasses() {
  std::array<unsigned char, 256> classes{};
  for (unsigned c = 0; c < 256; ++c) {
    if (c == '$' || c == '*' || c == '/' || c == kEof) {
      classes[c] = kMarkerByte;
    } else if (c == '\n') {
      classes[c] = kLineEnd;
    } else if (TextFilter::IsLeadByte(c)) {
      classes[c] = kLeadByte;
    }
  }
  return classes;
}

constexpr std::array<unsigned char, 256> kByteClass = MakeByteClasses();

// The lead-byte test of the walks below (base/code_page_text.h), through the table.
constexpr bool IsLead(unsigned char b) { return kByteClass[b] == kLeadByte; }
// Which bytes may be the second byte of a character a fast path takes: outside comments
// neither an LF (the token path writes it as a line end) nor a 0x1A (which ends the
// input there); inside a comment, where an LF is a byte of the body, anything but 0x1A.
constexpr bool TrailOutsideComment(unsigned char b) { return b != '\n' && b != kEof; }
constexpr bool TrailInComment(unsigned char b) { return b != kEof; }

#if SETUP_BYTE_SCAN_VECTORS
#define SETUP_TEXT_FILTER_VECTORS 1

// One bit for each byte of `p[0..15]` that may not be plain (bit i for p[i]): the
// markers' first bytes, 0x1A, unless `kLineEndIsPlain` an LF, and every byte above 0x7F
// (its own high bit), a possible lead byte.
template <bool kLineEndIsPlain>
inline unsigned CandidateBits(const unsigned char* p) {
  using byte_scan::Splat;
  byte_scan::Bytes16 v = byte_scan::Load16(p);
  byte_scan::Bytes16 hit = (v == Splat('$')) | (v == Splat('*')) | (v == Splat('/')) | v;
  if (kLineEndIsPlain) {
    hit |= v == Splat(kEof);
  } else {
    hit |= (v | Splat(0x10)) == Splat(kEof);  // 0x1A, and 0x0A (LF) which differs in 0x10
  }
  return byte_scan::HighBits(hit);
}
#endif

// The first byte at or after `p` that is not a plain byte (for `kLineEndIsPlain`, an LF
// counts as plain), or `end`. Where the processor has SSE2, sixteen bytes at a time, a
// byte above 0x7F taken as a possible lead byte and checked alone; the last step may
// read up to fifteen bytes past `end`, which the filter's buffers hold (kScanSlack), and
// ignores them.
template <bool kLineEndIsPlain>
inline const unsigned char* SkipPlainBytes(const unsigned char* p, const unsigned char* end) {
#if SETUP_TEXT_FILTER_VECTORS
  while (p < end) {
    unsigned bits = CandidateBits<kLineEndIsPlain>(p);
    std::ptrdiff_t left = end - p;
    if (left < 16) bits |= 1u << left;  // stops the scan at `end`
    if (bits == 0) {
      p += 16;
      continue;
    }
    p += __builtin_ctz(bits);
    if (p >= end) return end;
    unsigned char c = kByteClass[*p];
    if (c != kPlainByte && !(kLineEndIsPlain && c == kLineEnd)) return p;
    ++p;  // a plain byte above 0x7F
  }
  return end;
#else
  for (; p < end; ++p) {
    unsigned char c = kByteClass[*p];
    if (c != kPlainByte && !(kLineEndIsPlain && c == kLineEnd)) return p;
  }
  return end;
#endif
}

// The end of the run of plain bytes and whole double-byte characters that starts at
// `p`; a double-byte character whose trail byte is an LF or 0x1A ends it, since the
// token path writes that LF as a line end or stops at that 0x1A.
inline const unsigned char* PlainRunEnd(const unsigned char* p, const unsigned char* end) {
  for (;;) {
    p = SkipPlainBytes<false>(p, end);
    if (p == end || !IsLead(*p)) return p;
    if (end - p < 2 || !TrailOutsideComment(p[1])) return p;
    // Double-byte words: their characters are taken here, without a scan each.
    p = SkipDoubleByteChars(IsLead, p + 2, end, TrailOutsideComment);
  }
}

}  // namespace

void TextFilter::CopyPlainRun() {
  while (!push_back_pending_ && !at_end_) {
    if (bytes_left_ == 0 && !NextChunk()) {
      StopReading();
      return;
    }
    const unsigned char* end = read_pos_ + bytes_left_;
    const unsigned char* p = PlainRunEnd(read_pos_, end);
    std::size_t run = static_cast<std::size_t>(p - read_pos_);
    while (run > 0) {
      if (line_length_ >= kBufferSize) FlushOutputLine();
      std::size_t n = kBufferSize - line_length_;
      if (n > run) n = run;
      CopyShort(block_ + line_start_ + line_length_, read_pos_, n);
      line_length_ += n;
      read_pos_ += n;
      run -= n;
    }
    bytes_left_ = static_cast<std::size_t>(end - read_pos_);
    if (p == end) continue;
    if (*p != '\n') return;
    ++read_pos_;
    --bytes_left_;
    PutOutputChar('\n');
  }
}

void TextFilter::CollectPlainRun() {
  while (!push_back_pending_ && !at_end_) {
    if (bytes_left_ == 0 && !NextChunk()) {
      StopReading();
      return;
    }
    const unsigned char* p = read_pos_;
    // The run stops short of the body limit; the token path then applies it exactly.
    std::size_t room = body_length_ < kMaxBody ? kMaxBody - body_length_ : 0;
    const unsigned char* end = p + (bytes_left_ < room ? bytes_left_ : room);
    // Inside a comment an LF is a byte of the body like any other.
    for (;;) {
      p = SkipPlainBytes<true>(p, end);
      if (p == end || !IsLead(*p) || end - p < 2 || !TrailInComment(p[1])) break;
      double_byte_ = true;
      p = SkipDoubleByteChars(IsLead, p + 2, end, TrailInComment);
    }
    std::size_t run = static_cast<std::size_t>(p - read_pos_);
    CopyShort(body_ + body_length_, read_pos_, run);
    body_length_ += run;
    read_pos_ += run;
    bytes_left_ -= run;
    if (bytes_left_ > 0 || run == 0) return;
  }
}

// A comment whose "/*" is at read_pos_ with at least two bytes after it in the chunk is
// read here in one pass over the chunk, as CollectCommentBody reads it token by token:
// "$#" marks the split, "$$" and "/*" are two bytes of the body, a lead byte takes the
// next byte whatever it is. The body cannot reach its limit within one chunk. Where the
// chunk ends first (or a 0x1A may end the input) the token path goes on from there.
bool TextFilter::TakeComment(bool japanese) {
  const unsigned char* p = read_pos_ + 2;
  const unsigned char* end = read_pos_ + bytes_left_;
  CommentKind kind = CommentKind::kPlain;
  if (p[0] == '$' && (p[1] == '#' || p[1] == '$')) {
    kind = p[1] == '#' ? CommentKind::kEnglish : CommentKind::kUnwrapped;
    p += 2;
  }
  // The body goes where it will be written: into the block, after the line so far and
  // the two bytes that open the comment's output, when the block has room for all the
  // chunk holds and a closer (and the line for those two bytes); else into body_.
  const std::size_t body_at = line_start_ + line_length_ + 2;
  const bool in_block = !failed() && line_length_ + 2 <= kBufferSize &&
                        body_at + static_cast<std::size_t>(end - p) + 2 <= kBlockSize;
  unsigned char* const body = in_block ? block_ + body_at : body_;
  // The body is the comment's bytes less its split markers: copied a stretch between two
  // markers at a time, the scan stepping only over the bytes that start tokens.
  const unsigned char* stretch = p;
  std::size_t length = 0;
  std::ptrdiff_t split = -1;
  bool double_byte = false;
  bool closed = false;
  for (;;) {
    p = SkipPlainBytes<true>(p, end);
    if (end - p < 2 || *p == kEof) break;
    unsigned char c = p[0], next = p[1];
    if ((c == '*' && next == '/') || (c == '$' && next == '#')) {
      CopyShort(body + length, stretch, static_cast<std::size_t>(p - stretch));
      length += static_cast<std::size_t>(p - stretch);
      p += 2;
      stretch = p;
      if (c == '*') {
        closed = true;
        break;
      }
      split = static_cast<std::ptrdiff_t>(length);
    } else if (IsLead(c)) {
      if (!TrailInComment(next)) break;  // a 0x1A, which ends the input
      double_byte = true;
      // A double-byte word, character by character.
      p = SkipDoubleByteChars(IsLead, p + 2, end, TrailInComment);
    } else {
      p += (c == '$' && next == '$') || (c == '/' && next == '*') ? 2 : 1;
    }
  }
  read_pos_ = p;
  bytes_left_ = static_cast<std::size_t>(end - p);
  if (closed && in_block) {
    FinishCommentInBlock(kind, japanese, length, split, double_byte);
    return true;
  }
  if (!closed) {
    CopyShort(body + length, stretch, static_cast<std::size_t>(p - stretch));
    length += static_cast<std::size_t>(p - stretch);
  }
  // The token path goes on with the body in body_.
  if (in_block) std::memcpy(body_, body, length);
  body_length_ = length;
  split_offset_ = split;
  double_byte_ = double_byte;
  if (!closed && !CollectRestOfComment()) return false;
  FinishComment(kind, japanese);
  return true;
}

// FinishComment for a body of `length` bytes that TakeComment left in the block, two
// bytes after the line so far: the same output, without copying the body again.
void TextFilter::FinishCommentInBlock(CommentKind kind, bool japanese, std::size_t length,
                                      std::ptrdiff_t split, bool double_byte) {
  unsigned char* const opening = block_ + line_start_ + line_length_;
  unsigned char* const body = opening + 2;
  if (CommentDropped(kind, japanese, split >= 0, double_byte)) {
    drop_blank_line_ = true;
    return;
  }
  if (kind == CommentKind::kPlain && split >= 0) {  // a bilingual comment: one half
    std::size_t at = static_cast<std::size_t>(split);
    if (!japanese) std::memmove(body, body + at, length - at);
    length = japanese ? at : length - at;
  }
  const bool unwrapped = kind == CommentKind::kUnwrapped;
  opening[0] = unwrapped ? '$' : '/';
  opening[1] = unwrapped ? '$' : '*';
  // The line so far and the opening are finished, and never blank; so is the body.
  line_start_ += line_length_ + 2 + length;
  line_length_ = 0;
  drop_blank_line_ = false;
  if (line_start_ > kBlockSize - (kBufferSize + 1)) FlushBlock();
  if (unwrapped) return;
  // The closer begins the next line.
  block_[line_start_] = '*';
  block_[line_start_ + 1] = '/';
  line_length_ = 2;
}

}  // namespace setup
