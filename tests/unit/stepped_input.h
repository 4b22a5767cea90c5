// An in-memory source for the readers' tests: it hands out at most `step` bytes per read,
// so that reads end anywhere, and can fail once `fail_at` bytes have been read.
#ifndef SETUP_TESTS_UNIT_STEPPED_INPUT_H_
#define SETUP_TESTS_UNIT_STEPPED_INPUT_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/system.h"

namespace setup {

class SteppedInput : public InputFile {
 public:
  SteppedInput(std::string data, std::size_t step, long fail_at = -1)
      : data_(std::move(data)), step_(step), fail_at_(fail_at) {}
  std::ptrdiff_t Read(void* buffer, std::size_t size) override {
    if (fail_at_ >= 0 && pos_ >= static_cast<std::size_t>(fail_at_)) return -1;
    std::size_t n = std::min({size, step_, data_.size() - pos_});
    if (fail_at_ >= 0) n = std::min(n, static_cast<std::size_t>(fail_at_) - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  std::string data_;
  std::size_t step_;
  long fail_at_;
  std::size_t pos_ = 0;
};

}  // namespace setup

#endif  // SETUP_TESTS_UNIT_STEPPED_INPUT_H_
