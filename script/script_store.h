// The whole script in one fixed buffer of NUL-terminated lines, read once, in order.
#ifndef SETUP_SCRIPT_SCRIPT_STORE_H_
#define SETUP_SCRIPT_SCRIPT_STORE_H_

#include <cstddef>
#include <string_view>

namespace setup {

class ScriptStore {
 public:
  static constexpr std::size_t kSize = 65536;
  static constexpr std::size_t kReadLimit = 1024;  // a line read takes at most 1023 bytes

  void Reset() {
    write_end_ = read_ = 0;
    line_count_ = 0;
  }
  int line_count() const { return line_count_; }

  // Stores `line` (which holds no NUL) and a NUL after it. Returns the stored copy, which
  // the pre-scan may cut in place: a NUL written into it ends the line there for the
  // run, and the rest of it is read as a line of its own. Null when the line does not
  // fit in what is left of the store; nothing is stored then.
  char* Append(std::string_view line);

  enum class LineResult { kLine, kEnd, kTooLong };
  // Copies the next stored line, NUL included, into `buffer` of `size` bytes. kTooLong
  // when it does not fit: the line is consumed and `buffer` holds an empty text.
  LineResult NextLine(char* buffer, std::size_t size);
  // The same for the stored line at `*offset` (0 for the first), which it moves to the
  // next one; the store itself is not moved.
  LineResult LineAt(std::size_t* offset, char* buffer, std::size_t size) const;

 private:
  char store_[kSize];
  std::size_t write_end_ = 0;
  std::size_t read_ = 0;
  int line_count_ = 0;
};

}  // namespace setup

#endif  // SETUP_SCRIPT_SCRIPT_STORE_H_
