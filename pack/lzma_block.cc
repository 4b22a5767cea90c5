#include "pack/lzma_block.h"

#include <algorithm>
#include <cstdlib>

#include "pack/package_reader.h"
#include "third_party/lzma_sdk/LzmaDec.h"

namespace setup::pack {
namespace {

constexpr std::size_t kInputChunk = 64 * 1024;
constexpr std::size_t kSkipChunk = 64 * 1024;
// A whole block's compressed bytes are read a larger piece at a time: each read is a
// system call, and under Wine more than one.
constexpr std::size_t kBlockInputChunk = 1 << 20;

void* Allocate(void*, size_t size) { return std::malloc(size); }
void Release(void*, void* address) { std::free(address); }
ISzAlloc allocator = {Allocate, Release};

}  // namespace

bool DecodeLzmaWhole(const std::array<std::uint8_t, kLzmaPropsSize>& props,
                     std::string_view compressed, std::uint32_t size, std::string* out) {
  out->assign(size, '\0');
  SizeT out_size = size;
  SizeT in_size = compressed.size();
  ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
  SRes result = LzmaDecode(reinterpret_cast<Byte*>(out->data()), &out_size,
                           reinterpret_cast<const Byte*>(compressed.data()), &in_size, props.data(),
                           kLzmaPropsSize, LZMA_FINISH_END, &status, &allocator);
  return result == SZ_OK && out_size == size &&
         (status == LZMA_STATUS_FINISHED_WITH_MARK ||
          status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK);
}

namespace {

// The LZMA decoder over a caller's buffer as its dictionary; its probabilities freed at
// the end.
class BufferDecoder {
 public:
  BufferDecoder() { LzmaDec_Construct(&state_); }
  ~BufferDecoder() { LzmaDec_FreeProbs(&state_, &allocator); }
  BufferDecoder(const BufferDecoder&) = delete;
  BufferDecoder& operator=(const BufferDecoder&) = delete;
  CLzmaDec* get() { return &state_; }

 private:
  CLzmaDec state_;
};

}  // namespace

bool DecodeBlockSteps(ByteSource& source, const Table& table, const BlockEntry& block, char* out,
                      std::size_t step, bool (*progress)(void*, std::size_t), void* context) {
  std::string in;
  std::uint64_t in_offset = block.offset;
  std::uint64_t in_end = block.offset + block.compressed_size;
  std::size_t in_pos = 0;
  auto fill = [&] {
    if (in_pos < in.size()) return true;
    std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(kBlockInputChunk, in_end - in_offset));
    in.resize(n);
    in_pos = 0;
    if (n == 0 || !source.ReadAt(in_offset, in.data(), n)) return false;
    in_offset += n;
    return true;
  };
  std::size_t done = 0;
  if (table.method == Method::kStored) {
    while (done < block.size) {
      if (!fill()) return false;
      std::size_t n = std::min<std::size_t>(in.size() - in_pos, block.size - done);
      std::copy_n(in.data() + in_pos, n, out + done);
      in_pos += n;
      done += n;
      if (!progress(context, done)) return false;
    }
    return true;
  }
  BufferDecoder decoder;
  CLzmaDec* state = decoder.get();
  if (LzmaDec_AllocateProbs(state, table.lzma_props.data(), kLzmaPropsSize, &allocator) != SZ_OK) {
    return false;
  }
  state->dic = reinterpret_cast<Byte*>(out);
  state->dicBufSize = block.size;
  LzmaDec_Init(state);
  while (state->dicPos < block.size) {
    if (!fill()) return false;
    SizeT in_size = in.size() - in_pos;
    SizeT limit = std::min<SizeT>(block.size, state->dicPos + step);
    SizeT before = state->dicPos;
    ELzmaStatus status;
    if (LzmaDec_DecodeToDic(state, limit, reinterpret_cast<const Byte*>(in.data()) + in_pos,
                            &in_size, LZMA_FINISH_ANY, &status) != SZ_OK ||
        (in_size == 0 && state->dicPos == before) || status == LZMA_STATUS_FINISHED_WITH_MARK) {
      // A stream that ends before the block does is damaged.
      if (state->dicPos < block.size) return false;
    }
    in_pos += in_size;
    if (!progress(context, state->dicPos)) return false;
  }
  return true;
}

struct BlockStream::Decoder {
  Decoder() { LzmaDec_Construct(&state); }
  ~Decoder() { LzmaDec_Free(&state, &allocator); }
  CLzmaDec state;
  bool allocated = false;
};

BlockStream::BlockStream() : decoder_(std::make_unique<Decoder>()) {}
BlockStream::~BlockStream() = default;

bool BlockStream::Start(ByteSource& source, const Table& table, const BlockEntry& block) {
  source_ = nullptr;
  method_ = table.method;
  if (method_ == Method::kLzma) {
    const std::uint8_t* p = table.lzma_props.data();
    std::uint32_t dictionary =
        p[1] | p[2] << 8 | p[3] << 16 | static_cast<std::uint32_t>(p[4]) << 24;
    if (dictionary > kMaxDictionary) return false;
    if (!decoder_->allocated) {
      if (LzmaDec_Allocate(&decoder_->state, p, kLzmaPropsSize, &allocator) != SZ_OK) return false;
      decoder_->allocated = true;
    }
    LzmaDec_Init(&decoder_->state);
  }
  source_ = &source;
  in_offset_ = block.offset;
  in_end_ = block.offset + block.compressed_size;
  in_.clear();
  in_pos_ = 0;
  position_ = 0;
  size_ = block.size;
  return true;
}

bool BlockStream::Fill() {
  if (in_pos_ < in_.size()) return true;
  std::size_t n =
      static_cast<std::size_t>(std::min<std::uint64_t>(kInputChunk, in_end_ - in_offset_));
  if (n == 0) return false;
  in_.resize(n);
  in_pos_ = 0;
  if (!source_->ReadAt(in_offset_, in_.data(), n)) return false;
  in_offset_ += n;
  return true;
}

bool BlockStream::Read(void* out, std::size_t size) {
  if (source_ == nullptr || size > size_ - position_) return false;
  // A failed read leaves the stream to be started again.
  if (!Decode(out, size)) {
    source_ = nullptr;
    return false;
  }
  return true;
}

bool BlockStream::Decode(void* out, std::size_t size) {
  std::string skip;
  if (out == nullptr) skip.resize(std::min(size, kSkipChunk));
  auto* to = static_cast<Byte*>(out);
  while (size > 0) {
    Byte* target = to != nullptr ? to : reinterpret_cast<Byte*>(skip.data());
    SizeT want = to != nullptr ? size : std::min(size, skip.size());
    if (!Fill()) return false;
    SizeT in_size = in_.size() - in_pos_;
    SizeT out_size = want;
    if (method_ == Method::kStored) {
      out_size = in_size = std::min(in_size, want);
      std::copy_n(in_.data() + in_pos_, in_size, reinterpret_cast<char*>(target));
    } else {
      ELzmaStatus status;
      const Byte* in = reinterpret_cast<const Byte*>(in_.data()) + in_pos_;
      if (LzmaDec_DecodeToBuf(&decoder_->state, target, &out_size, in, &in_size, LZMA_FINISH_ANY,
                              &status) != SZ_OK ||
          (out_size == 0 && in_size == 0)) {
        return false;
      }
    }
    in_pos_ += in_size;
    position_ += out_size;
    size -= out_size;
    if (to != nullptr) to += out_size;
  }
  return true;
}

}  // namespace setup::pack
