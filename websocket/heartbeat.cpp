#include "websocket/heartbeat.h"

#include <cstdio>
#include <ctime>

namespace zor {

std::string PingTimestampText(std::chrono::system_clock::time_point now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[96];  // room for any int the compiler can imagine
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis < 0 ? 0 : millis));
  return text;
}

void TzorHeartBeatState::PingSent(Clock::time_point at) {
  // The oldest unanswered ping decides; newer ones beyond the bound add nothing.
  if (pending_.size() < kMaxPending) pending_.push_back(at);
}

void TzorHeartBeatState::PongReceived(Clock::time_point at) {
  while (!pending_.empty() && pending_.front() <= at) pending_.pop_front();
}

bool TzorHeartBeatState::TimedOut(Clock::time_point now, std::chrono::seconds timeout) const {
  return !pending_.empty() && now - pending_.front() >= timeout;
}

}  // namespace zor
