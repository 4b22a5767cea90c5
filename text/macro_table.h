// The replacement words of the script language: at most 50 rows of a name and a value,
// in the order of first definition. An earlier row wins when two names match at the
// same place; expansion is one pass and never rescans a value.
#ifndef SETUP_TEXT_MACRO_TABLE_H_
#define SETUP_TEXT_MACRO_TABLE_H_

#include <cstddef>
#include <string_view>

#include "text/byte_scan.h"

namespace setup {

class MacroTable {
 public:
  static constexpr int kMaxRows = 50;
  static constexpr std::size_t kFieldSize = 300;  // 299 bytes and a NUL

  struct Entry {
    char name[kFieldSize];
    char value[kFieldSize];
  };

  enum class DefineResult { kDefined, kFull };

  void Clear();
  int count() const { return count_; }
  const Entry& row(int i) const { return rows_[i]; }

  // Adds the name or replaces its value. kFull when 50 other names are defined: the
  // table is then unchanged (the caller shows the message). The caller cuts names and
  // values to 299 bytes (DefineMacro keeps double-byte characters whole); anything
  // longer is cut here at 299 bytes.
  DefineResult Define(std::string_view name, std::string_view value);

  // Expands `input` into `out` (capacity `out_size` bytes, NUL included). Returns false
  // when the expanded text would not fit; `out` then holds as much as fits, NUL-ended.
  bool Expand(const char* input, char* out, std::size_t out_size) const;
  // The same for the `size` bytes at `input`, which a NUL ends early; `*out_length`
  // receives the length of the result before its NUL.
  bool Expand(const char* input, std::size_t size, char* out, std::size_t out_size,
              std::size_t* out_length) const;
  // How many of the `size` bytes at `input` expansion copies as they are before the
  // first byte that may begin a name or the first NUL: the part a caller may use
  // without expanding it.
  std::size_t UnchangedPrefix(const char* input, std::size_t size) const;

 private:
  void AddFirstByte(unsigned char b);
  // Finds where a name may begin (macro_table.cc).
  struct NameStarts;
  // The row whose name begins the `size` bytes at `in` (the earliest row when several
  // do), or -1.
  int NameAt(const char* in, std::size_t size) const;

  int count_ = 0;
  Entry rows_[kMaxRows];
  // Kept with the rows, so that expansion copies the runs of bytes that begin no name
  // in one piece instead of trying every row at every byte.
  std::size_t name_length_[kMaxRows] = {};
  std::size_t value_length_[kMaxRows] = {};
  // A name with a NUL in it is never found: the input ends at its NUL.
  bool name_has_nul_[kMaxRows] = {};
  // The second bytes of the names of two bytes or more; every byte once a name of one
  // byte is defined (a candidate's second byte, or NUL at the input's end, not marked
  // here begins no name).
  bool may_be_second_[256] = {};
  // The first byte of every name, and NUL.
  bool ends_plain_run_[256] = {true};
  // The same bytes as a list while there are at most kScanBytes of them (NUL first, the
  // last repeated), for a scan that tests several bytes at a time; otherwise
  // scan_count_ is above kScanBytes and the scan looks every byte up in ends_plain_run_.
  static constexpr int kScanBytes = 4;
  unsigned char scan_bytes_[kScanBytes] = {};
  int scan_count_ = 1;
  // scan_bytes_ prepared for the scan.
  ByteSet4 scan_set_{0, 0, 0, 0};
};

}  // namespace setup

#endif  // SETUP_TEXT_MACRO_TABLE_H_
