#include "websocket/ping_list.h"

#include <algorithm>

namespace zor {

void TzorThreadListQueuePings::Sent(const std::string& text, bool listed) {
  const TzorDateTime now = std::chrono::system_clock::now();
  std::lock_guard guard(lock_);
  if (first_ping_ == TzorDateTime{}) first_ping_ = now;
  last_ping_ = now;
  if (listed && !abandoned_) pings_.push_back({now, text});
}

TzorThreadListQueuePings::TPongMatch TzorThreadListQueuePings::Received(const std::string& text) {
  std::lock_guard guard(lock_);
  last_pong_ = std::chrono::system_clock::now();
  if (pings_.empty()) return TPongMatch::NoPingOutstanding;
  const auto match = std::find_if(pings_.begin(), pings_.end(), [&](const TzorPing& p) { return p.Text == text; });
  if (match == pings_.end()) return TPongMatch::Different;
  pings_.erase(match);
  pong_ = text;
  pong_arrived_.notify_all();
  return TPongMatch::Matched;
}

bool TzorThreadListQueuePings::WaitForPong(const std::string& text, std::chrono::milliseconds timeout) {
  std::unique_lock guard(lock_);
  return pong_arrived_.wait_for(guard, timeout, [&] { return abandoned_ || pong_ == text; }) && pong_ == text;
}

void TzorThreadListQueuePings::ClearPong() {
  std::lock_guard guard(lock_);
  pong_.clear();
}

void TzorThreadListQueuePings::Abandon() {
  std::lock_guard guard(lock_);
  abandoned_ = true;
  pings_.clear();
  pong_arrived_.notify_all();
}

size_t TzorThreadListQueuePings::Count() const {
  std::lock_guard guard(lock_);
  return pings_.size();
}

std::string TzorThreadListQueuePings::Pong() const {
  std::lock_guard guard(lock_);
  return pong_;
}

TzorDateTime TzorThreadListQueuePings::FirstPing() const {
  std::lock_guard guard(lock_);
  return first_ping_;
}

TzorDateTime TzorThreadListQueuePings::LastPing() const {
  std::lock_guard guard(lock_);
  return last_ping_;
}

TzorDateTime TzorThreadListQueuePings::LastPong() const {
  std::lock_guard guard(lock_);
  return last_pong_;
}

}  // namespace zor
