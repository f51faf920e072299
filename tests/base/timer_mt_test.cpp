#include "base/timer.h"
#include "main_thread_fixture.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zor {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Waits (without pumping) until done() holds; false after a generous while.
bool WaitUntil(const std::function<bool()>& done) {
  const auto give_up = Clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (Clock::now() > give_up) return false;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return true;
}

// A timer that says when it is gone.
class WatchedTimer : public TzorTimer {
 public:
  explicit WatchedTimer(std::atomic<bool>& destroyed) : FDestroyed(destroyed) {}
  ~WatchedTimer() override {
    TerminateAndWait();
    FDestroyed = true;
  }

 private:
  std::atomic<bool>& FDestroyed;
};

using Timer = MainThreadTest;

TEST_F(Timer, StartsWithTheDocumentedSettings) {
  TzorTimer timer;
  EXPECT_EQ(timer.Interval(), 60000);
  EXPECT_EQ(timer.NotifyEvents(), neNoSync);
  EXPECT_FALSE(timer.Enabled());
  EXPECT_FALSE(timer.IsCurrentThread());
}

TEST_F(Timer, FiresInWholeStepsOnItsOwnThread) {
  std::mutex lock;
  std::vector<Clock::time_point> fired;
  std::atomic<bool> on_own_thread{true};
  TzorTimer timer("cadence");
  timer.SetInterval(150);
  timer.SetEnabled(true);
  timer.SetOnTimer([&](TzorTimer* sender) {
    if (!sender->IsCurrentThread() || !sender->IsExecuting()) on_own_thread = false;
    std::lock_guard guard(lock);
    fired.push_back(Clock::now());
  });
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard guard(lock);
    return fired.size() >= 4;
  }));
  timer.SetEnabled(false);
  EXPECT_TRUE(timer.Terminated());
  EXPECT_TRUE(on_own_thread);
  EXPECT_NE(timer.ThreadId(), CurrentThreadId());
  std::lock_guard guard(lock);
  for (size_t i = 1; i < fired.size(); ++i) {
    // Two 100 ms steps: never less than 200 ms apart, and not far beyond.
    EXPECT_GE(fired[i] - fired[i - 1], milliseconds(199));
    EXPECT_LT(fired[i] - fired[i - 1], milliseconds(3000));
  }
}

TEST_F(Timer, AnIntervalChangeShortensTheWaitInProgress) {
  std::atomic<int> fired{0};
  TzorTimer timer;  // its first pass starts with 60000 ms to go
  timer.SetOnTimer([&](TzorTimer*) { ++fired; });
  std::this_thread::sleep_for(milliseconds(150));
  timer.SetInterval(100);
  EXPECT_TRUE(WaitUntil([&] { return fired > 0; }));
}

TEST_F(Timer, TerminatingDuringAWaitEndsThePassWithoutFiring) {
  std::atomic<int> fired{0};
  std::atomic<bool> destroyed{false};
  auto timer = std::make_unique<WatchedTimer>(destroyed);
  timer->SetInterval(1000);
  timer->SetOnTimer([&](TzorTimer*) { ++fired; });
  std::this_thread::sleep_for(milliseconds(250));  // inside the wait
  std::unique_ptr<TzorTimer> owned = std::move(timer);
  FreeTimer(owned);
  EXPECT_EQ(owned, nullptr);
  EXPECT_TRUE(destroyed);  // freed from another thread: gone on return
  EXPECT_EQ(fired, 0);
}

TEST_F(Timer, HandlerErrorsGoToOnExceptionAndTheTimerGoesOn) {
  std::atomic<int> fired{0}, reported{0};
  std::atomic<bool> executing_in_report{false};
  std::string message;  // written on the timer thread before `reported` rises
  TzorTimer timer;
  timer.SetInterval(100);
  timer.SetOnException([&](TzorTimer* sender, const std::exception& e) {
    if (reported == 0) message = e.what();
    executing_in_report = sender->IsExecuting();
    ++reported;
  });
  timer.SetOnTimer([&](TzorTimer*) {
    ++fired;
    throw std::runtime_error("tick failed");
  });
  ASSERT_TRUE(WaitUntil([&] { return reported >= 2; }));
  timer.TerminateAndWait();
  EXPECT_EQ(message, "tick failed");
  EXPECT_TRUE(executing_in_report);
  EXPECT_GE(fired, 2);
  EXPECT_FALSE(timer.IsExecuting());

  // Without OnException the error is dropped and firing continues.
  std::atomic<int> fired_alone{0};
  TzorTimer alone;
  alone.SetInterval(100);
  alone.SetOnTimer([&](TzorTimer*) {
    ++fired_alone;
    throw 42;
  });
  EXPECT_TRUE(WaitUntil([&] { return fired_alone >= 2; }));
}

