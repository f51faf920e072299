#pragma once
// The input buffer both connection kinds read from: bytes received (after
// TLS) wait here until the protocol code takes them. One thread fills and
// drains it; any thread may ask its size. Bytes are taken from the front
// without moving the rest each time.
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace zor {

// Bytes received and not yet consumed, read from the front and appended at the back.
class TzorInputBuffer {
 public:
  size_t Size() const {
    std::lock_guard guard(lock_);
    return data_.size() - start_;
  }
  void Append(std::string_view bytes) {
    std::lock_guard guard(lock_);
    DropTakenLocked();
    data_ += bytes;
  }
  // Lets `fill` append to the buffer's text in place (a TLS engine decrypting
  // straight into it); returns what `fill` returns.
  template <class Fill>
  size_t AppendWith(Fill&& fill) {
    std::lock_guard guard(lock_);
    DropTakenLocked();
    return fill(data_);
  }
  // Appends at most `max` bytes to `out`; returns how many.
  size_t Take(std::string& out, size_t max);
  void Clear() {
    std::lock_guard guard(lock_);
    data_.clear();
    start_ = 0;
  }

 private:
  void DropTakenLocked() {
    if (start_ > 0 && start_ == data_.size()) {
      data_.clear();
      start_ = 0;
    }
  }

  mutable std::mutex lock_;
  std::string data_;
  size_t start_ = 0;  // bytes before it were taken already
};

}  // namespace zor
