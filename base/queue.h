#pragma once
// Locked queues of items identified by text IDs (connections, channels,
// HTTP/2 streams and frames). Entries keep the order they were added in;
// lookups by ID go through a hash index that names, for every ID, the first
// entry that carries it, so they answer what a scan from the front would.
//
// Items are shared: a lookup hands out a reference that stays valid while the
// caller holds it, even when another thread deletes the item meanwhile.
#include "base/thread_list.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zor {

// Base of the items of the queues, identified by a text ID.
class TzorQueueItemBase {
 public:
  // The ID is the item's key in every queue that holds it, so it is given at
  // creation and never changes.
  explicit TzorQueueItemBase(std::string aID = {}) : FID(std::move(aID)) {}
  virtual ~TzorQueueItemBase() = default;

  virtual const std::string& ID() const { return FID; }
  virtual int64_t Order() const { return FOrder.load(std::memory_order_relaxed); }
  void SetOrder(int64_t value) { FOrder.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<int64_t> FOrder{0};
  const std::string FID;
};

using TzorQueueItem = std::shared_ptr<TzorQueueItemBase>;

// An item that names the queue it belongs to.
class TzorQueueNameItemBase : public TzorQueueItemBase {
 public:
  TzorQueueNameItemBase(std::string aQueue, std::string aID)
      : TzorQueueItemBase(std::move(aID)), FQueue(std::move(aQueue)) {}
  const std::string& Queue() const { return FQueue; }

 private:
  const std::string FQueue;
};

inline const std::string& QueueKey(const TzorQueueItemBase& item) { return item.ID(); }

// Locked list of shared entries with the first-by-key index. The key of an
// entry is QueueKey(entry): an item's ID, a queue's name.
template <class T>
class TzorQueueCommon : public TzorThreadList<std::shared_ptr<T>> {
 public:
  using TItem = std::shared_ptr<T>;

  // Recorded for the components that set it. Entries are shared, so a deleted
  // entry goes when its last holder lets go, owned or not.
  bool OwnObjects() const { return FOwnObjects; }
  void SetOwnObjects(bool value) { FOwnObjects = value; }

 protected:
  // The lock of the list is held by the caller of each of these.
  TItem FirstLocked(std::string_view key) const {
    const auto at = FIndex.find(key);
    return at == FIndex.end() ? TItem() : at->second.first;
  }
  size_t PositionLocked(const TItem& item) const {
    return static_cast<size_t>(std::find(this->FList.begin(), this->FList.end(), item) - this->FList.begin());
  }
  // For lists of queues: the items of all the queues, each counted under its
  // own lock while this list's lock is held.
  size_t CountOfQueues() const {
    std::lock_guard lock(this->FLock);
    size_t total = 0;
    for (const TItem& queue : this->FList)
      if (queue) total += queue->Count();
    return total;
  }
  // After the entries were reordered.
  void ReindexLocked() {
    FIndex.clear();
    for (const TItem& item : this->FList) Inserted(item);
  }

  void Inserted(const TItem& item) override {
    if (!item) return;
    // A new key's text is the item's own, which it keeps as the first one.
    const auto [at, added] = FIndex.try_emplace(QueueKey(*item));
    if (added) at->second.first = item;
    ++at->second.count;
  }
  void Removed(const TItem& item) override {
    if (!item) return;
    const auto at = FIndex.find(QueueKey(*item));
    if (at == FIndex.end()) return;
    Slot& slot = at->second;
    if (--slot.count == 0) {
      FIndex.erase(at);
    } else if (slot.first == item) {
      // Only when several entries share a key: the new first one takes over,
      // and lends the key its text.
      for (const TItem& entry : this->FList)
        if (entry && QueueKey(*entry) == at->first) {
          auto node = FIndex.extract(at);
          node.key() = QueueKey(*entry);
          node.mapped().first = entry;
          FIndex.insert(std::move(node));
          break;
        }
    }
  }
  void Cleared() override { FIndex.clear(); }

 private:
  struct Slot {
    TItem first;
    size_t count = 0;
  };
  // The standard hash under a name of its own: the standard library compares
  // small tables of standard-hashed strings key by key (a cache of 16 IDs
  // that share their first characters is then 16 comparisons a lookup), but
  // hashes for any other hasher; not being noexcept, it also has every entry
  // keep its hash, so walking a chain compares numbers before texts.
  struct KeyHash {
    size_t operator()(std::string_view key) const { return std::hash<std::string_view>{}(key); }
  };
  // Keyed by the text of the first entry's key, which the entry keeps alive.
  std::unordered_map<std::string_view, Slot, KeyHash> FIndex;
  std::atomic<bool> FOwnObjects{false};
};

// A locked queue of items identified by text IDs.
class TzorQueueBase : public TzorQueueCommon<TzorQueueItemBase> {
 public:
  // Appends; an item whose ID is already present is appended all the same.
  // Empty references are ignored.
  virtual void AddItem(const TzorQueueItem& aItem);
  // Removes the first item whose ID equals aID (case-sensitive).
  bool DeleteItem(const std::string& aID);
  // Removes the item at Index when Index is less than Count.
  bool DeleteItem(size_t Index);
  // The first item whose ID equals aID, or nothing.
  TzorQueueItem GetItem(const std::string& aID) const;
  TzorQueueItem GetItem(size_t Index) const { return GetItemByIndex(Index); }
  // The item at Index, or nothing when Index is at or beyond Count.
  virtual TzorQueueItem GetItemByIndex(size_t Index) const;
};

// A queue of at most MaxItems (0: unbounded) that drops its oldest item to
// make room.
class TzorFIFOQueue : public TzorQueueBase {
 public:
  // Eviction and append are one locked step, so concurrent adds never push
  // the queue past MaxItems.
  void AddItem(const TzorQueueItem& aItem) override;
  int32_t MaxItems() const { return FMaxItems; }
  void SetMaxItems(int32_t value) { FMaxItems = value; }

 private:
  std::atomic<int32_t> FMaxItems{0};
};

// A locked queue of items with sorting.
class TzorQueue : public TzorQueueBase {
 public:
  // Orders the items by Order; items of equal Order keep their relative order.
  void SortByOrder(bool aAscending);
};

// One named queue; the name is its key in a TzorQueueNameListBase.
class TzorQueueNameBase : public TzorQueueBase {
 public:
  explicit TzorQueueNameBase(std::string aQueueName = {}) : FQueueName(std::move(aQueueName)) {}
  const std::string& QueueName() const { return FQueueName; }

 private:
  const std::string FQueueName;
};

inline const std::string& QueueKey(const TzorQueueNameBase& queue) { return queue.QueueName(); }

}  // namespace zor
