#pragma once
// The pings a connection sent and the pongs that answer them, with the times
// the heartbeat reads. Pong matching and the list share one lock; waiting for
// a pong is a wait on a condition variable.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace zor {

using TzorDateTime = std::chrono::system_clock::time_point;

// A ping sent and not yet answered: its text and when it left.
class TzorPing {
 public:
  TzorDateTime Date;
  std::string Text;
};

// The pings awaiting their pongs, matched by text, under a lock.
class TzorThreadListQueuePings {
 public:
  enum class TPongMatch { NoPingOutstanding, Matched, Different };

  // A ping is being sent: FirstPing (once), LastPing and the list.
  void Sent(const std::string& text, bool listed);
  // A pong arrived: LastPong, then the first listed ping with the same text
  // is taken off and becomes Pong.
  TPongMatch Received(const std::string& text);
  // Waits until Pong equals `text`, the wait is abandoned, or the time is up.
  bool WaitForPong(const std::string& text, std::chrono::milliseconds timeout);
  void ClearPong();
  // Drops the outstanding pings and releases every waiter for good.
  void Abandon();

  size_t Count() const;
  std::string Pong() const;
  TzorDateTime FirstPing() const;
  TzorDateTime LastPing() const;
  TzorDateTime LastPong() const;

 private:
  mutable std::mutex lock_;
  std::condition_variable pong_arrived_;
  std::vector<TzorPing> pings_;  // a few at a time: a vector is the smaller
  std::string pong_;
  TzorDateTime first_ping_{}, last_ping_{}, last_pong_{};
  bool abandoned_ = false;
};

}  // namespace zor
