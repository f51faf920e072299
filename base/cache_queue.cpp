#include "base/cache_queue.h"

#include "base/utf16.h"

namespace zor {

TzorCacheQueue::TzorCacheQueue(std::string aQueueName) : FQueueName(std::move(aQueueName)) {}

void TzorCacheQueue::AddItem(const TzorQueueItem& aItem) { FQueue.AddItem(aItem); }

TzorQueueItem TzorCacheQueue::GetItem(const std::string& aID) {
  if (FCache.MaxItems() <= 0) return FQueue.GetItem(aID);
  std::lock_guard lock(FLock);
  if (TzorQueueItem hit = FCache.GetItem(aID)) return hit;
  TzorQueueItem found = FQueue.GetItem(aID);
  if (found) FCache.AddItem(found);
  return found;
}

bool TzorCacheQueue::DeleteItem(const std::string& aID) {
  std::lock_guard lock(FLock);
  // Also without a cache now: entries from when it had one must not outlive
  // the item's place in the queue.
  FCache.DeleteItem(aID);
  return FQueue.DeleteItem(aID);
}

void TzorCacheQueue::Clear() {
  std::lock_guard lock(FLock);
  FCache.Clear();
  FQueue.Clear();
}

std::string TzorCacheQueueListBase::GroupKey(const std::string& aID) const {
  const int32_t level = FGroupLevel;
  size_t end = 0;
  for (int32_t taken = 0; taken < level && end < aID.size(); ++taken) DecodeUTF8(aID, end);
  return aID.substr(0, end);
}

std::shared_ptr<TzorCacheQueue> TzorCacheQueueListBase::FindBucket(const std::string& aID) {
  const std::string key = GroupKey(aID);
  std::lock_guard lock(FLock);
  if (auto bucket = FirstLocked(key)) return bucket;
  auto bucket = std::make_shared<TzorCacheQueue>(key);
  bucket->SetCacheSize(FCacheSize);
  bucket->SetOwnObjects(true);
  InsertLocked(bucket);
  return bucket;
}

void TzorCacheQueueListBase::AddItem(const TzorQueueItem& aItem) {
  if (aItem) FindBucket(aItem->ID())->AddItem(aItem);
}

TzorQueueItem TzorCacheQueueListBase::GetItem(const std::string& aID) { return FindBucket(aID)->GetItem(aID); }

bool TzorCacheQueueListBase::DeleteItem(const std::string& aID) { return FindBucket(aID)->DeleteItem(aID); }

size_t TzorCacheQueueListBase::Count() const { return CountOfQueues(); }

}  // namespace zor
