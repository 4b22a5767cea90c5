// The reading side of the hive edit (reg_hive_edit.cc): the lines and key blocks of a
// hive text, found as the hive reader (reg_hive.h) finds them, each key related to the one
// a change is about. Internal to the edit; untrusted text, every position checked.
#ifndef SETUP_PLATFORM_POSIX_REG_HIVE_SCAN_H_
#define SETUP_PLATFORM_POSIX_REG_HIVE_SCAN_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// One line of the text: [begin, end) without its '\n'; `next` is where the next begins.
struct Line {
  std::size_t begin = 0, end = 0, next = 0;
};

// A key path folded for comparison as one string: each folded name's units moved up by
// one, each name followed by a 0, which sorts below every unit (a NUL in a name too), so
// that comparing two of them compares the names one by one, as Wine orders its keys.
using Joined = std::u32string;

// How a block's key stands to the key a change is about and to that key's parent.
struct Relation {
  bool same = false;   // the key itself
  bool under = false;  // the key or a key beneath it
  bool after = false;  // sorts after the key
};

// A key's block: from its "[path]" line to where the next block's line begins.
struct Block {
  std::size_t begin = 0;
  std::size_t stamp = 0;       // after the ']' of the header: the seconds follow
  std::size_t header_end = 0;  // the end of the header line
  std::size_t end = 0;
  bool valid = false;  // the header's path could be read
  Relation key, parent;
};

// A value's line, with the lines the reader takes as more of it.
struct ValueAt {
  std::size_t block, begin, end;
  std::u16string folded_name;
  bool open;  // its last line goes on, but the text ends
};

// The line at `pos` (a line start).
Line LineAt(std::string_view text, std::size_t pos);
// The first character of a line that is not a blank, or its end.
std::size_t FirstNonBlank(std::string_view text, const Line& line);
// The names folded and joined for comparison (see Joined).
Joined JoinFolded(const std::vector<std::u16string>& names);

// The blocks of a hive text, in file order, each related to `key` and `parent` (joined
// and folded), read line by line as the reader reads them; the value lines of the blocks
// of `key` itself go to `*values`. A hive holds tens of thousands of keys: nothing more
// is kept of them.
std::vector<Block> ScanBlocks(std::string_view text, const Joined& key, const Joined& parent,
                              std::vector<ValueAt>* values);

// The line that ends just before `pos`: the line before a line start, or the line `pos`
// ends when it is not one (the end of a text without a final newline).
std::string_view LineBefore(std::string_view text, std::size_t pos);
bool IsBlankLine(std::string_view line);

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_REG_HIVE_SCAN_H_
