// Text-mode reading over binary reads, the same on every platform: a CR directly
// before an LF is dropped, any other CR is kept, and the first 0x1A byte ends the input.
// A read error ends the input too and is remembered.
#ifndef SETUP_TEXT_TEXT_READER_H_
#define SETUP_TEXT_TEXT_READER_H_

#include <cstddef>
#include <cstdint>

namespace setup {

class InputFile;

class TextReader {
 public:
  explicit TextReader(InputFile* file) : file_(file) {}
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  // Reads like fgets with a buffer of `size` bytes: the bytes up to and including the
  // next LF, at most size - 1 of them, then a NUL. Returns the number of bytes stored
  // before the NUL; 0 only at the end of the input.
  std::size_t ReadLine(char* buffer, std::size_t size);

  // The next byte, or -1 at the end of the input.
  int Get() {
    if (pos_ < end_ && raw_[pos_] != '\r' && raw_[pos_] != 0x1A) return raw_[pos_++];
    return GetSlow();
  }

  bool error() const { return error_; }

 private:
  int GetSlow();
  bool Fill();  // false at the end of the file or on an error
  // The index of the first `byte` in raw_[from, end_), or end_.
  std::size_t Find(std::uint8_t byte, std::size_t from) const;

  InputFile* file_;
  std::uint8_t raw_[65536];
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  // Where the next CR (searched again once passed) and the first 0x1A of the block
  // are, or end_: the bytes before both can be copied as they are.
  std::size_t next_cr_ = 0;
  std::size_t next_eof_ = 0;
  bool ended_ = false;
  bool error_ = false;
};

}  // namespace setup

#endif  // SETUP_TEXT_TEXT_READER_H_
