#pragma once
// A point in time by which a wait must end, or none.
#include <chrono>
#include <optional>

namespace zor {

// A point in time by which a wait must end, or none.
class TzorDeadline {
 public:
  using Clock = std::chrono::steady_clock;
  // No limit.
  TzorDeadline() = default;
  // `timeout_ms` from now; zero or less means no limit.
  static TzorDeadline After(int timeout_ms) {
    TzorDeadline d;
    if (timeout_ms > 0) d.at_ = Clock::now() + std::chrono::milliseconds(timeout_ms);
    return d;
  }
  // Already reached: a wait only looks.
  static TzorDeadline Now() {
    TzorDeadline d;
    d.at_ = Clock::now();
    return d;
  }
  bool Limited() const { return at_.has_value(); }
  Clock::time_point At() const { return *at_; }
  // Milliseconds left for poll(): -1 without limit, rounded up otherwise.
  int PollMilliseconds() const;

 private:
  std::optional<Clock::time_point> at_;
};

}  // namespace zor
