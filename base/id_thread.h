#pragma once
// A looping worker thread. It runs its pass (Run) again and again until it is
// terminated. Nothing ever joins or destroys a thread from that thread itself:
// a thread that has to go from its own handler is handed to DestroyOffThread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zor {

// The operating system's identifier of the calling thread (never 0).
uint32_t CurrentThreadId();

class TzorIdThread {
 public:
  // Descendants call Start at the end of their constructor, and
  // TerminateAndWait at the start of their destructor, so that the pass never
  // runs on a half-built or half-destroyed object.
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
  void Start();
  // One pass of the loop.
  virtual void Run() = 0;
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
  void Execute();

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
