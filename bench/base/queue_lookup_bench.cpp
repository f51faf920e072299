// Looking up connections by ID: a TzorCacheQueueList (GroupLevel 1) next to
// the std::unordered_map behind a mutex that a user would write instead.
#include "base/cache_queue.h"
#include "base/random.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

constexpr size_t kConnections = 10000;

const std::vector<std::string>& ConnectionIDs() {
  static const std::vector<std::string> ids = [] {
    std::vector<std::string> made;
    for (size_t i = 0; i < kConnections; ++i) made.push_back(zor::NewGuidText());
    return made;
  }();
  return ids;
}

// Arg: the list's CacheSize (0, its default, or a small cache per bucket).
void BM_CacheQueueListLookup(benchmark::State& state) {
  zor::TzorCacheQueueList list;
  list.SetGroupLevel(1);
  list.SetCacheSize(static_cast<int32_t>(state.range(0)));
  for (const auto& id : ConnectionIDs()) list.AddItem(std::make_shared<zor::TzorQueueItemBase>(id));
  size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(list.GetItem(ConnectionIDs()[next]));
    next = (next + 1) % kConnections;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_UnorderedMapUnderMutexLookup(benchmark::State& state) {
  std::mutex lock;
  std::unordered_map<std::string, std::shared_ptr<zor::TzorQueueItemBase>> map;
  for (const auto& id : ConnectionIDs()) map.emplace(id, std::make_shared<zor::TzorQueueItemBase>(id));
  size_t next = 0;
  for (auto _ : state) {
    std::shared_ptr<zor::TzorQueueItemBase> found;
    {
      std::lock_guard guard(lock);
      const auto at = map.find(ConnectionIDs()[next]);
      if (at != map.end()) found = at->second;
    }
    benchmark::DoNotOptimize(found);
    next = (next + 1) % kConnections;
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_CacheQueueListLookup)->Arg(0)->Arg(16);
BENCHMARK(BM_UnorderedMapUnderMutexLookup);

}  // namespace
