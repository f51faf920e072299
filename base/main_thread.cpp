#include "base/main_thread.h"

#include "base/id_thread.h"

#include <unistd.h>

#include <algorithm>

namespace zor {

bool TzorMainThreadCall::Wait() {
  std::unique_lock lock(FLock);
  FFinished.wait(lock, [this] { return FDone; });
  // The waiter takes the only reference: the exception then lives and dies
  // on its thread.
  if (std::exception_ptr error = std::move(FError)) std::rethrow_exception(error);
  return FRan;
}

void TzorMainThreadCall::Finish(bool ran, std::exception_ptr error) {
  {
    std::lock_guard lock(FLock);
    FDone = true;
    FRan = ran;
    FError = std::move(error);
  }
  FFinished.notify_all();
}

TzorMainThreadDispatcher::TzorMainThreadDispatcher(uint32_t aMainThreadId)
    : FMainThreadId(aMainThreadId ? aMainThreadId : CurrentThreadId()) {}

TzorMainThreadDispatcher::~TzorMainThreadDispatcher() {
  for (TEntry& entry : FPending)
    if (entry.call) entry.call->Finish(false, nullptr);
}

bool TzorMainThreadDispatcher::IsMainThread() const { return CurrentThreadId() == FMainThreadId; }

void TzorMainThreadDispatcher::Enqueue(TEntry entry) {
  {
    std::lock_guard lock(FLock);
    FPending.push_back(std::move(entry));
  }
  FQueued.notify_all();
  Wake();
}

void TzorMainThreadDispatcher::Post(TTask aTask, const void* aOwner) {
  Enqueue({aOwner, std::move(aTask), nullptr});
}

std::shared_ptr<TzorMainThreadCall> TzorMainThreadDispatcher::Submit(TTask aTask, const void* aOwner) {
  auto call = std::make_shared<TzorMainThreadCall>();
  Enqueue({aOwner, std::move(aTask), call});
  return call;
}

bool TzorMainThreadDispatcher::Send(TTask aTask, const void* aOwner) {
  if (!IsMainThread()) return Submit(std::move(aTask), aOwner)->Wait();
  aTask();
  return true;
}

void TzorMainThreadDispatcher::Cancel(const void* aOwner) {
  if (!aOwner) return;
  std::vector<TEntry> dropped;
  std::unique_lock lock(FLock);
  for (auto entry = FPending.begin(); entry != FPending.end();) {
    if (entry->owner == aOwner) {
      dropped.push_back(std::move(*entry));
      entry = FPending.erase(entry);
    } else {
      ++entry;
    }
  }
  lock.unlock();
  for (TEntry& entry : dropped)
    if (entry.call) entry.call->Finish(false, nullptr);
  dropped.clear();  // the tasks' captures go before we wait
  if (IsMainThread()) return;
  lock.lock();
  FTaskDone.wait(lock, [&] { return std::find(FRunning.begin(), FRunning.end(), aOwner) == FRunning.end(); });
}

bool TzorMainThreadDispatcher::RunOne() {
  TEntry entry;
  TExceptionEvent on_exception;
  {
    std::lock_guard lock(FLock);
    if (FPending.empty()) return false;
    entry = std::move(FPending.front());
    FPending.pop_front();
    FRunning.push_back(entry.owner);
    on_exception = FOnException;
  }
  std::exception_ptr error;
  try {
    entry.task();
  } catch (...) {
    error = std::current_exception();
  }
  entry.task = nullptr;  // captures go before Cancel may return to the owner
  {
    std::lock_guard lock(FLock);
    FRunning.erase(std::find(FRunning.begin(), FRunning.end(), entry.owner));
  }
  FTaskDone.notify_all();
  if (entry.call) {
    const bool ran = !error;
    entry.call->Finish(ran, std::move(error));
  } else if (error) {
    if (!on_exception) std::rethrow_exception(error);
    on_exception(error);
  }
  return true;
}

size_t TzorMainThreadDispatcher::Pump() {
  if (!IsMainThread()) return 0;
  size_t queued;
  {
    std::lock_guard lock(FLock);
    queued = FPending.size();
  }
  size_t ran = 0;
  while (ran < queued && RunOne()) ++ran;
  return ran;
}

size_t TzorMainThreadDispatcher::PendingCount() const {
  std::lock_guard lock(FLock);
  return FPending.size();
}

void TzorMainThreadDispatcher::SetOnException(TExceptionEvent aHandler) {
  std::lock_guard lock(FLock);
  FOnException = std::move(aHandler);
}

bool TzorMainThreadDispatcher::WaitForTask(std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  std::unique_lock lock(FLock);
  return FQueued.wait_until(lock, deadline, [this] { return !FPending.empty(); });
}

size_t TzorHeadlessDispatcher::WaitAndPump(std::chrono::milliseconds aTimeout) {
  WaitForTask(aTimeout);
  return Pump();
}

namespace {

struct DispatcherSlot {
  std::mutex lock;
  std::shared_ptr<TzorMainThreadDispatcher> dispatcher;
};

// Never destroyed: threads that outlive main may still post at exit.
DispatcherSlot& Slot() {
  static DispatcherSlot* slot = new DispatcherSlot;
  return *slot;
}

}  // namespace

std::shared_ptr<TzorMainThreadDispatcher> MainThreadDispatcher() {
  DispatcherSlot& slot = Slot();
  std::lock_guard lock(slot.lock);
  if (!slot.dispatcher) slot.dispatcher = std::make_shared<TzorHeadlessDispatcher>(static_cast<uint32_t>(getpid()));
  return slot.dispatcher;
}

void SetMainThreadDispatcher(std::shared_ptr<TzorMainThreadDispatcher> aDispatcher) {
  DispatcherSlot& slot = Slot();
  std::lock_guard lock(slot.lock);
  slot.dispatcher = std::move(aDispatcher);
}

void QueueToMainThread(TzorMainThreadDispatcher::TTask aMethod, const void* aOwner) {
  MainThreadDispatcher()->Post(std::move(aMethod), aOwner);
}

bool SyncToMainThread(TzorMainThreadDispatcher::TTask aMethod, const void* aOwner) {
  return MainThreadDispatcher()->Send(std::move(aMethod), aOwner);
}

}  // namespace zor
