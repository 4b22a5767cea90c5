// Bounds-checked little-endian reads from a byte range that the program does not trust
// (executable files, version blocks).
#ifndef SETUP_PLATFORM_POSIX_BYTE_VIEW_H_
#define SETUP_PLATFORM_POSIX_BYTE_VIEW_H_

#include <cstdint>

namespace setup {

// Offsets are 64-bit so that a sum of two 32-bit fields cannot wrap. Every read answers
// false, and leaves its output alone, when the bytes are not all inside the range.
class ByteView {
 public:
  ByteView(const std::uint8_t* data, std::uint64_t size) : data_(data), size_(size) {}

  std::uint64_t size() const { return size_; }
  bool Has(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  bool U8(std::uint64_t offset, std::uint8_t* v) const {
    if (!Has(offset, 1)) return false;
    *v = data_[offset];
    return true;
  }
  bool U16(std::uint64_t offset, std::uint16_t* v) const {
    if (!Has(offset, 2)) return false;
    *v = static_cast<std::uint16_t>(data_[offset] | (data_[offset + 1] << 8));
    return true;
  }
  bool U32(std::uint64_t offset, std::uint32_t* v) const {
    if (!Has(offset, 4)) return false;
    *v = static_cast<std::uint32_t>(data_[offset]) |
         (static_cast<std::uint32_t>(data_[offset + 1]) << 8) |
         (static_cast<std::uint32_t>(data_[offset + 2]) << 16) |
         (static_cast<std::uint32_t>(data_[offset + 3]) << 24);
    return true;
  }
  // The bytes from `offset` on; only after Has(offset, ...) said they are there.
  const std::uint8_t* At(std::uint64_t offset) const { return data_ + offset; }

 private:
  const std::uint8_t* data_;
  std::uint64_t size_;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_POSIX_BYTE_VIEW_H_
