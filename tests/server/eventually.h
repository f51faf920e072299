#pragma once
// Waits for a condition that another thread makes true: polls it for up to
// ten seconds and returns its last value, so a test fails instead of hanging.
#include <chrono>
#include <thread>

namespace zor::test {

template <class F>
bool Eventually(F condition) {
  for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return condition();
}

}  // namespace zor::test
