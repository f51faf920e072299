#pragma once
// The buckets of a bucket list by key, for readers that take no lock. Keys are
// only ever added and outgrown tables are kept, so a reader never meets freed
// memory. One writer at a time (holding the list's lock) adds keys and
// re-points them.
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zor {

class TzorCacheQueue;

// The buckets of a TzorCacheQueueListBase by key, found without a lock.
class TzorBucketDirectory {
 public:
  struct TEntry {
    TEntry(std::string_view key, size_t hash) : Key(key), Hash(hash) {}
    const std::string Key;
    const size_t Hash;
    // The first listed bucket of Key, or nothing: what readers see.
    std::atomic<TzorCacheQueue*> Listed{nullptr};
    // The bucket the list made for Key; it outlives its place in the list so
    // that readers still inside it are safe, and serves Key again after a Clear.
    std::shared_ptr<TzorCacheQueue> Home;
  };

  TzorBucketDirectory();
  TzorBucketDirectory(const TzorBucketDirectory&) = delete;
  TzorBucketDirectory& operator=(const TzorBucketDirectory&) = delete;
  ~TzorBucketDirectory();

  // Without a lock: the bucket published for key, or nothing (then the
  // writer's side decides, under the lock).
  TzorCacheQueue* Listed(std::string_view key) const;

  // Writer's side: the entry of key, added when missing.
  TEntry& Entry(std::string_view key);
  const std::vector<std::unique_ptr<TEntry>>& Entries() const { return FEntries; }

 private:
  struct TTable;
  static TEntry* Find(const TTable& table, std::string_view key, size_t hash);
  static void Place(TTable& table, TEntry& entry);

  std::atomic<const TTable*> FTable;
  std::vector<std::unique_ptr<TTable>> FTables;  // the current one last
  std::vector<std::unique_ptr<TEntry>> FEntries;
};

}  // namespace zor
