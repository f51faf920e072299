#pragma once
// The part of the WebSocket client and server components they share: the
// application's events and the thread they run on (NotifyEvents), holding
// message events back (QueueMessages), reporting failures (report, then drop
// the connection), routing to subprotocol and API components, OnHandshake,
// and the heartbeat and watchdog timers.
//
// Events queued for the main thread hold a share of their connection, and
// the component cancels its queued events when it is destroyed: neither the
// component nor a connection is touched after it is gone.
#include "base/component.h"
#include "base/main_thread.h"
#include "base/timer.h"
#include "websocket/extensions.h"
#include "websocket/ws_component_options.h"
#include "websocket/ws_notify.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zor {

// A component with connections: where their events are raised.
class TzorSocketComponent_Base : public TzorComponent_Base {
 public:
  TwsNotifyEvent NotifyEvents() const { return FNotifyEvents; }
  virtual void SetNotifyEvents(TwsNotifyEvent value) { FNotifyEvents = value; }
  // The component lock.
  void EnterCS() { FCS.lock(); }
  void LeaveCS() { FCS.unlock(); }
  bool AssignedCS() const { return true; }

 protected:
  std::recursive_mutex FCS;

 private:
  std::atomic<TwsNotifyEvent> FNotifyEvents{neAsynchronous};
};

// The application events of a WebSocket component and the report-then-drop policy.
class TzorWSComponent_Base : public TzorSocketComponent_Base {
 public:
  using TConnectEvent = std::function<void(TzorWSConnection* Connection)>;
  using TDisconnectEvent = std::function<void(TzorWSConnection* Connection, int Code)>;
  using TMessageEvent = TzorWSConnection::TMessageEvent;
  using TBinaryEvent = TzorWSConnection::TBinaryEvent;
  using TFragmentedEvent = TzorWSConnection::TFragmentedEvent;
  using TErrorEvent = std::function<void(TzorWSConnection* Connection, const std::string& Error)>;
  using TExceptionEvent = std::function<void(TzorWSConnection* Connection, const std::exception& E)>;

  TzorWSComponent_Base() = default;
  ~TzorWSComponent_Base() override;
  TzorWSComponent_Base(const TzorWSComponent_Base&) = delete;
  TzorWSComponent_Base& operator=(const TzorWSComponent_Base&) = delete;

  // Held back while set; clearing it raises the held texts, then the held
  // binary messages, then the held fragments, oldest first.
  bool QueueMessages() const { return FQueueMessages; }
  void SetQueueMessages(bool value);
  // Drops every held event.
  void QueueClear();

  // Set before the component is used; the handlers run on the thread that
  // NotifyEvents picks.
  TConnectEvent OnConnect;
  TDisconnectEvent OnDisconnect;
  TMessageEvent OnMessage;
  TBinaryEvent OnBinary;
  TFragmentedEvent OnFragmented;
  TErrorEvent OnError;
  TExceptionEvent OnException;

  // Reports a failed operation: OnError (with MsgError set), then the
  // connection is dropped. Never throws.
  void ReportError(TzorWSConnection* Connection, const std::string& Message);
  // Reports a failure of the read path: OnException, then the connection is
  // dropped. Never throws.
  void ReportException(TzorWSConnection* Connection, const std::string& Message, std::exception_ptr E);

  // Entry points of the owner when a connection reports something. A
  // connection must be owned by a shared pointer (it is kept alive by the
  // events queued for it).
  virtual void DoNotifyConnect(TzorWSConnection* Connection);
  virtual void DoNotifyDisconnect(TzorWSConnection* Connection);
  virtual void DoNotifyMessage(TzorWSConnection* Connection, const std::string& Text);
  void DoNotifyMessage(TzorWSConnection* Connection) { DoNotifyMessage(Connection, Connection->MsgReceived()); }
  // Binary messages, the bulk of a binary protocol's traffic, are raised
  // inline and without virtual calls; routing, dispatching and holding them
  // stay out of line. A client subclass takes them over in
  // OnClientBinaryEvent.
  void DoNotifyBinary(TzorWSConnection* Connection, const TzorStringStream& Data) {
    if (FDestroying || !Connection || Connection->IsInternal()) return;
    if (FRoutes.load(std::memory_order_relaxed) || NotifyEvents() != neNoSync)
      return NotifyBinaryElsewhere(Connection, Data);
    DoEventBinary(Connection, Data);
  }
  void DoNotifyBinary(TzorWSConnection* Connection) { DoNotifyBinary(Connection, Connection->MsgBinaryReceived()); }
  virtual void DoNotifyFragmented(TzorWSConnection* Connection, const TzorStringStream& Data, TOpcode OpCode,
                                  bool Continuation);
  virtual void DoNotifyError(TzorWSConnection* Connection);
  virtual void DoNotifyException(TzorWSConnection* Connection);
  // A failure without a connection.
  void DoNotifyException(const std::string& Message, std::exception_ptr E);

