#include "text/text_reader.h"

#include "platform/system.h"

namespace setup {

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
  std::size_t n = 0;
  while (n + 1 < size) {
    int c = Get();
    if (c < 0) break;
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (size > 0) buffer[n] = '\0';
  return n;
}

}  // namespace setup
