#include "net/throttle.h"

namespace zor {

TzorConnectionIntercept::Pause TzorThrottle::PauseFor(Schedule& schedule, size_t bytes) {
  const uint32_t rate = bits_per_second_;
  if (rate == 0 || bytes == 0) return {};
  const auto cost = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(bytes) * 8.0 / rate));
  std::lock_guard guard(schedule.lock);
  const auto now = Clock::now();
  // Idle time is not saved up: a burst after a pause is paced from now.
  schedule.free_at = std::max(schedule.free_at, now) + cost;
  return std::chrono::duration_cast<Pause>(schedule.free_at - now);
}

}  // namespace zor
