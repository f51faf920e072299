#pragma once
// A list of references behind its own re-entrant lock. Every operation holds
// the lock for its own duration only; LockList/UnlockList (or Locked) hold it
// across an iteration.
#include "base/critical_section.h"
#include "base/exceptions.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zor {

// What Add does with an item that is already in the list.
enum TDuplicates { dupIgnore, dupAccept, dupError };

[[noreturn]] void RaiseListDuplicate(const void* item);
[[noreturn]] void RaiseListIndex(size_t index);

// A list of references behind its own re-entrant lock.
template <class T>
class TzorThreadList {
 public:
  using TList = std::vector<T>;

  // The lock held for as long as this object lives, with the list to read.
  class TLocked {
   public:
    explicit TLocked(const TzorThreadList& owner) : FOwner(owner) { FOwner.FLock.Acquire(); }
    TLocked(const TLocked&) = delete;
    TLocked& operator=(const TLocked&) = delete;
    ~TLocked() { FOwner.FLock.Release(); }
    const TList& List() const { return FOwner.FList; }

   private:
    const TzorThreadList& FOwner;
  };

  TzorThreadList() = default;
  TzorThreadList(const TzorThreadList&) = delete;
  TzorThreadList& operator=(const TzorThreadList&) = delete;
  // Releases the entries from the last to the first.
  virtual ~TzorThreadList() {
    while (!FList.empty()) FList.pop_back();
  }

  // Appends item; an item already present is skipped (dupIgnore), appended
  // again (dupAccept) or refused with EListError (dupError).
  void Add(const T& item) {
    std::lock_guard lock(FLock);
    const TDuplicates policy = FDuplicates;
    if (policy != dupAccept && std::find(FList.begin(), FList.end(), item) != FList.end()) {
      if (policy == dupError) RaiseListDuplicate(static_cast<const void*>(std::to_address(item)));
      return;
    }
    InsertLocked(item);
  }

  // The key forms belong to dictionary lists, which this list never is.
  void AddKey(const T& item, const std::string& /*aKey*/) { Add(item); }
  void DeleteKey(size_t index, const std::string& /*aKey*/) { Delete(index); }
  T GetValue(const std::string& /*aKey*/) const { return T(); }

  // Removes the entry at index; an index at or beyond the end raises EListError.
  void Delete(size_t index) {
    [[maybe_unused]] T removed;  // released after the lock
    std::lock_guard lock(FLock);
    if (index >= FList.size()) RaiseListIndex(index);
    removed = EraseLocked(index);
  }

  // Removes the first occurrence of item, if any.
  void Remove(const T& item) {
    [[maybe_unused]] T removed;
    std::lock_guard lock(FLock);
    const auto at = std::find(FList.begin(), FList.end(), item);
    if (at != FList.end()) removed = EraseLocked(static_cast<size_t>(at - FList.begin()));
  }

  // Empties the list; the entries are released from the last to the first,
  // after the lock is given back.
  virtual void Clear() {
    TList removed;
    {
      std::lock_guard lock(FLock);
      removed.swap(FList);
      Cleared();
    }
    while (!removed.empty()) removed.pop_back();
  }

  const TList& LockList() const {
    FLock.Acquire();
    return FList;
  }
  void UnlockList() const { FLock.Release(); }
  [[nodiscard]] TLocked Locked() const { return TLocked(*this); }

  bool IsEmpty() const {
    std::lock_guard lock(FLock);
    return FList.empty();
  }
  virtual size_t Count() const {
    std::lock_guard lock(FLock);
    return FList.size();
  }

  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates value) { FDuplicates = value; }

 protected:
  // Changes of the list that descendants keep their indexes by; the lock is held.
  virtual void Inserted(const T& /*item*/) {}
  virtual void Removed(const T& /*item*/) {}
  virtual void Cleared() {}

  void InsertLocked(const T& item) {
    FList.push_back(item);
    Inserted(FList.back());
  }
  T EraseLocked(size_t index) {
    T item = std::move(FList[index]);
    FList.erase(FList.begin() + static_cast<std::ptrdiff_t>(index));
    Removed(item);
    return item;
  }

  TList FList;
  mutable TzorCriticalSection FLock;

 private:
  std::atomic<TDuplicates> FDuplicates{dupIgnore};
};

}  // namespace zor
