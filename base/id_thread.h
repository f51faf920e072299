#pragma once
// A looping worker thread. It runs its pass again and again until it is
// terminated. Nothing ever joins or destroys a thread from that thread itself:
// a thread that has to go from its own handler is handed to DestroyOffThread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zor {

// The operating system's identifier of the calling thread (never 0).
uint32_t CurrentThreadId();

// A looping worker thread.
class TzorIdThread {
 public:
  // Descendants call Start at the end of their constructor, and
  // TerminateAndWait at the start of their destructor, so that the pass never
  // runs on a half-destroyed object. The pass is handed over as a function,
  // not called virtually: a class derived further may still be under
  // construction when the thread starts.
  explicit TzorIdThread(std::string aDebugName = {});
  TzorIdThread(const TzorIdThread&) = delete;
  TzorIdThread& operator=(const TzorIdThread&) = delete;
  virtual ~TzorIdThread();

  // Asks the loop to end after the current pass; wakes a pass that sleeps.
  virtual void Terminate();
  bool Terminated() const { return FTerminated; }
  // Terminates and waits for the thread to end. Not on the thread itself.
  void TerminateAndWait();

  // True when called on this thread.
  bool IsCurrentThread() const;
  // True while a user event handler runs on behalf of this thread.
  bool IsExecuting() const { return FIsExecuting; }
  // 0 until the thread first runs.
  uint32_t ThreadId() const { return FThreadId; }
  const std::string& DebugName() const { return FDebugName; }

 protected:
  // Starts the thread, which runs aPass until terminated.
  void Start(std::function<void()> aPass);
  // Sleeps for aTime unless terminated first; false when terminated.
  bool SleepUnlessTerminated(std::chrono::milliseconds aTime);
  // IsExecuting is true for the lifetime of one of these: around a handler.
  class TExecutingScope {
   public:
    explicit TExecutingScope(TzorIdThread& thread) : FThread(thread) { FThread.FIsExecuting = true; }
    TExecutingScope(const TExecutingScope&) = delete;
    TExecutingScope& operator=(const TExecutingScope&) = delete;
    ~TExecutingScope() { FThread.FIsExecuting = false; }

   private:
    TzorIdThread& FThread;
  };

 private:
  void Execute(const std::function<void()>& aPass);

  const std::string FDebugName;
  std::atomic<uint32_t> FThreadId{0};
  std::atomic<bool> FIsExecuting{false};
  std::atomic<bool> FTerminated{false};
  std::mutex FSleepLock;
  std::condition_variable FWake;
  std::thread FThread;
};

// Destroys aThread on a reaper thread of the process (which waits for it to
// end) and returns at once. For threads that must go from their own handlers.
void DestroyOffThread(std::unique_ptr<TzorIdThread> aThread);

}  // namespace zor
