#pragma once
// A queue with a small FIFO cache of recently found items, and buckets of such
// queues keyed by the first characters of the IDs (connections by GUID).
#include "base/bucket_directory.h"
#include "base/queue.h"

#include <string_view>

namespace zor {

// A locked queue of items with a small cache of recently found ones.
class TzorCacheQueue {
 public:
  explicit TzorCacheQueue(std::string aQueueName = {});
  TzorCacheQueue(const TzorCacheQueue&) = delete;
  TzorCacheQueue& operator=(const TzorCacheQueue&) = delete;

  // Appends to the queue, not to the cache.
  void AddItem(const TzorQueueItem& aItem);
  // With a cache (CacheSize > 0): the cache first, then the queue; an item
  // found in the queue joins the cache, whose oldest entry makes room. A hit
  // does not refresh an entry. Lookup and fill are one step under the cache's
  // lock, which guards every step that touches both (taken before the queue's).
  TzorQueueItem GetItem(const std::string& aID);
  // Removes the first item with aID from the cache and from the queue;
  // returns whether the queue had one.
  bool DeleteItem(const std::string& aID);
  TzorQueueItem GetItemByIndex(size_t Index) const { return FQueue.GetItemByIndex(Index); }
  size_t Count() const { return FQueue.Count(); }
  void Clear();

  int32_t CacheSize() const { return FCache.MaxItems(); }
  void SetCacheSize(int32_t value) { FCache.SetMaxItems(value); }
  bool OwnObjects() const { return FQueue.OwnObjects(); }
  void SetOwnObjects(bool value) { FQueue.SetOwnObjects(value); }
  const std::string& QueueName() const { return FQueueName; }
  const TzorFIFOQueue& Cache() const { return FCache; }

 private:
  TzorFIFOQueue FCache;
  TzorQueue FQueue;
  const std::string FQueueName;
};

inline const std::string& QueueKey(const TzorCacheQueue& queue) { return queue.QueueName(); }

// Buckets of TzorCacheQueue keyed by the first GroupLevel characters of an ID
// (the empty text when GroupLevel is 0 or less). Every operation finds the
// bucket of its ID, creating it when missing, and then works on the bucket
// alone. Finding a listed bucket takes no lock: buckets are published in a
// directory and stay alive as long as the list, so a bucket the list made
// serves its key again after a Clear (emptied).
class TzorCacheQueueListBase : public TzorQueueCommon<TzorCacheQueue> {
 public:
  TzorCacheQueueListBase() { SetOwnObjects(true); }

  void AddItem(const TzorQueueItem& aItem);
  TzorQueueItem GetItem(const std::string& aID);
  bool DeleteItem(const std::string& aID);
  // The items of all buckets.
  size_t Count() const override;
  // Removes every bucket; their items go now.
  void Clear() override;

  // Applies to buckets created afterwards.
  int32_t CacheSize() const { return FCacheSize; }
  void SetCacheSize(int32_t value) { FCacheSize = value; }
  int32_t GroupLevel() const { return FGroupLevel; }
  void SetGroupLevel(int32_t value) { FGroupLevel = value; }

  // The bucket key of aID: the start of aID.
  std::string_view GroupKey(std::string_view aID) const;

 protected:
  TzorCacheQueue& FindBucket(std::string_view aID);

  void Inserted(const TItem& bucket) override;
  void Removed(const TItem& bucket) override;
  void Cleared() override;

 private:
  // Shows readers the first listed bucket of key; the lock is held.
  void PublishLocked(const std::string& key);

  std::atomic<int32_t> FCacheSize{0};
  std::atomic<int32_t> FGroupLevel{1};
  TzorBucketDirectory FDirectory;
  // Buckets once published that the list did not make, or that left it by
  // hand: readers may still hold them.
  std::vector<TItem> FRetired;
};

// The component face of a bucket list.
class TzorCacheQueueList {
 public:
  void AddItem(const TzorQueueItem& aItem) { FQueueCache.AddItem(aItem); }
  bool DeleteItem(const std::string& aID) { return FQueueCache.DeleteItem(aID); }
  TzorQueueItem GetItem(const std::string& aID) { return FQueueCache.GetItem(aID); }
  size_t Count() const { return FQueueCache.Count(); }

  int32_t CacheSize() const { return FQueueCache.CacheSize(); }
  void SetCacheSize(int32_t value) { FQueueCache.SetCacheSize(value); }
  int32_t GroupLevel() const { return FQueueCache.GroupLevel(); }
  void SetGroupLevel(int32_t value) { FQueueCache.SetGroupLevel(value); }

  const TzorCacheQueueListBase& QueueCache() const { return FQueueCache; }

 private:
  TzorCacheQueueListBase FQueueCache;
};

}  // namespace zor
