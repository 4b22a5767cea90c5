// Decoding a package's blocks ahead of their reader, on threads of their own: while a run
// hashes and writes one file, the following bytes are being decoded, and blocks that
// follow one another decode at once on two processors. Each block is decoded whole into
// a buffer of its size that is its own LZMA dictionary; at most kMaxHeld bytes of such
// buffers are held, the reader's included.
#ifndef SETUP_PACK_READ_AHEAD_H_
#define SETUP_PACK_READ_AHEAD_H_

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "pack/package_format.h"

namespace setup::pack {

class ByteSource;

class ReadAhead {
 public:
  // The bytes a decoding thread makes final before it tells the reader.
  static constexpr std::size_t kStep = 256u << 10;
  // The largest block decoded ahead; a reader of larger blocks decodes them itself.
  static constexpr std::uint32_t kMaxBlock = kMaxDictionary;
  // The decoded bytes held at most: a thread takes the next block while those held and
  // it fit (or none is held), so a small block does not keep a thread waiting.
  static constexpr std::uint64_t kMaxHeld = 40u << 20;

  // `source` and `table` must outlive this. `workers`: the decoding threads.
  ReadAhead(ByteSource& source, const Table& table, unsigned workers);
  ~ReadAhead() { Stop(); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Whether this table's blocks can be decoded ahead (none is larger than kMaxBlock).
  bool Suits() const;
  // Starts decoding forward from the block that holds `position` of the blocks'
  // uncompressed bytes end to end, to the last block. False when no thread can be had.
  bool Start(std::uint64_t position);
  // Ends the decoding threads, if any run; the bytes not yet read are dropped.
  void Stop();
  bool running() const { return !threads_.empty(); }
  // The decoding threads from the next Start on.
  void set_workers(unsigned workers) { workers_ = std::clamp(workers, 1u, 8u); }
  // The position of the next byte Read gives.
  std::uint64_t position() const { return position_; }
  // The block being read, or the one Read starts next.
  std::size_t block() const { return block_; }

  // The next `size` bytes into `out` (null: skipped). False when they cannot be read or
  // decoded, or lie past the last block; the reader has stopped then, to be started again.
  bool Read(void* out, std::size_t size);

 private:
  struct Slot;
  void Work();

  ByteSource& source_;
  const Table& table_;
  unsigned workers_;
  std::vector<std::thread> threads_;
  std::mutex source_mutex_;                  // one read of source_ at a time
  std::mutex mutex_;                         // guards what follows, and the slots' progress
  std::condition_variable progress_;         // a block's decoded bytes grew, or its work ended
  std::condition_variable room_;             // a block was let go, or the work is to stop
  std::deque<std::shared_ptr<Slot>> slots_;  // in the blocks' order; the front is read
  std::size_t next_ = 0;                     // the next block for a thread to take
  std::uint64_t held_ = 0;                   // the sizes of the blocks in slots_
  bool stop_ = false;
  std::size_t block_ = 0;
  std::uint64_t offset_ = 0;  // in the front block
  std::uint64_t position_ = 0;
};

}  // namespace setup::pack

#endif  // SETUP_PACK_READ_AHEAD_H_
