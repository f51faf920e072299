#pragma once
// Re-entrant locks: the owning thread may take them again and releases them as
// often as it took them.
#include <mutex>

namespace zor {

// A re-entrant lock.
class TzorCriticalSection {
 public:
  TzorCriticalSection() = default;
  TzorCriticalSection(const TzorCriticalSection&) = delete;
  TzorCriticalSection& operator=(const TzorCriticalSection&) = delete;
  virtual ~TzorCriticalSection() = default;

  // A failure to lock propagates: going on unlocked would race, and the
  // matching Release would unlock a lock this thread does not hold.
  virtual void Acquire() { FSection.lock(); }
  virtual void Release() { FSection.unlock(); }
  // Takes the lock only when that needs no waiting.
  bool TryAcquire() { return FSection.try_lock(); }

  // Lockable, so std::lock_guard and std::unique_lock work on it.
  void lock() { Acquire(); }
  void unlock() { Release(); }
  bool try_lock() { return TryAcquire(); }

 private:
  std::recursive_mutex FSection;
};

// An object that guards itself with one re-entrant lock.
class TzorThreadSafeBase {
 public:
  virtual ~TzorThreadSafeBase() = default;

 protected:
  virtual void Enter() { FCS.Acquire(); }
  virtual void Leave() { FCS.Release(); }
  TzorCriticalSection FCS;
};

// A re-entrant lock with the EnterCS and LeaveCS names.
class TzorThreadSafe : public TzorThreadSafeBase {
 public:
  void EnterCS() { Enter(); }
  void LeaveCS() { Leave(); }
};

}  // namespace zor
