#pragma once
// Limits a connection's traffic to a number of bits per second, in each
// direction, by asking for a pause after every chunk.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "net/intercept.h"

namespace zor {

// An intercept that limits a connection's traffic to a number of bits per second.
class TzorThrottle : public TzorConnectionIntercept {
 public:
  explicit TzorThrottle(uint32_t bits_per_second = 0) : bits_per_second_(bits_per_second) {}

  // 0 switches the limit off.
  uint32_t BitsPerSec() const { return bits_per_second_; }
  void SetBitsPerSec(uint32_t bits_per_second) { bits_per_second_ = bits_per_second; }

  Pause Received(std::string_view data) override { return PauseFor(receive_, data.size()); }
  Pause Sent(std::string_view data) override { return PauseFor(send_, data.size()); }

 private:
  using Clock = std::chrono::steady_clock;
  // When the bytes passed so far in one direction may have finished at the set rate.
  struct Schedule {
    std::mutex lock;
    Clock::time_point free_at{};
  };
  Pause PauseFor(Schedule& schedule, size_t bytes);

  std::atomic<uint32_t> bits_per_second_;
  Schedule receive_, send_;
};

}  // namespace zor
