#include "base/lean_lock.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace zor {
namespace {

// Holders that yield inside the section make the others sleep on the lock,
// so both the free path and the wake-up of sleepers are taken; a lost wake-up
// hangs the test, a broken exclusion loses increments (and shows under TSan).
template <class Lock>
void CountUnderContention(Lock& lock, int depth) {
  constexpr int kThreads = 4, kRounds = 5000;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        for (int d = 0; d < depth; ++d) lock.lock();
        const long seen = counter;
        if (i % 64 == 0) std::this_thread::yield();
        counter = seen + 1;
        for (int d = 0; d < depth; ++d) lock.unlock();
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, long{kThreads} * kRounds);
}

bool TakenElsewhere(TzorLeanRecursiveLock& lock) {
  bool taken = false;
  std::thread([&] {
    taken = lock.try_lock();
    if (taken) lock.unlock();
  }).join();
  return taken;
}

TEST(TzorLeanLock, ExcludesAndWakesSleepers) {
  TzorLeanLock lock;
  CountUnderContention(lock, 1);
  std::unique_lock held(lock);
  EXPECT_FALSE(lock.try_lock());
  held.unlock();
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
}

TEST(TzorLeanRecursiveLock, ReentrantForItsHolderAndExclusiveForOthers) {
  TzorLeanRecursiveLock lock;
  lock.lock();
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
  EXPECT_FALSE(TakenElsewhere(lock));  // still held once
  lock.unlock();
  EXPECT_TRUE(TakenElsewhere(lock));
  CountUnderContention(lock, 2);
}

}  // namespace
}  // namespace zor
