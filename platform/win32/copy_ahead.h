// The copies a run has announced (System::ExpectCopies), prepared ahead on four threads
// of their own while the run commits the earlier ones: under Wine each step of a copy is
// a round trip to the server, and copies prepared side by side keep it busy instead of
// waiting on it one at a time.
#ifndef SETUP_PLATFORM_WIN32_COPY_AHEAD_H_
#define SETUP_PLATFORM_WIN32_COPY_AHEAD_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_copy.h"
#include "platform/win32/windows_headers.h"

namespace setup {

// Copies at most this far ahead of the one the run asks for, in order: as many
// temporary files and open handles at most, and a few large ones besides.
inline constexpr std::size_t kCopiesPreparedAhead = 16;

// A source of at least this many bytes is a large copy, prepared before the smaller
// ones announced before it, so that the run does not wait for it when its turn comes;
// at most kLargeCopiesAhead of them at once beyond the copies in order.
inline constexpr std::uint64_t kLargeCopy = std::uint64_t{1} << 20;
inline constexpr int kLargeCopiesAhead = 2;

class CopyAhead {
 public:
  CopyAhead() = default;
  // Drops what is prepared and ends the threads.
  ~CopyAhead();
  CopyAhead(const CopyAhead&) = delete;
  CopyAhead& operator=(const CopyAhead&) = delete;

  // Drops what was announced before and prepares `copies`: the large ones first (one
  // thread first looks at the sizes of all the sources), then the others in order. Does
  // nothing when no thread can be started.
  void Expect(const std::vector<System::CopyPair>& copies);

  // When `source` and `destination` are the next copy announced and it was prepared
  // and renamed onto its destination without a failure: true, the copy made (its file
  // closed by the threads, all of them before the last copy announced returns).
  // Otherwise drops everything announced and answers false, and the caller copies as if
  // nothing had been announced: a failure is then always the one a copy meets in its
  // turn.
  bool Take(const std::string& source, const std::string& destination);

  // Forgets every copy announced: waits for those being prepared and removes every
  // temporary file not renamed. Cheap when nothing is announced.
  void Drop();

 private:
  struct Entry {
    System::CopyPair copy;
    bool large = false;
    bool taken_up = false;  // by a thread
    bool ready = false;
    bool prepared = false;  // without a failure
    std::unique_ptr<PreparedCopy> file;
  };
  static DWORD WINAPI Work(void* self);
  void WorkLoop();
  bool StartThreads();
  // Under the lock: the entry a thread takes up next, or entries_.size() for none.
  std::size_t Pick();
  // Outside the lock: marks the large sources of entries_ (stable while busy_ > 0).
  void LookAtSizes(std::vector<bool>* large) const;

  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
  std::vector<Entry> entries_;
  // Copies renamed onto their destinations, for the threads to close: the run goes on to
  // the next copy without waiting for that.
  std::vector<ScopedHandle> to_close_;
  std::size_t next_prepared_ = 0;  // the next entry in order a thread may take up
  std::size_t next_taken_ = 0;     // the next entry the run asks for
  bool sizes_known_ = true;        // the sizes of the sources were looked at
  int large_ahead_ = 0;            // large entries taken up and not yet asked for
  int busy_ = 0;                   // threads preparing an entry, looking at sizes or closing a file
  bool stopping_ = false;
  bool started_ = false;
  std::vector<ScopedHandle> threads_;
};

}  // namespace setup

#endif  // SETUP_PLATFORM_WIN32_COPY_AHEAD_H_
