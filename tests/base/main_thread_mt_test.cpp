#include "base/id_thread.h"
#include "main_thread_fixture.h"

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zor {
namespace {

using Dispatch = MainThreadTest;

TEST_F(Dispatch, SendOnTheMainThreadRunsAtOnce) {
  bool ran = false;
  EXPECT_TRUE(SyncToMainThread([&] { ran = true; }));
  EXPECT_TRUE(ran);
  EXPECT_EQ(FDispatcher->PendingCount(), 0u);
}

TEST_F(Dispatch, PostedTasksRunInOrderOnTheMainThreadWhenPumped) {
  const uint32_t main_id = CurrentThreadId();
  std::vector<int> order;  // touched on the main thread only
  std::vector<uint32_t> threads;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i)
      QueueToMainThread([&, i] {
        order.push_back(i);
        threads.push_back(CurrentThreadId());
      });
  });
  worker.join();
  EXPECT_TRUE(order.empty());  // nothing runs until the main thread pumps
  EXPECT_EQ(FDispatcher->Pump(), 3u);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(threads, (std::vector<uint32_t>(3, main_id)));
}

TEST_F(Dispatch, PumpRunsOnlyWhatWasQueuedBeforeIt) {
  int runs = 0;
  QueueToMainThread([&] {
    ++runs;
    QueueToMainThread([&] { ++runs; });
  });
  EXPECT_EQ(FDispatcher->Pump(), 1u);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(FDispatcher->Pump(), 1u);
  EXPECT_EQ(runs, 2);
}

TEST_F(Dispatch, SendFromAWorkerWaitsForThePumpAndCarriesExceptions) {
  std::atomic<int> stage{0};
  uint32_t ran_on = 0;
  bool sent = false;
  bool error_arrived = false;
  std::thread worker([&] {
    sent = SyncToMainThread([&] { ran_on = CurrentThreadId(); });
    stage = 1;
    try {
      SyncToMainThread([] { throw std::runtime_error("from main"); });
    } catch (const std::runtime_error& e) {
      error_arrived = std::string(e.what()) == "from main";
    }
    stage = 2;
  });
  EXPECT_TRUE(PumpUntil([&] { return stage == 2; }));
  worker.join();
  EXPECT_TRUE(sent);
  EXPECT_EQ(ran_on, CurrentThreadId());
  EXPECT_TRUE(error_arrived);
}

TEST_F(Dispatch, CancelDropsAnOwnersTasksAndReleasesItsSender) {
  int owner = 0, other = 0;
  int runs = 0;
  QueueToMainThread([&] { runs += 100; }, &owner);
  QueueToMainThread([&] { runs += 1; }, &other);
  std::atomic<bool> released{false};
  bool sent = true;
  std::thread worker([&] {
    sent = SyncToMainThread([&] { runs += 1000; }, &owner);
    released = true;
  });
  while (FDispatcher->PendingCount() < 3) std::this_thread::yield();
  FDispatcher->Cancel(&owner);
  worker.join();
  EXPECT_TRUE(released);
  EXPECT_FALSE(sent);
  EXPECT_EQ(FDispatcher->Pump(), 1u);
  EXPECT_EQ(runs, 1);
}

TEST_F(Dispatch, CancelFromAWorkerWaitsForTheOwnersRunningTask) {
  int owner = 0;
  std::atomic<bool> task_started{false}, cancel_returned{false};
  bool task_finished = false;
  bool finished_before_cancel_returned = false;
  std::thread canceller;
  QueueToMainThread(
      [&] {
        task_started = true;
        canceller = std::thread([&] {
          FDispatcher->Cancel(&owner);
          finished_before_cancel_returned = task_finished;
          cancel_returned = true;
        });
        // Cancel cannot return while this task runs; give it every chance to.
        for (int i = 0; i < 20 && !cancel_returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_FALSE(cancel_returned);
        task_finished = true;
      },
      &owner);
  FDispatcher->Pump();
  canceller.join();
  EXPECT_TRUE(task_started);
  EXPECT_TRUE(finished_before_cancel_returned);
}

TEST_F(Dispatch, ExceptionsOfPostedTasksGoToOnExceptionOrOutOfPump) {
  int after = 0;
  QueueToMainThread([] { throw std::runtime_error("posted"); });
  QueueToMainThread([&] { ++after; });
  EXPECT_THROW(FDispatcher->Pump(), std::runtime_error);
  EXPECT_EQ(after, 0);
  EXPECT_EQ(FDispatcher->PendingCount(), 1u);  // the rest stays queued

  std::string seen;
  FDispatcher->SetOnException([&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      seen = e.what();
    }
  });
  QueueToMainThread([] { throw std::runtime_error("reported"); });
  EXPECT_EQ(FDispatcher->Pump(), 2u);
  EXPECT_EQ(after, 1);
  EXPECT_EQ(seen, "reported");
}

TEST_F(Dispatch, DestroyingTheDispatcherReleasesSenders) {
  auto dispatcher = std::make_shared<TzorHeadlessDispatcher>();
  std::shared_ptr<TzorMainThreadCall> call;
  std::thread worker([&] { call = dispatcher->Submit([] {}, nullptr); });
  worker.join();
  dispatcher.reset();
  EXPECT_FALSE(call->Wait());
}

}  // namespace
}  // namespace zor
