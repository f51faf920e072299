#include "base/id_thread.h"

#include <pthread.h>
#include <unistd.h>

#include <deque>

namespace zor {

uint32_t CurrentThreadId() { return static_cast<uint32_t>(gettid()); }

TzorIdThread::TzorIdThread(std::string aDebugName) : FDebugName(std::move(aDebugName)) {}

TzorIdThread::~TzorIdThread() { TerminateAndWait(); }

void TzorIdThread::Start(std::function<void()> aPass) {
  FThread = std::thread([this, pass = std::move(aPass)] { Execute(pass); });
}

void TzorIdThread::Execute(const std::function<void()>& aPass) {
  FThreadId = CurrentThreadId();
  if (!FDebugName.empty()) pthread_setname_np(pthread_self(), FDebugName.substr(0, 15).c_str());
  while (!FTerminated) aPass();
}

void TzorIdThread::Terminate() {
  {
    // Under the sleep lock, so a pass about to sleep cannot miss the wake-up.
    std::lock_guard lock(FSleepLock);
    FTerminated = true;
  }
  FWake.notify_all();
}

void TzorIdThread::TerminateAndWait() {
  Terminate();
  if (FThread.joinable()) FThread.join();
}

bool TzorIdThread::IsCurrentThread() const { return FThreadId == CurrentThreadId(); }

bool TzorIdThread::SleepUnlessTerminated(std::chrono::milliseconds aTime) {
  const auto deadline = std::chrono::steady_clock::now() + aTime;
  std::unique_lock lock(FSleepLock);
  return !FWake.wait_until(lock, deadline, [this] { return FTerminated.load(); });
}

namespace {

// Destroys the threads handed to it, one after the other, on its own thread;
// at process exit it finishes the ones still waiting.
class Reaper {
 public:
  ~Reaper() {
    {
      std::lock_guard lock(FLock);
      FStop = true;
    }
    FChanged.notify_one();
    if (FThread.joinable()) FThread.join();
  }

  void Add(std::unique_ptr<TzorIdThread> thread) {
    {
      std::lock_guard lock(FLock);
      FPending.push_back(std::move(thread));
      if (!FThread.joinable()) FThread = std::thread(&Reaper::Loop, this);
    }
    FChanged.notify_one();
  }

 private:
  void Loop() {
    std::unique_lock lock(FLock);
    for (;;) {
      FChanged.wait(lock, [this] { return FStop || !FPending.empty(); });
      if (FPending.empty()) return;
      std::unique_ptr<TzorIdThread> next = std::move(FPending.front());
      FPending.pop_front();
      lock.unlock();
      next.reset();
      lock.lock();
    }
  }

  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<std::unique_ptr<TzorIdThread>> FPending;
  bool FStop = false;
  std::thread FThread;
};

}  // namespace

void DestroyOffThread(std::unique_ptr<TzorIdThread> aThread) {
  if (!aThread) return;
  static Reaper reaper;
  reaper.Add(std::move(aThread));
}

}  // namespace zor
