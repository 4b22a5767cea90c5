#include "text/text_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/system.h"
#include "text/byte_scan.h"

namespace setup {

std::size_t TextReader::Find(std::uint8_t byte, std::size_t from) const {
  const void* found = std::memchr(raw_ + from, byte, end_ - from);
  return found != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - raw_)
                          : end_;
}

bool TextReader::Fill() {
  if (ended_) return false;
  std::ptrdiff_t n = file_->Read(raw_, sizeof raw_);
  if (n <= 0) {
    if (n < 0) error_ = true;
    ended_ = true;
    pos_ = end_ = 0;
    return false;
  }
  pos_ = 0;
  end_ = static_cast<std::size_t>(n);
  next_cr_ = Find('\r', 0);
  next_eof_ = Find(0x1A, 0);
  return true;
}

int TextReader::GetSlow() {
  if (pos_ >= end_ && !Fill()) return -1;
  std::uint8_t c = raw_[pos_];
  if (c == 0x1A) {
    ended_ = true;
    pos_ = end_ = 0;
    return -1;
  }
  if (c != '\r') return raw_[pos_++];
  // A CR: dropped when an LF follows, which may lie in the next block.
  ++pos_;
  if (pos_ >= end_ && !Fill()) return '\r';
  if (raw_[pos_] == '\n') return raw_[pos_++];
  return '\r';
}

std::size_t TextReader::ReadLine(char* buffer, std::size_t size) {
  if (size == 0) return 0;
  std::size_t n = 0;
  while (n + 1 < size) {
    // Runs without CR and 0x1A are copied whole, up to and including an LF.
    if (pos_ < end_) {
      if (next_cr_ < pos_) next_cr_ = Find('\r', pos_);
      std::size_t span = std::min({next_cr_, next_eof_, pos_ + (size - 1 - n)}) - pos_;
      const std::uint8_t* from = raw_ + pos_;
      // Lines are short: an in-line scan and copy cost less than calls of the C library.
      const std::uint8_t* lf = FindFirstOf4(from, from + span, '\n', '\n', '\n', '\n');
      if (lf != from + span) span = static_cast<std::size_t>(lf - from) + 1;
      if (span > 0) {
        CopyShort(buffer + n, from, span);
        n += span;
        pos_ += span;
        if (buffer[n - 1] == '\n') break;
        continue;
      }
    }
    int c = Get();
    if (c < 0) break;
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[n] = '\0';
  return n;
}

}  // namespace setup