 protected:
  // Called first by the destructors of derived components: from then on
  // nothing is notified or reported, and queued events are cancelled.
  void BeginDestroy();
  bool Destroying() const { return FDestroying; }

  // The event raisers, on the thread NotifyEvents picked.
  virtual void DoEventConnect(TzorWSConnection* Connection);
  virtual void DoEventDisconnect(TzorWSConnection* Connection, int Code);
  virtual void DoEventMessage(TzorWSConnection* Connection, const std::string& Text);
  void DoEventBinary(TzorWSConnection* Connection, const TzorStringStream& Data) {
    if (!OnBinary) return;
    if (FQueueMessages) return HoldBinary(Connection, Data);
    OnBinary(Connection, Data);
  }
  virtual void DoEventFragmented(TzorWSConnection* Connection, const TzorStringStream& Data, TOpcode OpCode,
                                 bool Continuation);
  virtual void DoEventError(TzorWSConnection* Connection, const std::string& Error);
  virtual void DoEventException(TzorWSConnection* Connection, const std::string& Message, std::exception_ptr E);
  // After the disconnect event: the connection is marked as freed; the owner
  // lets go of it (shared ownership frees it when the last event is done).
  virtual void DoDestroyConnection(TzorWSConnection* Connection);

  // Routing: true when a subprotocol or API component took the notification
  // and the component raises no event of its own. Most components route
  // nothing: their events then pay for no call here.
  template <class Notify>
  bool Route(TzorWSConnection* Connection, const Notify& notify, bool disconnect) {
    return FRoutes.load(std::memory_order_relaxed) && RouteToTargets(Connection, notify, disconnect);
  }
  virtual bool RouteToTargets(TzorWSConnection* /*Connection*/,
                              const std::function<void(TzorWSNotifyTarget&)>& /*notify*/, bool /*disconnect*/) {
    return false;
  }
  // Set by a derived component while it has targets to route to.
  std::atomic<bool> FRoutes{false};

  // Runs `raise` as NotifyEvents says: here, posted to the main thread, or
  // on the main thread while this thread waits.
  void Dispatch(std::function<void()> raise) { DispatchAs(NotifyEvents(), std::move(raise)); }
  void DispatchAs(TwsNotifyEvent mode, std::function<void()> raise);

 private:
  // DoNotifyBinary's routed or dispatched case, and DoEventBinary's held one.
  void NotifyBinaryElsewhere(TzorWSConnection* Connection, const TzorStringStream& Data);
  void HoldBinary(TzorWSConnection* Connection, const TzorStringStream& Data);
  static TzorWSConnectionPtr Share(TzorWSConnection* Connection);
  static void DropQuietly(TzorWSConnection* Connection);
  void Release(std::deque<TzorWSNotifyObject>& held, const std::function<void(TzorWSNotifyObject&)>& raise);

  std::atomic<bool> FDestroying{false};
  std::atomic<bool> FQueueMessages{false};
  std::atomic<bool> FQueueProcessing{false};
  std::recursive_mutex FHeldLock;  // a handler run by a release may clear the held events
  std::deque<TzorWSNotifyObject> FQueueMessage, FQueueBinary, FQueueFragmented;
  std::mutex FDispatcherLock;
  std::shared_ptr<TzorMainThreadDispatcher> FDispatcher;  // where events were posted
};

// What the client and the server share: routing to protocol and API components, heartbeat and watchdog.
class TzorWSComponent : public TzorWSComponent_Base {
 public:
  using THandshakeEvent = TzorWSConnection::THandshakeEvent;

  TzorWSComponent() = default;
  ~TzorWSComponent() override;

