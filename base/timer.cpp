#include "base/timer.h"

#include "base/exceptions.h"

namespace zor {

TzorTimer::TzorTimer(std::string aDebugName) : TzorIdThread(std::move(aDebugName)) {
  Start([this] { Pass(); });
}

TzorTimer::~TzorTimer() { TerminateAndWait(); }

void TzorTimer::SetEnabled(bool value) {
  FEnabled = value;
  if (!value) Terminate();
}

TzorTimer::TTimerEvent TzorTimer::OnTimer() const {
  std::lock_guard lock(FLock);
  return FOnTimer;
}

void TzorTimer::SetOnTimer(TTimerEvent aHandler) {
  std::lock_guard lock(FLock);
  FOnTimer = std::move(aHandler);
}

TzorTimer::TTimerExceptionEvent TzorTimer::OnException() const {
  std::lock_guard lock(FLock);
  return FOnException;
}

void TzorTimer::SetOnException(TTimerExceptionEvent aHandler) {
  std::lock_guard lock(FLock);
  FOnException = std::move(aHandler);
}

void TzorTimer::Terminate() {
  std::shared_ptr<TzorMainThreadDispatcher> dispatcher;
  {
    std::lock_guard lock(FLock);
    TzorIdThread::Terminate();
    dispatcher = FDispatcher;
  }
  if (dispatcher) dispatcher->Cancel(this);
}

void TzorTimer::Pass() {
  int32_t waited = 0;
  do {
    if (!SleepUnlessTerminated(std::chrono::milliseconds(kStepMs))) return;
    waited += kStepMs;
  } while (waited < FInterval);

  switch (FNotifyEvents.load()) {
    case neNoSync:
      DoTimer();
      break;
    case neAsynchronous:
      FireOnMainThread(false);
      break;
    case neSynchronous:
      FireOnMainThread(true);
      break;
  }
}

void TzorTimer::FireOnMainThread(bool aWait) {
  std::shared_ptr<TzorMainThreadCall> call;
  {
    // Queued under the lock that Terminate takes first, so a firing is either
    // queued before Terminate cancels it, or never.
    std::lock_guard lock(FLock);
    if (Terminated()) return;
    FDispatcher = MainThreadDispatcher();
    auto fire = [this] { DoTimer(); };
    if (aWait)
      call = FDispatcher->Submit(fire, this);
    else
      FDispatcher->Post(fire, this);
  }
  if (call) call->Wait();  // DoTimer lets no exception out
}

void TzorTimer::DoTimer() {
  const TTimerEvent handler = OnTimer();
  if (!handler) return;
  try {
    TExecutingScope executing(*this);
    handler(this);
  } catch (const std::exception& error) {
    DoException(error);
  } catch (...) {
    DoException(Exception("Exception of an unknown type"));
  }
}

void TzorTimer::DoException(const std::exception& E) {
  const TTimerExceptionEvent handler = OnException();
  if (!handler) return;
  try {
    TExecutingScope executing(*this);
    handler(this, E);
  } catch (...) {
    // An error in the error handler has nowhere left to go.
  }
}

void FreeTimer(std::unique_ptr<TzorTimer>& aTimer) {
  if (!aTimer) return;
  aTimer->Terminate();
  if (aTimer->IsCurrentThread() || aTimer->IsExecuting())
    DestroyOffThread(std::move(aTimer));
  else
    aTimer.reset();  // waits for the thread to end
}

}  // namespace zor
