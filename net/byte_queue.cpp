#include "net/byte_queue.h"

#include <algorithm>
#include <cstring>

namespace zor {

void TzorByteQueue::Append(std::string_view bytes) {
  if (bytes.empty()) return;
  DropTakenFront();
  if (data_.size() - end_ >= bytes.size()) {
    std::memcpy(data_.data() + end_, bytes.data(), bytes.size());
  } else {
    // Growing by appending copies the bytes once, with no clearing of
    // room first.
    data_.resize(end_);
    data_.append(bytes);
  }
  end_ += bytes.size();
}

void TzorByteQueue::MoveRestForward() {
  std::memmove(data_.data(), data_.data() + start_, Size());
  end_ -= start_;
  start_ = 0;
}

void TzorByteQueue::Drop(size_t size) { start_ += size; }

size_t TzorByteQueue::Take(char* out, size_t max) {
  const size_t n = std::min(max, Size());
  std::memcpy(out, data_.data() + start_, n);
  Drop(n);
  return n;
}

void TzorByteQueue::TakeAll(std::string& out) {
  if (out.empty() && start_ == 0) {
    data_.resize(end_);
    out.swap(data_);
    data_.clear();
  } else {
    out.append(data_, start_, Size());
  }
  start_ = end_ = 0;
}

}  // namespace zor