  TzorWSSpecifications& Specifications() { return FSpecifications; }
  void SetSpecifications(const TzorWSSpecifications& value) { FSpecifications.Assign(value); }
  TzorWSLogFile& LogFile() { return FLogFile; }
  void SetLogFile(const TzorWSLogFile& value) { FLogFile.Assign(value); }
  TzorWSHeartBeat_Options& HeartBeat() { return FHeartBeat; }
  void SetHeartBeat(const TzorWSHeartBeat_Options& value) { FHeartBeat.Assign(value); }
  TzorTCPKeepAlive& TCPKeepAlive() { return FTCPKeepAlive; }
  void SetTCPKeepAlive(const TzorTCPKeepAlive& value) { FTCPKeepAlive.Assign(value); }
  TzorWSWatchDog_Options& WatchDog() { return FWatchDog; }
  void SetWatchDog(const TzorWSWatchDog_Options& value) { FWatchDog.Assign(value); }
  TzorWSExtensions& Extensions() { return FExtensions; }
  void SetExtensions(const TzorWSExtensions& value) { FExtensions.Assign(value); }
  void SetNotifyEvents(TwsNotifyEvent value) override;

  // Without subprotocol, an API component sees every text first.
  using TzorWSComponent_Base::DoNotifyMessage;
  void DoNotifyMessage(TzorWSConnection* Connection, const std::string& Text) override;

  // Subprotocol and API components (not owned; unregister before they go).
  void RegisterProtocol(TzorWSProtocol* protocol);
  void UnregisterProtocol(TzorWSProtocol* protocol);
  void SetAPI(TzorWSAPI* api);
  // The subprotocols a client asks for: the broker first, then every other
  // component's names.
  std::string RegisteredProtocols() const;
  // The first registered subprotocol component that answers to the name.
  TzorWSProtocol* FindProtocol(const std::string& aName) const;

  // Raised just before a client writes its handshake request (and on the
  // server before it answers); the handler may change the lines. Runs on the
  // main thread while the connecting thread waits, except with neNoSync.
  THandshakeEvent OnHandshake;
  void DoHandshake(TzorWSConnection* Connection);

  // The timers of the heartbeat, its time-out and the watchdog. Starting a
  // running timer only updates its interval.
  void StartHeartBeat();
  void StopHeartBeat();
  void StartHeartBeatTimeout();
  void StopHeartBeatTimeout();
  void StartWatchDog();
  void StopWatchDog();
  bool WatchDogEnabled() const { return FWatchDogEnabled; }
  void SetWatchDogEnabled(bool value) { FWatchDogEnabled = value; }
  int32_t WatchDogAttempts() const { return FWatchDogAttempts; }
  void ResetWatchDogAttempts() { FWatchDogAttempts = 0; }

 protected:
  virtual void DoEventHandshake(TzorWSConnection* Connection, std::vector<std::string>& Headers);
  // What the timers do; the client fills them in.
  virtual void DoHeartBeat() {}
  virtual void DoHeartBeatTimeout() {}
  virtual void DoWatchDog() {}

  bool RouteToTargets(TzorWSConnection* Connection, const std::function<void(TzorWSNotifyTarget&)>& notify,
                      bool disconnect) override;

 private:
  enum TTimerKind { tkHeartBeat, tkHeartBeatTimeout, tkWatchDog };
  void StartTimer(TTimerKind kind, int32_t intervalMs);
  void StopTimer(TTimerKind kind);
  void TimerFired(TTimerKind kind);
  // Counts a watchdog attempt; stops the watchdog at the limit.
  void CountWatchDogAttempt();

  TzorWSSpecifications FSpecifications;
  TzorWSLogFile FLogFile;
  TzorWSHeartBeat_Options FHeartBeat;
  TzorTCPKeepAlive FTCPKeepAlive;
  TzorWSWatchDog_Options FWatchDog;
  TzorWSExtensions FExtensions;

  void RoutesChangedLocked();

  mutable std::mutex FRoutingLock;
  std::vector<TzorWSProtocol*> FProtocolObjectList;
  TzorWSAPI* FAPI = nullptr;

  std::mutex FTimersLock;
  std::unique_ptr<TzorTimer> FTimers[3];
  std::atomic<int32_t> FWatchDogAttempts{0};
  std::atomic<bool> FWatchDogEnabled{false};
};

}  // namespace zor
