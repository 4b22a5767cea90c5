#include "text/macro_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/byte_scan.h"

namespace setup {
namespace {

std::size_t CopyField(char (&field)[MacroTable::kFieldSize], std::string_view text) {
  std::size_t n = std::min(text.size(), MacroTable::kFieldSize - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
  return n;
}

// memcmp(a, b, n) == 0 for short names: most candidates differ within the first few
// bytes, where a call to memcmp costs more than the comparison.
inline bool SamePrefix(const char* a, const char* b, std::size_t n) {
  std::size_t i = 0;
  if (n >= 8) {  // "$$SETUPDIR$$" and its kin differ from each other within 8 bytes
    std::uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) return false;
    i = 8;
  }
  for (; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

void MacroTable::Clear() {
  count_ = 0;
  std::fill(std::begin(ends_plain_run_), std::end(ends_plain_run_), false);
  ends_plain_run_[0] = true;
  std::fill(std::begin(scan_bytes_), std::end(scan_bytes_), 0);
  scan_count_ = 1;
  scan_set_ = ByteSet4(0, 0, 0, 0);
  std::fill(std::begin(may_be_second_), std::end(may_be_second_), false);
}

MacroTable::DefineResult MacroTable::Define(std::string_view name, std::string_view value) {
  name = name.substr(0, kFieldSize - 1);
  for (int i = 0; i < count_; ++i) {
    if (name == rows_[i].name) {
      value_length_[i] = CopyField(rows_[i].value, value);
      return DefineResult::kDefined;
    }
  }
  if (count_ >= kMaxRows) return DefineResult::kFull;
  name_length_[count_] = CopyField(rows_[count_].name, name);
  name_has_nul_[count_] = name.find('\0') != std::string_view::npos;
  value_length_[count_] = CopyField(rows_[count_].value, value);
  if (!name.empty()) AddFirstByte(static_cast<unsigned char>(name[0]));
  if (name.size() == 1) {
    std::fill(std::begin(may_be_second_), std::end(may_be_second_), true);
  } else if (name.size() > 1) {
    may_be_second_[static_cast<unsigned char>(name[1])] = true;
  }
  ++count_;
  return DefineResult::kDefined;
}

// The bytes that end a plain run, as MacroTable keeps them: a set of four (NUL first,
// the last repeated) while there are at most four, else a table of all 256. Held by
// value, so that a scan over output it writes needs not read them again.
struct MacroTable::NameStarts {
  ByteSet4 set;
  bool listed;
  const bool* table;

  explicit NameStarts(const MacroTable& t)
      : set(t.scan_set_), listed(t.scan_count_ <= kScanBytes), table(t.ends_plain_run_) {}

  // How many of the `size` bytes at `in` come before the first NUL or the first byte
  // that may begin a name: one scan finds both, in line, which for the short runs of
  // dense text costs less than a call of the C library's scan for one byte.
  std::size_t Next(const char* input, std::size_t size) const {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(input);
    if (listed) return static_cast<std::size_t>(set.Find(in, in + size) - in);
    std::size_t i = 0;
    while (i < size && !table[in[i]]) ++i;
    return i;
  }
};

int MacroTable::NameAt(const char* in, std::size_t size) const {
  const unsigned char second = size > 1 ? static_cast<unsigned char>(in[1]) : 0;
  for (int r = 0; r < count_; ++r) {
    std::size_t len = name_length_[r];
    if (len > 1 && rows_[r].name[1] != static_cast<char>(second)) continue;
    // A name found in full before the input ends holds no NUL: the input ends there.
    if (len != 0 && len <= size && SamePrefix(rows_[r].name, in, len) && !name_has_nul_[r]) {
      return r;
    }
  }
  return -1;
}

bool MacroTable::Expand(const char* input, char* out, std::size_t out_size) const {
  std::size_t length;
  return Expand(input, std::strlen(input), out, out_size, &length);
}

bool MacroTable::Expand(const char* in, std::size_t size, char* out, std::size_t out_size,
                        std::size_t* out_length) const {
  *out_length = 0;
  if (out_size == 0) return false;
  const std::size_t room = out_size - 1;  // bytes before the NUL
  std::size_t o = 0;
  // Appends `n` bytes, or as many as fit; false when they did not all fit.
  auto append = [&](const char* bytes, std::size_t n) {
    std::size_t fit = std::min(n, room - o);
    CopyShort(out + o, bytes, fit);
    o += fit;
    return fit == n;
  };
  const NameStarts starts(*this);
  std::size_t i = 0;
  bool fits = true;
  while (fits && i < size) {
    // The bytes up to the next name found, or to the end of the input or its NUL, are
    // copied in one piece: a byte where a name may begin but none does is one of them.
    std::size_t stop = i;
    int match = -1;
    while (stop < size) {
      stop += starts.Next(in + stop, size - stop);
      if (stop >= size || in[stop] == '\0') break;  // a NUL ends the input
      // Most candidates differ from every name in their second byte ("$#" against
      // "$$...$$"): that byte is looked up before any row is compared.
      const unsigned char second = stop + 1 < size ? static_cast<unsigned char>(in[stop + 1]) : 0;
      if (may_be_second_[second]) match = NameAt(in + stop, size - stop);
      if (match >= 0) break;
      ++stop;
    }
    fits = append(in + i, stop - i);
    if (!fits || match < 0) break;
    fits = append(rows_[match].value, value_length_[match]);
    i = stop + name_length_[match];
  }
  out[o] = '\0';
  *out_length = o;
  return fits;
}

void MacroTable::AddFirstByte(unsigned char b) {
  if (ends_plain_run_[b]) return;
  ends_plain_run_[b] = true;
  if (scan_count_ < kScanBytes) {
    std::fill(scan_bytes_ + scan_count_, std::end(scan_bytes_), b);
    scan_set_ = ByteSet4(scan_bytes_[0], scan_bytes_[1], scan_bytes_[2], scan_bytes_[3]);
  }
  ++scan_count_;
}

std::size_t MacroTable::UnchangedPrefix(const char* input, std::size_t size) const {
  return NameStarts(*this).Next(input, size);
}

}  // namespace setup
