#include "base/queue.h"

#include <algorithm>

namespace zor {

void TzorQueueBase::AddItem(const TzorQueueItem& aItem) {
  if (!aItem) return;
  std::lock_guard lock(FLock);
  InsertLocked(aItem);
}

bool TzorQueueBase::DeleteItem(const std::string& aID) {
  [[maybe_unused]] TzorQueueItem removed;  // released after the lock
  std::lock_guard lock(FLock);
  const TzorQueueItem item = FirstLocked(aID);
  if (!item) return false;
  removed = EraseLocked(PositionLocked(item));
  return true;
}

bool TzorQueueBase::DeleteItem(size_t Index) {
  [[maybe_unused]] TzorQueueItem removed;
  std::lock_guard lock(FLock);
  if (Index >= FList.size()) return false;
  removed = EraseLocked(Index);
  return true;
}

TzorQueueItem TzorQueueBase::GetItem(const std::string& aID) const {
  std::lock_guard lock(FLock);
  return FirstLocked(aID);
}

TzorQueueItem TzorQueueBase::GetItemByIndex(size_t Index) const {
  std::lock_guard lock(FLock);
  return Index < FList.size() ? FList[Index] : TzorQueueItem();
}

void TzorFIFOQueue::AddItem(const TzorQueueItem& aItem) {
  if (!aItem) return;
  [[maybe_unused]] TzorQueueItem evicted;
  std::lock_guard lock(FLock);
  const int32_t max_items = FMaxItems;
  if (max_items > 0 && FList.size() >= static_cast<size_t>(max_items)) evicted = EraseLocked(0);
  InsertLocked(aItem);
}

void TzorQueue::SortByOrder(bool aAscending) {
  const auto order = [](const TzorQueueItem& item) { return item ? item->Order() : 0; };
  std::lock_guard lock(FLock);
  std::stable_sort(FList.begin(), FList.end(), [&](const TzorQueueItem& a, const TzorQueueItem& b) {
    return aAscending ? order(a) < order(b) : order(b) < order(a);
  });
  ReindexLocked();
}

}  // namespace zor
