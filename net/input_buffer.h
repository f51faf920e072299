#pragma once
// The input buffer both connection kinds read from: bytes received (after
// TLS) wait here until the protocol code takes them. One thread fills and
// drains it; any thread may ask its size or clear it. Bytes are taken from
// the front without moving the rest each time, and a socket receives or a
// TLS engine decrypts straight into its free room.
#include <atomic>
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
  // Asked before every read: answered without the lock.
  size_t Size() const { return size_.load(std::memory_order_acquire); }
  void Append(std::string_view bytes) {
    std::lock_guard guard(lock_);
    bytes_.Append(bytes);
    SizeChangedLocked();
  }
  // Lets `fill` write into free room for `size` bytes at the back and adds
  // what it wrote; `fill` returns how much that was.
  template <class Fill>
  size_t AppendWith(size_t size, Fill&& fill) {
    std::lock_guard guard(lock_);
    const size_t n = fill(bytes_.Room(size).first(size));
    bytes_.Commit(n);
    SizeChangedLocked();
    return n;
  }
  // As AppendWith, but `receive` runs without the lock so that it may wait
  // for the bytes: the room stays put meanwhile, as only this thread fills
  // and a Clear then keeps the storage.
  template <class Receive>
  size_t ReceiveWith(size_t size, Receive&& receive) {
    std::span<char> room;
    {
      std::lock_guard guard(lock_);
      room = bytes_.Room(size).first(size);
      receiving_ = true;
    }
    size_t n = 0;
    try {
      n = receive(room);
    } catch (...) {
      EndReceive(0);
      throw;
    }
    EndReceive(n);
    return n;
  }
  // Appends at most `max` bytes to `out`; returns how many.
  size_t Take(std::string& out, size_t max);
  // Moves at most `out.size()` bytes into `out`; returns how many.
  size_t Take(std::span<char> out) {
    std::lock_guard guard(lock_);
    const size_t n = bytes_.Take(out.data(), out.size());
    SizeChangedLocked();
    return n;
  }
  void Clear() {
    std::lock_guard guard(lock_);
    if (receiving_)
      bytes_.Drop(bytes_.Size());
    else
      bytes_ = TzorByteQueue();
    SizeChangedLocked();
  }

 private:
  void EndReceive(size_t received) {
    std::lock_guard guard(lock_);
    receiving_ = false;
    bytes_.Commit(received);
    SizeChangedLocked();
  }
  void SizeChangedLocked() { size_.store(bytes_.Size(), std::memory_order_release); }

  mutable std::mutex lock_;
  TzorByteQueue bytes_;
  bool receiving_ = false;  // a ReceiveWith is writing into the room
  std::atomic<size_t> size_{0};
};

}  // namespace zor
