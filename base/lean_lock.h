#pragma once
// A lock for short sections on a hot path: taking and releasing it free is
// one atomic instruction each, inline, where a library mutex adds two calls
// and its own bookkeeping. A thread that finds it taken sleeps on the lock
// word. Lockable, so std::lock_guard and std::unique_lock work on it.
#include <atomic>
#include <cstdint>

#include "base/thread_token.h"

namespace zor {

// Not re-entrant.
class TzorLeanLock {
 public:
  void lock() {
    int state = kFree;
    if (!state_.compare_exchange_strong(state, kTaken, std::memory_order_acquire)) LockContended(state);
  }
  bool try_lock() {
    int state = kFree;
    return state_.compare_exchange_strong(state, kTaken, std::memory_order_acquire);
  }
  void unlock() {
    if (state_.exchange(kFree, std::memory_order_release) == kWaitedFor) state_.notify_one();
  }

 private:
  enum : int { kFree, kTaken, kWaitedFor };

  // Marks the lock waited for, so that its holder wakes a sleeper; whoever
  // takes it this way keeps that mark, as more may sleep.
  void LockContended(int state) {
    if (state != kWaitedFor) state = state_.exchange(kWaitedFor, std::memory_order_acquire);
    while (state != kFree) {
      state_.wait(kWaitedFor, std::memory_order_relaxed);
      state = state_.exchange(kWaitedFor, std::memory_order_acquire);
    }
  }

  std::atomic<int> state_{kFree};
};

// The re-entrant kind: the holder may take it again and releases it as often.
class TzorLeanRecursiveLock {
 public:
  void lock() {
    if (!Held()) {
      lock_.lock();
      Own();
    }
    ++depth_;
  }
  bool try_lock() {
    if (!Held()) {
      if (!lock_.try_lock()) return false;
      Own();
    }
    ++depth_;
    return true;
  }
  void unlock() {
    if (--depth_ > 0) return;
    owner_.store(0, std::memory_order_relaxed);
    lock_.unlock();
  }

 private:
  // Only this thread ever stores its own token here: no ordering needed.
  bool Held() const { return owner_.load(std::memory_order_relaxed) == ThisThreadToken(); }
  void Own() { owner_.store(ThisThreadToken(), std::memory_order_relaxed); }

  TzorLeanLock lock_;
  std::atomic<uintptr_t> owner_{0};
  int depth_ = 0;  // only the holder touches it
};

}  // namespace zor
