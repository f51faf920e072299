#include "net/input_buffer.h"

#include <algorithm>

namespace zor {

namespace {
// From this size on, a read that takes the whole buffer takes its text too
// instead of copying it.
constexpr size_t kHandOverBytes = 64 * 1024;
}  // namespace

size_t TzorInputBuffer::Take(std::string& out, size_t max) {
  std::lock_guard guard(lock_);
  const size_t n = std::min(max, data_.size() - start_);
  if (out.empty() && start_ == 0 && n == data_.size() && n >= kHandOverBytes) {
    const size_t capacity = data_.capacity();
    out.swap(data_);
    data_.clear();
    data_.reserve(capacity);
    SizeChangedLocked();
    return n;
  }
  out.append(data_, start_, n);
  start_ += n;
  if (start_ == data_.size()) {
    data_.clear();
    start_ = 0;
  } else if (start_ > kHandOverBytes && start_ * 2 > data_.size()) {
    data_.erase(0, start_);
    start_ = 0;
  }
  SizeChangedLocked();
  return n;
}

}  // namespace zor
