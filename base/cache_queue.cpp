#include "base/cache_queue.h"

#include "base/utf16.h"

#include <algorithm>

namespace zor {

TzorCacheQueue::TzorCacheQueue(std::string aQueueName) : FQueueName(std::move(aQueueName)) {}

void TzorCacheQueue::AddItem(const TzorQueueItem& aItem) { FQueue.AddItem(aItem); }

TzorQueueItem TzorCacheQueue::GetItem(const std::string& aID) {
  if (FCache.MaxItems() <= 0) return FQueue.GetItem(aID);
  const auto step = FCache.Locked();
  if (TzorQueueItem hit = FCache.GetItem(aID)) return hit;
  TzorQueueItem found = FQueue.GetItem(aID);
  if (found) FCache.AddItem(found);
  return found;
}

bool TzorCacheQueue::DeleteItem(const std::string& aID) {
  const auto step = FCache.Locked();
  // Also without a cache now: entries from when it had one must not outlive
  // the item's place in the queue.
  FCache.DeleteItem(aID);
  return FQueue.DeleteItem(aID);
}

void TzorCacheQueue::Clear() {
  const auto step = FCache.Locked();
  FCache.Clear();
  FQueue.Clear();
}

std::string_view TzorCacheQueueListBase::GroupKey(std::string_view aID) const {
  const int32_t level = FGroupLevel;
  size_t end = 0;
  for (int32_t taken = 0; taken < level && end < aID.size(); ++taken) {
    if (static_cast<unsigned char>(aID[end]) < 0x80)
      ++end;
    else
      DecodeUTF8(aID, end);
  }
  return aID.substr(0, end);
}

TzorCacheQueue& TzorCacheQueueListBase::FindBucket(std::string_view aID) {
  const std::string_view key = GroupKey(aID);
  if (TzorCacheQueue* bucket = FDirectory.Listed(key)) return *bucket;
  std::lock_guard lock(FLock);
  if (const TItem listed = FirstLocked(key)) return *listed;
  TzorBucketDirectory::TEntry& entry = FDirectory.Entry(key);
  if (entry.Home)
    entry.Home->Clear();  // what readers that found it before the Clear put in
  else
    entry.Home = std::make_shared<TzorCacheQueue>(std::string(key));
  entry.Home->SetCacheSize(FCacheSize);
  entry.Home->SetOwnObjects(true);
  InsertLocked(entry.Home);
  return *entry.Home;
}

void TzorCacheQueueListBase::PublishLocked(const std::string& key) {
  TzorBucketDirectory::TEntry& entry = FDirectory.Entry(key);
  const TItem first = FirstLocked(key);
  if (first && first != entry.Home && std::find(FRetired.begin(), FRetired.end(), first) == FRetired.end())
    FRetired.push_back(first);
  entry.Listed.store(first.get(), std::memory_order_release);
}

void TzorCacheQueueListBase::Inserted(const TItem& bucket) {
  TzorQueueCommon::Inserted(bucket);
  if (bucket) PublishLocked(bucket->QueueName());
}

void TzorCacheQueueListBase::Removed(const TItem& bucket) {
  TzorQueueCommon::Removed(bucket);
  if (!bucket) return;
  TzorBucketDirectory::TEntry& entry = FDirectory.Entry(bucket->QueueName());
  // Taken out by hand: whoever took it may keep using it, so it is not reused.
  if (entry.Home == bucket) FRetired.push_back(std::move(entry.Home));
  PublishLocked(bucket->QueueName());
}

void TzorCacheQueueListBase::Cleared() {
  TzorQueueCommon::Cleared();
  for (const auto& entry : FDirectory.Entries()) entry->Listed.store(nullptr, std::memory_order_release);
}

void TzorCacheQueueListBase::Clear() {
  TzorQueueCommon::Clear();
  std::lock_guard lock(FLock);
  for (const auto& entry : FDirectory.Entries())
    if (entry->Home && !entry->Listed.load(std::memory_order_relaxed)) entry->Home->Clear();
}

void TzorCacheQueueListBase::AddItem(const TzorQueueItem& aItem) {
  if (aItem) FindBucket(aItem->ID()).AddItem(aItem);
}

TzorQueueItem TzorCacheQueueListBase::GetItem(const std::string& aID) { return FindBucket(aID).GetItem(aID); }

bool TzorCacheQueueListBase::DeleteItem(const std::string& aID) { return FindBucket(aID).DeleteItem(aID); }

size_t TzorCacheQueueListBase::Count() const { return CountOfQueues(); }

}  // namespace zor
