#pragma once
// A test's own thread as the main thread: a headless dispatcher installed for
// the test, and a pump loop with a generous bound.
#include "base/main_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

namespace zor {

class MainThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { SetMainThreadDispatcher(FDispatcher); }
  void TearDown() override {
    SetMainThreadDispatcher(nullptr);
  }

  // Pumps until done() holds; false when that took more than a generous while.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > give_up) return false;
      FDispatcher->WaitAndPump(std::chrono::milliseconds(10));
    }
    return true;
  }

  std::shared_ptr<TzorHeadlessDispatcher> FDispatcher = std::make_shared<TzorHeadlessDispatcher>();
};

}  // namespace zor
