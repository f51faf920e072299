#pragma once
// The write side shared by both connection kinds: writes are sent in the
// order they are made, and between Begin and End/Cancel one thread collects
// its writes in a buffer while other writers wait.
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "base/lean_lock.h"

namespace zor {

// The write side of a connection: ordered writes, optionally collected and sent at once.
class TzorWriteGate {
 public:
  using Sender = std::function<void(std::string_view)>;
  // `send` runs with the gate's lock held; a buffer larger than `limit` is
  // sent before more is collected.
  TzorWriteGate(Sender send, size_t limit) : send_(std::move(send)), limit_(limit) {}

  // Inline, as it is on the way of every message: sent at once unless a
  // writer collects.
  void Write(std::string_view bytes) {
    std::lock_guard guard(lock_);
    if (depth_ > 0) return Collect(bytes);
    if (!bytes.empty()) send_(bytes);
  }
  void Begin();
  void Flush();
  void End();
  void Cancel();
  // Held by anyone who must put bytes on the wire in order with the writers.
  TzorLeanRecursiveLock& Lock() { return lock_; }

 private:
  void Collect(std::string_view bytes);
  void Leave();

  Sender send_;
  size_t limit_;
  TzorLeanRecursiveLock lock_;
  int depth_ = 0;
  std::string buffer_;
};

}  // namespace zor
