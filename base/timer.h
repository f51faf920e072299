#pragma once
// The timer thread behind heartbeats, time-outs and watchdogs. It waits in
// steps of 100 ms, so that termination is noticed within a step, and fires
// once the steps add up to Interval: Interval 150 fires every 200 ms (plus the
// handler's time when the handler runs before the next wait).
#include "base/id_thread.h"
#include "base/main_thread.h"

#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace zor {

// The timer thread behind heartbeats, time-outs and watchdogs.
class TzorTimer : public TzorIdThread {
 public:
  using TTimerEvent = std::function<void(TzorTimer* Sender)>;
  using TTimerExceptionEvent = std::function<void(TzorTimer* Sender, const std::exception& E)>;
  static constexpr int32_t kStepMs = 100;

  // Runs from creation, with Interval 60000 and neNoSync; firings do nothing
  // until OnTimer is set.
  explicit TzorTimer(std::string aDebugName = {});
  ~TzorTimer() override;

  // Read at every step, so a change also shortens or lengthens the wait in
  // progress. A value of 0 or less fires after every single step.
  int32_t Interval() const { return FInterval; }
  void SetInterval(int32_t value) { FInterval = value; }
  // false terminates the timer for good; components create a new one to restart.
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  TwsNotifyEvent NotifyEvents() const { return FNotifyEvents; }
  void SetNotifyEvents(TwsNotifyEvent value) { FNotifyEvents = value; }

  TTimerEvent OnTimer() const;
  void SetOnTimer(TTimerEvent aHandler);
  TTimerExceptionEvent OnException() const;
  void SetOnException(TTimerExceptionEvent aHandler);

  // Also drops firings queued for the main thread and releases a firing that
  // waits for it.
  void Terminate() override;

 private:
  // Its thread calls nothing virtual: it runs from creation on, while a
  // derived class may still be under construction.
  void Pass();
  void FireOnMainThread(bool aWait);
  // Raises OnTimer; an exception goes to DoException. The timer keeps running.
  void DoTimer();
  void DoException(const std::exception& E);

  std::atomic<bool> FEnabled{false};
  std::atomic<int32_t> FInterval{60000};
  std::atomic<TwsNotifyEvent> FNotifyEvents{neNoSync};
  mutable std::mutex FLock;  // the handlers, the dispatcher, and termination against queuing
  TTimerEvent FOnTimer;
  TTimerExceptionEvent FOnException;
  std::shared_ptr<TzorMainThreadDispatcher> FDispatcher;  // where firings were queued
};

// Ends and destroys aTimer and clears the reference. From the timer's own
// thread, or while its handler runs, it returns at once: the timer is
// terminated and destroyed off-thread once its thread has ended. Otherwise it
// returns after the timer's thread has ended.
void FreeTimer(std::unique_ptr<TzorTimer>& aTimer);

}  // namespace zor
