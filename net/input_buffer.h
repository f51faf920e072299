#pragma once
// The input buffer both connection kinds read from: bytes received (after
// TLS) wait here until the protocol code takes them. One thread fills and
// drains it; any thread may ask its size. Bytes are taken from the front
// without moving the rest each time, and a TLS engine decrypts straight
// into its free room.
#include <cstddef>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "net/byte_queue.h"

namespace zor {

// Bytes received and not yet consumed, read from the front and appended at the back.
class TzorInputBuffer {
 public:
  size_t Size() const {
    std::lock_guard guard(lock_);
    return bytes_.Size();
  }
  void Append(std::string_view bytes) {
    std::lock_guard guard(lock_);
    bytes_.Append(bytes);
  }
  // Lets `fill` write into free room for `size` bytes at the back and adds
  // what it wrote; `fill` returns how much that was.
  template <class Fill>
  size_t AppendWith(size_t size, Fill&& fill) {
    std::lock_guard guard(lock_);
    const size_t n = fill(bytes_.Room(size).first(size));
    bytes_.Commit(n);
    return n;
  }
  // Appends at most `max` bytes to `out`; returns how many.
  size_t Take(std::string& out, size_t max);
  void Clear() {
    std::lock_guard guard(lock_);
    bytes_ = TzorByteQueue();
  }

 private:
  mutable std::mutex lock_;
  TzorByteQueue bytes_;
};

}  // namespace zor
