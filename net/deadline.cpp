#include "net/deadline.h"

namespace zor {

int TzorDeadline::PollMilliseconds() const {
  using namespace std::chrono;
  if (!at_) return -1;
  const auto left = *at_ - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  const auto ms = duration_cast<milliseconds>(left + milliseconds(1) - nanoseconds(1)).count();
  return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

}  // namespace zor