TEST_F(Timer, FreeTimerFromItsOwnHandlerReturnsAndTheTimerEndsItself) {
  std::atomic<bool> destroyed{false};
  std::atomic<int> fired{0};
  std::atomic<bool> cleared{false};
  std::unique_ptr<TzorTimer> timer = std::make_unique<WatchedTimer>(destroyed);
  std::mutex timer_lock;  // guards the reference the handler clears
  timer->SetInterval(100);
  timer->SetOnTimer([&](TzorTimer*) {
    ++fired;
    std::lock_guard guard(timer_lock);
    FreeTimer(timer);
    cleared = timer == nullptr;
  });
  ASSERT_TRUE(WaitUntil([&] { return destroyed.load(); }));
  EXPECT_TRUE(cleared);
  EXPECT_EQ(fired, 1);
}

TEST_F(Timer, AsynchronousFiringRunsOnTheMainThreadWhenItPumps) {
  const uint32_t main_id = CurrentThreadId();
  int fired = 0;  // touched on the main thread only
  bool on_main = true;
  TzorTimer timer;
  timer.SetNotifyEvents(neAsynchronous);
  timer.SetInterval(100);
  timer.SetOnTimer([&](TzorTimer* sender) {
    on_main = on_main && CurrentThreadId() == main_id && !sender->IsCurrentThread() && sender->IsExecuting();
    ++fired;
  });
  EXPECT_TRUE(PumpUntil([&] { return fired >= 3; }));
  EXPECT_TRUE(on_main);
  timer.SetEnabled(false);  // drops the firings still queued
  EXPECT_TRUE(WaitUntil([&] { return FDispatcher->PendingCount() == 0; }));
}

TEST_F(Timer, SynchronousFiringWaitsForTheMainThread) {
  const uint32_t main_id = CurrentThreadId();
  int fired = 0;
  bool on_main = true;
  TzorTimer timer;
  timer.SetNotifyEvents(neSynchronous);
  timer.SetInterval(100);
  timer.SetOnTimer([&](TzorTimer*) {
    on_main = on_main && CurrentThreadId() == main_id;
    ++fired;
  });
  // The timer thread waits with one firing queued until the main thread pumps.
  ASSERT_TRUE(WaitUntil([&] { return FDispatcher->PendingCount() == 1; }));
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(FDispatcher->PendingCount(), 1u);
  EXPECT_TRUE(PumpUntil([&] { return fired >= 2; }));
  EXPECT_TRUE(on_main);
}

TEST_F(Timer, FreeTimerFromASynchronousHandlerOnTheMainThread) {
  std::atomic<bool> destroyed{false};
  int fired = 0;
  std::unique_ptr<TzorTimer> timer = std::make_unique<WatchedTimer>(destroyed);
  timer->SetNotifyEvents(neSynchronous);
  timer->SetInterval(100);
  timer->SetOnTimer([&](TzorTimer*) {
    ++fired;
    FreeTimer(timer);  // the timer thread waits for this handler: must not wait back
  });
  EXPECT_TRUE(PumpUntil([&] { return destroyed.load(); }));
  EXPECT_EQ(timer, nullptr);
  EXPECT_EQ(fired, 1);
}

TEST_F(Timer, FreeTimerFromTheMainThreadReleasesAWaitingSynchronousFiring) {
  std::atomic<bool> destroyed{false};
  int fired = 0;
  std::unique_ptr<TzorTimer> timer = std::make_unique<WatchedTimer>(destroyed);
  timer->SetNotifyEvents(neSynchronous);
  timer->SetInterval(100);
  timer->SetOnTimer([&](TzorTimer*) { ++fired; });
  ASSERT_TRUE(WaitUntil([&] { return FDispatcher->PendingCount() == 1; }));
  FreeTimer(timer);  // without pumping
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(FDispatcher->PendingCount(), 0u);
  EXPECT_EQ(fired, 0);
}

}  // namespace
}  // namespace zor
