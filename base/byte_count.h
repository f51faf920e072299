#pragma once
// A running count of bytes that one thread at a time adds to (the reader of
// a connection, or whoever holds its writers' lock) and any thread reads.
// With a single writer the add needs no locked instruction: on a path that
// moves a small message it costs as much as all the rest of the bookkeeping.
#include <atomic>
#include <cstdint>

namespace zor {

class TzorByteCount {
 public:
  // Only by the one writer of the moment.
  void Add(uint64_t n) { value_.store(value_.load(std::memory_order_relaxed) + n, std::memory_order_relaxed); }
  void Reset() { value_.store(0, std::memory_order_relaxed); }
  uint64_t Get() const { return value_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint64_t> value_{0};
};

}  // namespace zor
