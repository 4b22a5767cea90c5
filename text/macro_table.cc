#include "text/macro_table.h"

#include <algorithm>
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
  for (std::size_t i = 0; i < n; ++i) {
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
  value_length_[count_] = CopyField(rows_[count_].value, value);
  if (!name.empty()) AddFirstByte(static_cast<unsigned char>(name[0]));
  ++count_;
  return DefineResult::kDefined;
}

inline std::size_t MacroTable::NextNameStart(const char* input, std::size_t size) const {
  const unsigned char* in = reinterpret_cast<const unsigned char*>(input);
  // Most tables hold names of one first byte ("$$...$$"): the C library's scan for one
  // byte is the fastest there is.
  if (scan_count_ == 2) {
    const void* found = std::memchr(in, scan_bytes_[1], size);
    return found != nullptr
               ? static_cast<std::size_t>(static_cast<const unsigned char*>(found) - in)
               : size;
  }
  if (scan_count_ <= kScanBytes) {
    const unsigned char* stop =
        FindFirstOf4(in, in + size, scan_bytes_[0], scan_bytes_[1], scan_bytes_[2], scan_bytes_[3]);
    return static_cast<std::size_t>(stop - in);
  }
  std::size_t i = 0;
  while (i < size && !ends_plain_run_[in[i]]) ++i;
  return i;
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
  // A NUL ends the input: found once, so that the scans below look for names alone.
  if (const void* nul = std::memchr(in, '\0', size)) {
    size = static_cast<std::size_t>(static_cast<const char*>(nul) - in);
  }
  std::size_t i = 0;
  bool fits = true;
  while (fits && i < size) {
    std::size_t run = i + NextNameStart(in + i, size - i);
    fits = append(in + i, run - i);
    i = run;
    if (!fits || i >= size) break;
    int match = -1;
    // Most candidates differ from every name in their second byte ("$#" against
    // "$$...$$"): it is compared before the rest.
    const char second = i + 1 < size ? in[i + 1] : '\0';
    for (int r = 0; r < count_; ++r) {
      std::size_t len = name_length_[r];
      if (len > 1 && rows_[r].name[1] != second) continue;
      if (len != 0 && len <= size - i && SamePrefix(rows_[r].name, in + i, len)) {
        match = r;
        break;
      }
    }
    if (match >= 0) {
      fits = append(rows_[match].value, value_length_[match]);
      i += name_length_[match];
    } else {
      fits = append(in + i, 1);
      ++i;
    }
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
  }
  ++scan_count_;
}

std::size_t MacroTable::UnchangedPrefix(const char* input, std::size_t size) const {
  if (const void* nul = std::memchr(input, '\0', size)) {
    size = static_cast<std::size_t>(static_cast<const char*>(nul) - input);
  }
  return NextNameStart(input, size);
}

}  // namespace setup
