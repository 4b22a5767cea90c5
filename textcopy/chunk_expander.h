// Macro expansion of one text-copy chunk, with the result of MacroTable::Expand but
// quick over the bytes that begin no macro name: runs of them are copied whole.
#ifndef SETUP_TEXTCOPY_CHUNK_EXPANDER_H_
#define SETUP_TEXTCOPY_CHUNK_EXPANDER_H_

#include <cstddef>

#include "script/macro_table.h"

namespace setup {

class ChunkExpander {
 public:
  // Takes the names and values of `table`; Expand then uses them until the next Reset
  // (the table must not change in between).
  void Reset(const MacroTable& table);

  // Expands the `size` bytes at `in`, ending early at a NUL, into `out` (capacity
  // `out_size`, NUL included) exactly as MacroTable::Expand would: every name replaced
  // by its value, the earliest row winning, no rescan. Returns false when the result
  // does not fit; `out` then holds an unspecified prefix. On success `*out_length` is
  // the length of the result before its NUL.
  bool Expand(const char* in, std::size_t size, char* out, std::size_t out_size,
              std::size_t* out_length) const;

 private:
  const MacroTable* table_ = nullptr;
  std::size_t name_length_[MacroTable::kMaxRows] = {};
  std::size_t value_length_[MacroTable::kMaxRows] = {};
  // Bytes that may begin a name, and NUL.
  bool stop_[256] = {};
};

}  // namespace setup

#endif  // SETUP_TEXTCOPY_CHUNK_EXPANDER_H_
