// The whole script in one fixed buffer of NUL-terminated lines, read once, in order.
#ifndef SETUP_SCRIPT_SCRIPT_STORE_H_
#define SETUP_SCRIPT_SCRIPT_STORE_H_

#include <cstddef>

namespace setup {

class ScriptStore {
 public:
  static constexpr std::size_t kSize = 65536;
  static constexpr std::size_t kReadLimit = 1024;  // a line read takes at most 1023 bytes

  void Reset() { write_end_ = read_ = 0; line_count_ = 0; }
  int line_count() const { return line_count_; }

  // Room for a line of `length` bytes and its NUL at the write end.
  bool HasRoom(std::size_t length) const { return kSize - write_end_ >= length + 1; }
  // Where the next line goes; the caller copies it there (with its NUL) and commits it.
  char* write_end() { return store_ + write_end_; }
  // Moves the write end past the line there, `length` bytes before its NUL, whatever
  // the pre-scan wrote into it.
  void CommitLine(std::size_t length) {
    write_end_ += length + 1;
    ++line_count_;
  }

  enum class LineResult { kLine, kEnd, kTooLong };
  // Copies the next stored line, NUL included, into `buffer` of `size` bytes. kTooLong
  // when it does not fit: the line is consumed and `buffer` holds an empty text.
  LineResult NextLine(char* buffer, std::size_t size);

 private:
  char store_[kSize];
  std::size_t write_end_ = 0;
  std::size_t read_ = 0;
  int line_count_ = 0;
};

}  // namespace setup

#endif  // SETUP_SCRIPT_SCRIPT_STORE_H_
