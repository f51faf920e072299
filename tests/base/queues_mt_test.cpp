#include "base/cache_queue.h"
#include "base/critical_section.h"
#include "base/queue_name_list.h"
#include "base/random.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace zor {
namespace {

// An item that can tell whether it is still intact when used after a lookup.
class Checked : public TzorQueueItemBase {
 public:
  explicit Checked(const std::string& id) : TzorQueueItemBase(id), FCopy(id) {}
  ~Checked() override { FCopy.assign(FCopy.size(), '#'); }
  bool Intact() const { return FCopy == ID(); }

 private:
  std::string FCopy;
};

void RunThreads(int count, const std::function<void(int)>& body) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) threads.emplace_back(body, i);
  for (auto& thread : threads) thread.join();
}

TEST(TzorCriticalSection, ReentrantAndExclusive) {
  TzorCriticalSection section;
  section.Acquire();
  EXPECT_TRUE(section.TryAcquire());  // the owner again
  section.Release();
  bool taken_elsewhere = true;
  std::thread([&] { taken_elsewhere = section.TryAcquire(); }).join();
  EXPECT_FALSE(taken_elsewhere);  // still held once
  section.Release();
  std::thread([&] {
    taken_elsewhere = section.TryAcquire();
    if (taken_elsewhere) section.Release();
  }).join();
  EXPECT_TRUE(taken_elsewhere);

  TzorThreadSafe guarded;
  int counter = 0;
  RunThreads(4, [&](int) {
    for (int i = 0; i < 1000; ++i) {
      guarded.EnterCS();
      guarded.EnterCS();
      ++counter;
      guarded.LeaveCS();
      guarded.LeaveCS();
    }
  });
  EXPECT_EQ(counter, 4000);
}

TEST(TzorCacheQueueList, ItemsFoundStayIntactWhileOthersDeleteThem) {
  TzorCacheQueueList list;
  list.SetCacheSize(8);
  std::vector<std::string> ids;
  for (int i = 0; i < 64; ++i) ids.push_back(NewGuidText());
  for (const auto& id : ids) list.AddItem(std::make_shared<Checked>(id));

  std::atomic<bool> all_intact{true};
  RunThreads(4, [&](int thread) {
    for (int round = 0; round < 200; ++round) {
      const std::string& id = ids[static_cast<size_t>(round * 7 + thread) % ids.size()];
      if (thread % 2 == 0) {
        // Deleters take an item out and put a fresh one with its ID back.
        if (list.DeleteItem(id)) list.AddItem(std::make_shared<Checked>(id));
      } else if (const TzorQueueItem found = list.GetItem(id)) {
        std::this_thread::yield();  // give a deleter the chance to strike
        if (found->ID() != id || !static_cast<const Checked&>(*found).Intact()) all_intact = false;
      }
    }
  });
  EXPECT_TRUE(all_intact);
  EXPECT_EQ(list.Count(), ids.size());
  for (const auto& id : ids) EXPECT_NE(list.GetItem(id), nullptr) << id;
}

TEST(TzorCacheQueueListBase, BucketsMadeAndClearedWhileOthersLookUp) {
  TzorCacheQueueListBase list;
  list.SetGroupLevel(3);  // a few hundred buckets: their directory grows while it is read
  list.SetCacheSize(2);
  std::vector<std::string> ids;
  for (int i = 0; i < 256; ++i) ids.push_back(NewGuidText());

  std::atomic<bool> all_intact{true};
  RunThreads(4, [&](int thread) {
    for (int round = 0; round < 300; ++round) {
      const std::string& id = ids[static_cast<size_t>(round * 5 + thread * 64) % ids.size()];
      if (thread == 0 && round % 60 == 59) {
        list.Clear();
        continue;
      }
      if (thread != 0) list.AddItem(std::make_shared<Checked>(id));
      if (const TzorQueueItem found = list.GetItem(id)) {
        std::this_thread::yield();
        if (found->ID() != id || !static_cast<const Checked&>(*found).Intact()) all_intact = false;
      }
    }
  });
  EXPECT_TRUE(all_intact);

  list.Clear();
  EXPECT_EQ(list.Count(), 0u);
  for (const auto& id : ids) EXPECT_EQ(list.GetItem(id), nullptr);
  list.AddItem(std::make_shared<Checked>(ids[0]));
  EXPECT_EQ(list.GetItem(ids[0])->ID(), ids[0]);
}

TEST(TzorFIFOQueue, ConcurrentAddsNeverExceedMaxItems) {
  TzorFIFOQueue queue;
  queue.SetMaxItems(5);
  std::atomic<size_t> largest{0};
  RunThreads(4, [&](int thread) {
    for (int i = 0; i < 300; ++i) {
      queue.AddItem(std::make_shared<TzorQueueItemBase>(std::to_string(thread) + "." + std::to_string(i)));
      const size_t count = queue.Count();
      if (count > largest) largest = count;
    }
  });
  EXPECT_EQ(queue.Count(), 5u);
  EXPECT_LE(largest.load(), 5u);
}

TEST(TzorQueueNameListBase, OnlyOneOfConcurrentAddsOfAnIdWins) {
  TzorQueueNameListBase list;
  for (int round = 0; round < 20; ++round) {
    const std::string id = "item" + std::to_string(round);
    std::atomic<int> added{0};
    RunThreads(4, [&](int) {
      if (list.AddItem(std::make_shared<TzorQueueNameItemBase>("shared", id))) ++added;
    });
    EXPECT_EQ(added, 1) << id;
  }
  EXPECT_EQ(list.Count(), 20u);
  EXPECT_EQ(list.GetQueuesDelimitedText(), "shared");
}

}  // namespace
}  // namespace zor
