#include "pack/read_ahead.h"

#include <algorithm>
#include <cstring>

#include "pack/lzma_block.h"
#include "pack/package_reader.h"
#include "text/thread_start.h"

namespace setup::pack {
namespace {

// The decoding threads read the package at once: one read at a time.
class LockedSource : public ByteSource {
 public:
  LockedSource(ByteSource& source, std::mutex& mutex) : source_(source), mutex_(mutex) {}
  std::uint64_t Size() const override { return source_.Size(); }
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return source_.ReadAt(offset, buffer, size);
  }

 private:
  ByteSource& source_;
  std::mutex& mutex_;
};

}  // namespace

// A block being decoded or read. Bytes below `done` are final and never written again,
// so the reader copies them without the lock.
struct ReadAhead::Slot {
  std::size_t index = 0;
  std::unique_ptr<char[]> bytes;
  std::size_t done = 0;  // guarded by mutex_
  bool ended = false;    // guarded by mutex_: decoded whole, or failed at `done`
};

ReadAhead::ReadAhead(ByteSource& source, const Table& table, unsigned workers)
    : source_(source), table_(table), workers_(std::clamp(workers, 1u, 8u)) {}

bool ReadAhead::Suits() const { return table_.block_size <= kMaxBlock && !table_.blocks.empty(); }

bool ReadAhead::Start(std::uint64_t position) {
  Stop();
  block_ = FindBlock(table_, position);
  if (block_ >= table_.blocks.size()) return false;
  stop_ = false;
  slots_.clear();
  next_ = block_;
  offset_ = position - table_.blocks[block_].start;
  position_ = position;
  // A thread that cannot be had (out of resources) is no failure: the caller decodes
  // on its own thread instead.
  for (unsigned i = 0; i < workers_; ++i) {
    std::thread thread;
    if (!StartThread(&thread, [this] { Work(); })) {
      Stop();
      return false;
    }
    threads_.push_back(std::move(thread));
  }
  return true;
}

void ReadAhead::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  slots_.clear();
  held_ = 0;
}

// Takes the next block once it fits beside those held, and decodes it.
void ReadAhead::Work() {
  LockedSource source(source_, source_mutex_);
  while (true) {
    std::shared_ptr<Slot> slot = std::make_shared<Slot>();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      room_.wait(lock, [this] {
        return stop_ || next_ >= table_.blocks.size() || slots_.empty() ||
               held_ + table_.blocks[next_].size <= kMaxHeld;
      });
      if (stop_ || next_ >= table_.blocks.size()) return;
      slot->index = next_++;
      held_ += table_.blocks[slot->index].size;
      slots_.push_back(slot);
    }
    const BlockEntry& block = table_.blocks[slot->index];
    slot->bytes.reset(new char[block.size]);
    auto progress = [this, &slot](std::size_t done) {
      std::lock_guard<std::mutex> lock(mutex_);
      slot->done = done;
      progress_.notify_all();
      return !stop_;
    };
    bool ok = DecodeBlockInto(source, table_, block, slot->bytes.get(), kStep, progress);
    std::lock_guard<std::mutex> lock(mutex_);
    slot->ended = true;
    progress_.notify_all();
    if (!ok) return;  // the reader stops at the damaged bytes; nothing after them is needed
  }
}

bool ReadAhead::Read(void* out, std::size_t size) {
  auto* to = static_cast<char*>(out);
  std::unique_lock<std::mutex> lock(mutex_);
  while (size > 0) {
    if (block_ >= table_.blocks.size()) break;
    std::uint64_t block_size = table_.blocks[block_].size;
    if (offset_ == block_size) {  // the front block is read: let it go
      if (!slots_.empty() && slots_.front()->index == block_) {
        held_ -= block_size;
        slots_.pop_front();
      }
      room_.notify_all();
      ++block_;
      offset_ = 0;
      continue;
    }
    progress_.wait(lock, [this] {
      return !slots_.empty() && (slots_.front()->done > offset_ || slots_.front()->ended);
    });
    Slot& slot = *slots_.front();
    if (slot.done <= offset_) break;  // ended short: damaged
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, slot.done - offset_));
    const char* from = slot.bytes.get() + offset_;
    lock.unlock();
    if (to != nullptr) {
      std::memcpy(to, from, n);
      to += n;
    }
    lock.lock();
    offset_ += n;
    position_ += n;
    size -= n;
  }
  if (size == 0) return true;
  lock.unlock();
  Stop();
  return false;
}

}  // namespace setup::pack
