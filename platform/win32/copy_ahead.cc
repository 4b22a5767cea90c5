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
    sizes_known_ = false;
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
      if (entry.large) --large_ahead_;
      ++next_taken_;
    }
  }
  if (file == nullptr) {
    Drop();
    return false;
  }
  ScopedHandle open_file;
  if (!file->Commit(&open_file)) {
    Drop();
    return false;
  }
  bool last = false;
  {
    Locked hold(lock_);
    if (open_file.is_valid()) to_close_.push_back(std::move(open_file));
    last = next_taken_ == entries_.size();
  }
  WakeAllConditionVariable(&changed_);  // one more may be prepared, one closed
  // Every file is closed before the call for the last copy announced returns, as before
  // any other call: nothing but the copies announced runs while one is still open.
  if (last) Drop();
  return true;
}

void CopyAhead::Drop() {
  std::vector<Entry> dropped;
  std::vector<ScopedHandle> closing;
  {
    Locked hold(lock_);
    if (entries_.empty() && to_close_.empty()) return;
    next_prepared_ = entries_.size();  // no thread takes up another
    sizes_known_ = true;               // nor looks at sizes
    while (busy_ > 0) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    dropped = std::move(entries_);
    entries_.clear();
    closing = std::move(to_close_);
    to_close_.clear();
    next_prepared_ = next_taken_ = 0;
    sizes_known_ = true;
    large_ahead_ = 0;
  }
  // Each PreparedCopy removes its temporary file as it goes, outside the lock.
}

DWORD WINAPI CopyAhead::Work(void* self) {
  static_cast<CopyAhead*>(self)->WorkLoop();
  return 0;
}

std::size_t CopyAhead::Pick() {
  std::size_t none = entries_.size();
  if (large_ahead_ < kLargeCopiesAhead) {
    for (std::size_t i = next_prepared_; i < none; ++i) {
      if (entries_[i].large && !entries_[i].taken_up) return i;
    }
  }
  while (next_prepared_ < none && entries_[next_prepared_].taken_up) ++next_prepared_;
  if (next_prepared_ < none && next_prepared_ < next_taken_ + kCopiesPreparedAhead) {
    return next_prepared_;
  }
  return none;
}

void CopyAhead::LookAtSizes(std::vector<bool>* large) const {
  large->assign(entries_.size(), false);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(entries_[i].copy.source.c_str(), GetFileExInfoStandard, &data)) {
      std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
      (*large)[i] = size >= kLargeCopy;
    }
  }
}

void CopyAhead::WorkLoop() {
  std::unique_ptr<char[]> buffer(new char[kCopyChunk]);
  Locked hold(lock_);
  for (;;) {
    std::size_t next = entries_.size();
    while (!stopping_ && sizes_known_ && to_close_.empty() && (next = Pick()) == entries_.size()) {
      SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }
    if (stopping_) return;
    if (!to_close_.empty()) {  // first, so that a file stays open as briefly as can be
      ScopedHandle file = std::move(to_close_.back());
      to_close_.pop_back();
      ++busy_;
      ReleaseSRWLockExclusive(&lock_);
      file.Close();
      AcquireSRWLockExclusive(&lock_);
      --busy_;
      WakeAllConditionVariable(&changed_);
      continue;
    }
    // Unlocked while the sizes are looked at or a copy is prepared: the entries stay
    // where they are, since Drop waits for busy_ to fall to 0 before it lets them go.
    ++busy_;
    if (!sizes_known_) {
      sizes_known_ = true;
      std::vector<bool> large;
      ReleaseSRWLockExclusive(&lock_);
      LookAtSizes(&large);
      AcquireSRWLockExclusive(&lock_);
      // Those already taken up in order stay as they are.
      for (std::size_t i = next_prepared_; i < large.size() && i < entries_.size(); ++i) {
        if (!entries_[i].taken_up) entries_[i].large = large[i];
      }
    } else {
      Entry& entry = entries_[next];
      entry.taken_up = true;
      if (entry.large) ++large_ahead_;
      ReleaseSRWLockExclusive(&lock_);
      auto file = std::make_unique<PreparedCopy>();
      bool prepared =
          file->Prepare(entry.copy.source, entry.copy.destination, buffer.get(), nullptr, nullptr);
      AcquireSRWLockExclusive(&lock_);
      entry.file = std::move(file);
      entry.prepared = prepared;
      entry.ready = true;
    }
    --busy_;
    WakeAllConditionVariable(&changed_);
  }
}

}  // namespace setup
