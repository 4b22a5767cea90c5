// A block of a package read forward as a stream: LZMA through the LZMA SDK's decoder,
// whose dictionary (at most kMaxDictionary) is the only large memory it holds, or
// stored bytes read as they are; or decoded whole into a buffer (DecodeBlockInto), the
// read-ahead's way.
#ifndef SETUP_PACK_LZMA_BLOCK_H_
#define SETUP_PACK_LZMA_BLOCK_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pack/package_format.h"

namespace setup::pack {

class ByteSource;

// Decodes the whole LZMA stream `compressed` into exactly `size` bytes in `*out`, the
// output its own dictionary. False when it is damaged, shorter or longer.
bool DecodeLzmaWhole(const std::array<std::uint8_t, kLzmaPropsSize>& props,
                     std::string_view compressed, std::uint32_t size, std::string* out);

// Decodes the whole block `block` of `source` into `out` (block.size bytes), a step of
// at most `step` bytes at a time, calling `progress(n)` once the first n bytes are final;
// a false answer from it stops the decoding. The output is the LZMA dictionary itself:
// nothing else large is held. False when the block cannot be read or decoded, or
// `progress` stopped it.
template <typename Progress>
bool DecodeBlockInto(ByteSource& source, const Table& table, const BlockEntry& block, char* out,
                     std::size_t step, Progress progress);

class BlockStream {
 public:
  BlockStream();
  ~BlockStream();
  BlockStream(const BlockStream&) = delete;
  BlockStream& operator=(const BlockStream&) = delete;

  // Starts reading the block `block` of `source` from its first byte. False when the
  // LZMA properties are damaged or ask for a dictionary over kMaxDictionary.
  bool Start(ByteSource& source, const Table& table, const BlockEntry& block);
  // The next `size` bytes of the block into `out` (null: skipped). False when the
  // compressed bytes cannot be read or decoded, or the block ends before them.
  bool Read(void* out, std::size_t size);
  // How far into the block's uncompressed bytes the stream has come.
  std::uint64_t position() const { return position_; }
  bool started() const { return source_ != nullptr; }

 private:
  struct Decoder;
  bool Fill();
  bool Decode(void* out, std::size_t size);

  std::unique_ptr<Decoder> decoder_;
  ByteSource* source_ = nullptr;
  Method method_ = Method::kStored;
  std::uint64_t in_offset_ = 0;  // the next compressed byte to read, in the file
  std::uint64_t in_end_ = 0;
  std::string in_;  // compressed bytes read and not yet decoded: in_[in_pos_, in_.size())
  std::size_t in_pos_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t size_ = 0;
};

// What DecodeBlockInto does, with its progress as a function pointer and a context.
bool DecodeBlockSteps(ByteSource& source, const Table& table, const BlockEntry& block, char* out,
                      std::size_t step, bool (*progress)(void*, std::size_t), void* context);

template <typename Progress>
bool DecodeBlockInto(ByteSource& source, const Table& table, const BlockEntry& block, char* out,
                     std::size_t step, Progress progress) {
  return DecodeBlockSteps(
      source, table, block, out, step,
      [](void* p, std::size_t n) { return (*static_cast<Progress*>(p))(n); }, &progress);
}

}  // namespace setup::pack

#endif  // SETUP_PACK_LZMA_BLOCK_H_
