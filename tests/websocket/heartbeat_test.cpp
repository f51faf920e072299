#include <gtest/gtest.h>

#include <chrono>

#include "websocket/heartbeat.h"

namespace zor {
namespace {

using namespace std::chrono_literals;
using Clock = TzorHeartBeatState::Clock;

TEST(HeartBeat, TimestampIsSeventeenDigitsOfLocalTime) {
  const auto now = std::chrono::system_clock::now();
  const std::string text = PingTimestampText(now);
  ASSERT_EQ(text.size(), 17u);
  EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos);
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  char expected[16];
  std::strftime(expected, sizeof expected, "%Y%m%d%H%M%S", &local);
  EXPECT_EQ(text.substr(0, 14), expected);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  EXPECT_EQ(std::stoi(text.substr(14)), ms);
}

TEST(HeartBeat, TimeOutCountsFromTheOldestUnansweredPing) {
  const Clock::time_point t0{};
  TzorHeartBeatState state;
  EXPECT_FALSE(state.TimedOut(t0 + 1h, 5s));  // nothing sent

  state.PingSent(t0);
  state.PongReceived(t0 + 100ms);
  state.PingSent(t0 + 10s);
  EXPECT_FALSE(state.TimedOut(t0 + 14s, 5s));
  EXPECT_TRUE(state.TimedOut(t0 + 15s, 5s));

  // Interval 5, time-out 20, silent server: pings every 5 s, the report
  // once 20 s have passed since the first unanswered one.
  TzorHeartBeatState silent;
  for (int i = 1; i <= 4; ++i) silent.PingSent(t0 + i * 5s);
  EXPECT_FALSE(silent.TimedOut(t0 + 24s, 20s));
  EXPECT_TRUE(silent.TimedOut(t0 + 25s, 20s));

  // An answer clears every ping sent up to it; a later one counts anew.
  silent.PongReceived(t0 + 21s);
  EXPECT_FALSE(silent.TimedOut(t0 + 30s, 20s));
  silent.PingSent(t0 + 22s);
  EXPECT_FALSE(silent.TimedOut(t0 + 41s, 20s));
  EXPECT_TRUE(silent.TimedOut(t0 + 42s, 20s));
}

TEST(HeartBeat, PendingPingsAreBounded) {
  const Clock::time_point t0{};
  TzorHeartBeatState state;
  for (size_t i = 0; i < 10 * TzorHeartBeatState::kMaxPending; ++i) state.PingSent(t0 + i * 1s);
  // The oldest one still decides.
  EXPECT_TRUE(state.TimedOut(t0 + 5s, 5s));
  state.PongReceived(t0 + 100000s);
  EXPECT_FALSE(state.TimedOut(t0 + 200000s, 5s));
}

}  // namespace
}  // namespace zor
