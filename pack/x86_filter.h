// The x86 branch filter (BCJ) of the LZMA SDK and xz, which makes the targets of relative
// calls and jumps (E8, E9) absolute so that repeated calls to one function compress as
// repeats. A package's block that holds executables may be stored through it
// (Filter::kX86); the reader undoes it on the decoded bytes, in order, a piece at a time.
#ifndef SETUP_PACK_X86_FILTER_H_
#define SETUP_PACK_X86_FILTER_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace setup::pack {

class X86Filter {
 public:
  // `encode`: filter (as the packer's liblzma does) rather than undo the filter.
  explicit X86Filter(bool encode = false) : encode_(encode) {}

  // Converts the bytes `data[0, size)`, which continue the stream from where the last
  // call's answer ended (from its first byte at the first call). Answers how many of
  // them are final: up to four at the end may begin an instruction whose rest has not
  // come yet, and are to be given again, with what follows them. At the stream's end
  // such bytes are final as they are.
  std::size_t Convert(std::uint8_t* data, std::size_t size);

 private:
  bool encode_;
  std::uint32_t position_ = 0;  // of data[0] in the stream
  std::uint32_t previous_mask_ = 0;
  std::uint32_t previous_position_ = static_cast<std::uint32_t>(-5);
};

// Whether `bytes` begin an x86 or x86-64 executable: an ELF file for EM_386 or EM_X86_64,
// or a PE file for i386 or AMD64.
bool IsX86Executable(std::string_view bytes);

}  // namespace setup::pack

#endif  // SETUP_PACK_X86_FILTER_H_
