#pragma once
// Running work on the application's main thread. A dispatcher keeps the tasks
// that other threads post or send; the main thread runs them when it pumps.
// The platform part only has to wake the main thread (Wake) so that it calls
// Pump: the headless dispatcher below is pumped by the application's own loop.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zor {

// The thread on which a component raises its events.
enum TwsNotifyEvent {
  neNoSync = 0,        // on the thread where the event happens
  neAsynchronous = 1,  // posted to the main thread; the thread goes on
  neSynchronous = 2,   // run on the main thread while the thread waits
};

// One sent task: its sender waits here.
class TzorMainThreadCall {
 public:
  // Blocks until the task has run (true) or was cancelled without running
  // (false). An exception thrown by the task is thrown again here.
  bool Wait();

 private:
  friend class TzorMainThreadDispatcher;
  void Finish(bool ran, std::exception_ptr error);

  std::mutex FLock;
  std::condition_variable FFinished;
  bool FDone = false;
  bool FRan = false;
  std::exception_ptr FError;
};

// Runs work on the application's main thread.
class TzorMainThreadDispatcher {
 public:
  using TTask = std::function<void()>;
  using TExceptionEvent = std::function<void(std::exception_ptr)>;

  // The main thread is the one that creates the dispatcher unless named.
  explicit TzorMainThreadDispatcher(uint32_t aMainThreadId = 0);
  TzorMainThreadDispatcher(const TzorMainThreadDispatcher&) = delete;
  TzorMainThreadDispatcher& operator=(const TzorMainThreadDispatcher&) = delete;
  // Tasks still queued are dropped; their senders are released.
  virtual ~TzorMainThreadDispatcher();

  bool IsMainThread() const;
  uint32_t MainThreadId() const { return FMainThreadId; }

  // Queues aTask and returns at once. aOwner (may be null) lets Cancel find it.
  void Post(TTask aTask, const void* aOwner = nullptr);
  // Runs aTask on the main thread and returns when it has run: at once when
  // called on the main thread, else after the main thread pumped it. False
  // when it was cancelled before it ran; its exception is thrown here.
  bool Send(TTask aTask, const void* aOwner = nullptr);
  // The queuing half of Send from another thread, for callers that must
  // queue under a lock of their own and wait after releasing it.
  std::shared_ptr<TzorMainThreadCall> Submit(TTask aTask, const void* aOwner);
  // Drops every queued task of aOwner (a null owner matches nothing) and
  // releases their senders. Called off the main thread, it also waits until
  // no task of aOwner is running there, so the owner may then go away.
  void Cancel(const void* aOwner);
  // On the main thread: runs the tasks queued before the call, in order, and
  // returns how many ran. An exception of a posted task goes to OnException,
  // or, when that is not set, is thrown here after its task is done with
  // (the tasks behind it stay queued).
  size_t Pump();
  size_t PendingCount() const;

  void SetOnException(TExceptionEvent aHandler);

 protected:
  // Asks the main thread to pump soon; called after each task is queued.
  virtual void Wake() {}
  // Waits up to aTimeout until a task is queued; true when one is.
  bool WaitForTask(std::chrono::milliseconds aTimeout);

 private:
  struct TEntry {
    const void* owner;
    TTask task;
    std::shared_ptr<TzorMainThreadCall> call;  // null for posted tasks
  };
  void Enqueue(TEntry entry);
  bool RunOne();

  const uint32_t FMainThreadId;
  mutable std::mutex FLock;
  std::condition_variable FQueued;
  std::condition_variable FTaskDone;
  std::deque<TEntry> FPending;
  std::vector<const void*> FRunning;  // owners of the tasks running now (pumps may nest)
  TExceptionEvent FOnException;
};

// A dispatcher for programs without a window toolkit: the main loop calls
// WaitAndPump (or Pump).
class TzorHeadlessDispatcher : public TzorMainThreadDispatcher {
 public:
  using TzorMainThreadDispatcher::TzorMainThreadDispatcher;
  // Waits up to aTimeout for a task, then pumps; returns how many ran.
  size_t WaitAndPump(std::chrono::milliseconds aTimeout);
};

// The dispatcher of the process. Until one is set, a headless dispatcher
// whose main thread is the process's first thread.
std::shared_ptr<TzorMainThreadDispatcher> MainThreadDispatcher();
void SetMainThreadDispatcher(std::shared_ptr<TzorMainThreadDispatcher> aDispatcher);

// Post and Send of the process's dispatcher.
void QueueToMainThread(TzorMainThreadDispatcher::TTask aMethod, const void* aOwner = nullptr);
bool SyncToMainThread(TzorMainThreadDispatcher::TTask aMethod, const void* aOwner = nullptr);

}  // namespace zor
