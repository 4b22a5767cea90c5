// DigestQueue: files read back and digested on a thread of their own while the run goes
// on with its next copies, so that the digest the record keeps of each file costs the
// run next to nothing. System is used from one thread only: the caller opens each file
// and hands the open InputFile over; the thread only reads it, then closes it. Results
// come out in the order the files went in. Where no thread can be started, each file is
// digested as it is added.
#ifndef SETUP_RECORD_DIGEST_QUEUE_H_
#define SETUP_RECORD_DIGEST_QUEUE_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record/file_digest.h"

namespace setup {

class InputFile;

class DigestQueue {
 public:
  struct Result {
    std::string path;
    bool read = false;  // false: the file could not be read to its end, no digest
    std::uint64_t size = 0;
    FileDigest::Digest digest{};
  };
  // At most this many files wait open at once; Add waits for room.
  static constexpr std::size_t kMaxWaiting = 32;
  // The thread is woken once this many files wait (or a result is waited for), not for
  // each file: a small file is digested in less time than a wake-up costs.
  static constexpr std::size_t kBatch = 8;

  // `batch`: how many files wait before the thread is woken; 1 for files each worth a
  // wake-up (large ones, read back while the next is copied).
  explicit DigestQueue(std::size_t batch = kBatch);
  ~DigestQueue();  // drops what is left, as Cancel
  DigestQueue(const DigestQueue&) = delete;
  DigestQueue& operator=(const DigestQueue&) = delete;

  // Hands over `input`, open on `path`, to be read to its end and digested.
  void Add(std::string path, std::unique_ptr<InputFile> input);
  // Appends to `out`, in order, the results ready so far; with `wait`, first waits until
  // every file added has its result.
  void Take(std::vector<Result>* out, bool wait);
  // Moves the oldest result not yet taken to `*result`, waiting for it; false when every
  // file added has had its result taken.
  bool Next(Result* result);
  // Whether `path` was added and its result not yet taken.
  bool Holds(const std::string& path) const;
  // Drops the files not yet digested and their results, and waits for the one being read.
  void Cancel();

 private:
  struct Job {
    std::string path;
    std::unique_ptr<InputFile> input;
  };
  Result Digest(Job job);
  void Work();
  bool StartThread();

  mutable std::mutex mu_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;           // added, waiting for the thread
  std::deque<Result> done_;        // digested, not yet taken
  std::vector<std::string> busy_;  // the path being digested, while it is
  bool stop_ = false;
  bool wanted_ = false;  // a caller waits for results: the thread works without a batch
  bool inline_ = false;  // no thread could be started
  std::size_t batch_;
  std::thread thread_;
  // Where each file is read, one piece at a time: by the thread, or by Add without one.
  std::unique_ptr<char[]> buffer_{new char[kDigestBufferSize]};
};

}  // namespace setup

#endif  // SETUP_RECORD_DIGEST_QUEUE_H_
