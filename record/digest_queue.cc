#include "record/digest_queue.h"

#include <algorithm>
#include <utility>

#include "platform/system.h"
#include "text/thread_start.h"

namespace setup {

DigestQueue::DigestQueue(std::size_t batch) : batch_(batch < 1 ? 1 : batch) {}

DigestQueue::~DigestQueue() {
  Cancel();
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

DigestQueue::Result DigestQueue::Digest(Job job) {
  Result result;
  result.path = std::move(job.path);
  result.read =
      DigestOfInput(*job.input, &result.digest, &result.size, buffer_.get(), kDigestBufferSize);
  job.input.reset();  // closed on this thread: the caller does not wait for it
  return result;
}

bool DigestQueue::StartThread() {
  if (thread_.joinable()) return true;
  if (inline_) return false;
  // No thread to be had: each file is digested as it comes.
  if (!setup::StartThread(&thread_, [this] { Work(); })) inline_ = true;
  return !inline_;
}

void DigestQueue::Add(std::string path, std::unique_ptr<InputFile> input) {
  Job job{std::move(path), std::move(input)};
  if (!StartThread()) {
    Result result = Digest(std::move(job));
    std::lock_guard<std::mutex> lock(mu_);
    done_.push_back(std::move(result));
    return;
  }
  std::unique_lock<std::mutex> lock(mu_);
  changed_.wait(lock, [this] { return jobs_.size() < kMaxWaiting; });
  jobs_.push_back(std::move(job));
  bool wake = jobs_.size() == batch_;
  lock.unlock();
  if (wake) changed_.notify_all();
}

void DigestQueue::Work() {
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    // Once woken, the thread empties the queue before it sleeps again.
    changed_.wait(
        lock, [this] { return stop_ || jobs_.size() >= batch_ || (wanted_ && !jobs_.empty()); });
    if (jobs_.empty()) return;  // stopped, nothing left
    while (!jobs_.empty()) {
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      busy_.push_back(job.path);
      lock.unlock();
      changed_.notify_all();  // room for the next Add
      Result result = Digest(std::move(job));
      lock.lock();
      busy_.clear();
      done_.push_back(std::move(result));
      if (wanted_) changed_.notify_all();
    }
    changed_.notify_all();
  }
}

void DigestQueue::Take(std::vector<Result>* out, bool wait) {
  std::unique_lock<std::mutex> lock(mu_);
  if (wait && !(jobs_.empty() && busy_.empty())) {
    wanted_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return jobs_.empty() && busy_.empty(); });
    wanted_ = false;
  }
  for (Result& result : done_) out->push_back(std::move(result));
  done_.clear();
}

bool DigestQueue::Next(Result* result) {
  std::unique_lock<std::mutex> lock(mu_);
  if (done_.empty()) {
    if (jobs_.empty() && busy_.empty()) return false;
    wanted_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !done_.empty(); });
    wanted_ = false;
  }
  *result = std::move(done_.front());
  done_.pop_front();
  return true;
}

bool DigestQueue::Holds(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto named = [&](const auto& item) { return item.path == path; };
  return std::any_of(jobs_.begin(), jobs_.end(), named) ||
         std::any_of(done_.begin(), done_.end(), named) ||
         std::find(busy_.begin(), busy_.end(), path) != busy_.end();
}

void DigestQueue::Cancel() {
  std::deque<Job> dropped;
  {
    std::unique_lock<std::mutex> lock(mu_);
    dropped.swap(jobs_);
    changed_.wait(lock, [this] { return busy_.empty(); });
    done_.clear();
  }
  changed_.notify_all();
}  // the dropped files are closed here

}  // namespace setup
