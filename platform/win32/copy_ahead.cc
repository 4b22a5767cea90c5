#include "platform/win32/copy_ahead.h"

#include <utility>

namespace setup {
namespace {

constexpr int kCopyThreads = 4;

// Holds an SRW lock exclusively while it lives.
class Locked {
 public:
  explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~Locked() { ReleaseSRWLockExclusive(&lock_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

CopyAhead::~CopyAhead() {
  Drop();
  {
    Locked hold(lock_);
    stopping_ = true;
  }
  WakeAllConditionVariable(&changed_);
  for (ScopedHandle& thread : threads_) WaitForSingleObject(thread.get(), INFINITE);
}

bool CopyAhead::StartThreads() {
  if (started_) return !threads_.empty();
  started_ = true;
  for (int i = 0; i < kCopyThreads; ++i) {
    HANDLE thread = CreateThread(nullptr, 64 * 1024, &CopyAhead::Work, this,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) break;
    threads_.emplace_back(thread);
  }
  return !threads_.empty();
}

void CopyAhead::Expect(const std::vector<System::CopyPair>& copies) {
  Drop();
  if (!StartThreads()) return;
  {
    Locked hold(lock_);
    entries_.resize(copies.size());
    for (std::size_t i = 0; i < copies.size(); ++i) entries_[i].copy = copies[i];
  }
  WakeAllConditionVariable(&changed_);
}

bool CopyAhead::Take(const std::string& source, const std::string& destination) {
  std::unique_ptr<PreparedCopy> file;
  {
    Locked hold(lock_);
    if (next_taken_ < entries_.size() && entries_[next_taken_].copy.source == source &&
        entries_[next_taken_].copy.destination == destination) {
      Entry& entry = entries_[next_taken_];
      while (!entry.ready) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
      if (entry.prepared) file = std::move(entry.file);
      ++next_taken_;
    }
  }
  if (file == nullptr) {
    Drop();
    return false;
  }
  if (!file->Commit()) {
    Drop();
    return false;
  }
  WakeAllConditionVariable(&changed_);  // one more may be prepared
  return true;
}

void CopyAhead::Drop() {
  std::vector<Entry> dropped;
  {
    Locked hold(lock_);
    if (entries_.empty()) return;
    next_prepared_ = entries_.size();  // no thread takes up another
    while (busy_ > 0) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    dropped = std::move(entries_);
    entries_.clear();
    next_prepared_ = next_taken_ = 0;
  }
  // Each PreparedCopy removes its temporary file as it goes, outside the lock.
}

DWORD WINAPI CopyAhead::Work(void* self) {
  static_cast<CopyAhead*>(self)->WorkLoop();
  return 0;
}

void CopyAhead::WorkLoop() {
  std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
  Locked hold(lock_);
  for (;;) {
    while (!stopping_ && !(next_prepared_ < entries_.size() &&
                           next_prepared_ < next_taken_ + kCopiesPreparedAhead)) {
      SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
    if (stopping_) return;
    Entry& entry = entries_[next_prepared_++];
    ++busy_;
    // Unlocked while the copy is prepared: the entry stays where it is, since Drop
    // waits for busy_ to fall to 0 before it lets the list go.
    ReleaseSRWLockExclusive(&lock_);
    auto file = std::make_unique<PreparedCopy>();
    bool prepared =
        file->Prepare(entry.copy.source, entry.copy.destination, buffer.get(), nullptr, nullptr);
    AcquireSRWLockExclusive(&lock_);
    entry.file = std::move(file);
    entry.prepared = prepared;
    entry.ready = true;
    --busy_;
    WakeAllConditionVariable(&changed_);
  }
}

}  // namespace setup
