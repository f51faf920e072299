#pragma once
// The heartbeat's bookkeeping, on the steady clock so that a change of the
// wall clock neither fires nor hides a time-out; and the text of a ping
// without text of its own.
#include <chrono>
#include <deque>
#include <string>

namespace zor {

// Local time as "yyyymmddhhnnsszzz" (17 digits, no time-zone mark).
std::string PingTimestampText(std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// The heartbeat's pings awaiting pongs, and whether one has waited too long.
class TzorHeartBeatState {
 public:
  using Clock = std::chrono::steady_clock;

  // A heartbeat ping left at `at`.
  void PingSent(Clock::time_point at);
  // A pong arrived at `at`: every ping sent up to then counts as answered.
  void PongReceived(Clock::time_point at);
  // True when the oldest ping still unanswered left `timeout` or more ago.
  bool TimedOut(Clock::time_point now, std::chrono::seconds timeout) const;
  void Clear() { pending_.clear(); }

  // Pings kept while unanswered; older ones count through the oldest kept.
  static constexpr size_t kMaxPending = 64;

 private:
  std::deque<Clock::time_point> pending_;  // send times of unanswered pings, oldest first
};

}  // namespace zor
