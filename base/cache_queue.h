#pragma once
// A queue with a small FIFO cache of recently found items, and buckets of such
// queues keyed by the first characters of the IDs (connections by GUID).
#include "base/queue.h"

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
  // does not refresh an entry. Lookup and fill are one locked step.
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
  mutable TzorCriticalSection FLock;
  TzorFIFOQueue FCache;
  TzorQueue FQueue;
  const std::string FQueueName;
};

inline const std::string& QueueKey(const TzorCacheQueue& queue) { return queue.QueueName(); }

// Buckets of TzorCacheQueue keyed by the first GroupLevel characters of an ID
// (the empty text when GroupLevel is 0 or less). Every operation finds the
// bucket of its ID under the list's lock, creating it when missing, and then
// works on the bucket alone.
class TzorCacheQueueListBase : public TzorQueueCommon<TzorCacheQueue> {
 public:
  TzorCacheQueueListBase() { SetOwnObjects(true); }

  void AddItem(const TzorQueueItem& aItem);
  TzorQueueItem GetItem(const std::string& aID);
  bool DeleteItem(const std::string& aID);
  // The items of all buckets.
  size_t Count() const override;

  // Applies to buckets created afterwards.
  int32_t CacheSize() const { return FCacheSize; }
  void SetCacheSize(int32_t value) { FCacheSize = value; }
  int32_t GroupLevel() const { return FGroupLevel; }
  void SetGroupLevel(int32_t value) { FGroupLevel = value; }

  // The bucket key of aID.
  std::string GroupKey(const std::string& aID) const;

 protected:
  std::shared_ptr<TzorCacheQueue> FindBucket(const std::string& aID);

 private:
  std::atomic<int32_t> FCacheSize{0};
  std::atomic<int32_t> FGroupLevel{1};
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
