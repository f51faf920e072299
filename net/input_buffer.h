#pragma once
// The input buffer both connection kinds read from: bytes received (after
// TLS) wait here until the protocol code takes them. One thread fills and
// drains it; any thread may ask its size. Bytes are taken from the front
// without moving the rest each time.
#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace zor {

// Bytes received and not yet consumed, read from the front and appended at the back.
class TzorInputBuffer {
 public:
  // Asked before every read: answered without the lock.
  size_t Size() const { return size_.load(std::memory_order_acquire); }
  void Append(std::string_view bytes) {
    std::lock_guard guard(lock_);
    DropTakenLocked();
    data_ += bytes;
    SizeChangedLocked();
  }
  // Lets `fill` append to the buffer's text in place (a TLS engine decrypting
  // straight into it); returns what `fill` returns.
  template <class Fill>
  size_t AppendWith(Fill&& fill) {
    std::lock_guard guard(lock_);
    DropTakenLocked();
    // The size is brought up to date even when `fill` throws halfway.
    struct Recount {
      TzorInputBuffer& buffer;
      ~Recount() { buffer.SizeChangedLocked(); }
    } recount{*this};
    return fill(data_);
  }
  // Appends at most `max` bytes to `out`; returns how many.
  size_t Take(std::string& out, size_t max);
  void Clear() {
    std::lock_guard guard(lock_);
    data_.clear();
    start_ = 0;
    SizeChangedLocked();
  }

 private:
  void SizeChangedLocked() { size_.store(data_.size() - start_, std::memory_order_release); }
  void DropTakenLocked() {
    if (start_ > 0 && start_ == data_.size()) {
      data_.clear();
      start_ = 0;
    }
  }

  mutable std::mutex lock_;
  std::string data_;
  size_t start_ = 0;  // bytes before it were taken already
  std::atomic<size_t> size_{0};
};

}  // namespace zor
