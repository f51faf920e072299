// The WebSocket component: routing to subprotocol and API components, the
// handshake event and the heartbeat and watchdog timers.
#include "websocket/ws_component.h"

#include "base/text.h"

#include <algorithm>

namespace zor {

namespace {

std::vector<std::string> Names(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  for (;;) {
    const size_t end = list.find(',', start);
    std::string name = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t first = name.find_first_not_of(' ');
    const size_t last = name.find_last_not_of(' ');
    if (first != std::string::npos) names.push_back(name.substr(first, last - first + 1));
    if (end == std::string::npos) return names;
    start = end + 1;
  }
}

const char* const kTimerNames[] = {"HeartBeat", "HeartBeatTimeout", "WatchDog"};

}  // namespace

// --- subprotocol components -------------------------------------------------------------

bool TzorWSProtocol::Matches(const std::string& protocol) const {
  const std::string guid = Guid();
  for (const std::string& name : Names(ProtocolName()))
    if (SameText(protocol, name) || (!guid.empty() && SameText(protocol, guid + "." + name))) return true;
  return false;
}

std::string TzorWSProtocol::RequestedNames() const {
  const std::string guid = Guid();
  std::string list;
  for (const std::string& name : Names(ProtocolName())) {
    if (!list.empty()) list += ",";
    list += guid.empty() ? name : guid + "." + name;
  }
  return list;
}

TzorWSComponent::~TzorWSComponent() {
  BeginDestroy();
  for (TTimerKind kind : {tkHeartBeat, tkHeartBeatTimeout, tkWatchDog}) StopTimer(kind);
}

TzorWSProtocol* TzorWSComponent::FindProtocol(const std::string& aName) const {
  std::lock_guard guard(FRoutingLock);
  for (TzorWSProtocol* protocol : FProtocolObjectList)
    if (protocol->Matches(aName)) return protocol;
  return nullptr;
}

void TzorWSComponent::RegisterProtocol(TzorWSProtocol* protocol) {
  std::lock_guard guard(FRoutingLock);
  if (std::find(FProtocolObjectList.begin(), FProtocolObjectList.end(), protocol) == FProtocolObjectList.end())
    FProtocolObjectList.push_back(protocol);
  RoutesChangedLocked();
}

void TzorWSComponent::UnregisterProtocol(TzorWSProtocol* protocol) {
  std::lock_guard guard(FRoutingLock);
  std::erase(FProtocolObjectList, protocol);
  RoutesChangedLocked();
}

void TzorWSComponent::SetAPI(TzorWSAPI* api) {
  std::lock_guard guard(FRoutingLock);
  FAPI = api;
  RoutesChangedLocked();
}

void TzorWSComponent::RoutesChangedLocked() { FRoutes = !FProtocolObjectList.empty() || FAPI; }

std::string TzorWSComponent::RegisteredProtocols() const {
  std::lock_guard guard(FRoutingLock);
  std::vector<std::string> parts;
  for (const TzorWSProtocol* p : FProtocolObjectList)
    if (p->IsBroker()) parts.insert(parts.begin(), kBrokerProtocol);
  for (const TzorWSProtocol* p : FProtocolObjectList)
    if (!p->IsBroker()) parts.push_back(p->RequestedNames());
  std::string list;
  for (const std::string& part : parts) list += (list.empty() ? "" : ",") + part;
  return list;
}

bool TzorWSComponent::RouteToTargets(TzorWSConnection* Connection,
                                     const std::function<void(TzorWSNotifyTarget&)>& notify, bool disconnect) {
  const std::string protocol = Connection->Protocol();
  std::vector<TzorWSNotifyTarget*> targets;
  bool alsoOwnEvent = false;
  {
    std::lock_guard guard(FRoutingLock);
    if (!protocol.empty()) {
      for (TzorWSProtocol* p : FProtocolObjectList)
        if (p->Matches(protocol)) targets.push_back(p);
      if (targets.empty() && disconnect && SameText(protocol, kBrokerProtocol))
        for (TzorWSProtocol* p : FProtocolObjectList)
          if (p->IsBroker()) targets.push_back(p);
      // A disconnect goes to the first match only.
      if (disconnect && targets.size() > 1) targets.resize(1);
    } else if (FAPI) {
      targets.push_back(FAPI);
      alsoOwnEvent = FAPI->RawMessages();
    }
  }
  // Subprotocols without a component of their own get the component's events.
  if (targets.empty()) return false;
  for (TzorWSNotifyTarget* t : targets) notify(*t);
  return !alsoOwnEvent;
}

void TzorWSComponent::DoNotifyMessage(TzorWSConnection* Connection, const std::string& Text) {
  TzorWSAPI* api = nullptr;
  if (Connection && !Destroying()) {
    std::lock_guard guard(FRoutingLock);
    api = FAPI;
  }
  // Most components have no API: their messages skip the protocol's copy.
  if (api && Connection->Protocol().empty()) api->DoRawMessage(Connection, Text);
  TzorWSComponent_Base::DoNotifyMessage(Connection, Text);
}

// --- handshake ----------------------------------------------------------------------------

void TzorWSComponent::DoHandshake(TzorWSConnection* Connection) {
  if (Destroying() || !Connection) return;
  if (NotifyEvents() == neNoSync) return DoEventHandshake(Connection, Connection->HeadersResponse());
  // The connecting thread waits for the handler on the main thread.
  DispatchAs(neSynchronous,
             [this, keep = Connection->shared_from_this()] { DoEventHandshake(keep.get(), keep->HeadersResponse()); });
}

void TzorWSComponent::DoEventHandshake(TzorWSConnection* Connection, std::vector<std::string>& Headers) {
  if (OnHandshake) OnHandshake(Connection, Headers);
}

// --- timers ----------------------------------------------------------------------------------

void TzorWSComponent::SetNotifyEvents(TwsNotifyEvent value) {
  TzorSocketComponent_Base::SetNotifyEvents(value);
  std::lock_guard guard(FTimersLock);
  for (auto& timer : FTimers)
    if (timer) timer->SetNotifyEvents(value);
}

void TzorWSComponent::StartHeartBeat() {
  if (FHeartBeat.Enabled() && FHeartBeat.Interval() > 0) StartTimer(tkHeartBeat, FHeartBeat.Interval() * 1000);
}

void TzorWSComponent::StopHeartBeat() { StopTimer(tkHeartBeat); }

void TzorWSComponent::StartHeartBeatTimeout() {
  if (FHeartBeat.Timeout() >= 1) StartTimer(tkHeartBeatTimeout, FHeartBeat.Timeout() * 1000);
}

void TzorWSComponent::StopHeartBeatTimeout() { StopTimer(tkHeartBeatTimeout); }

void TzorWSComponent::StartWatchDog() {
  if (FWatchDog.Enabled()) StartTimer(tkWatchDog, FWatchDog.Interval() * 1000);
}

void TzorWSComponent::StopWatchDog() { StopTimer(tkWatchDog); }

void TzorWSComponent::StartTimer(TTimerKind kind, int32_t intervalMs) {
  std::unique_ptr<TzorTimer> ended;  // freed after the lock: its handler may be waiting for it
  std::lock_guard guard(FTimersLock);
  std::unique_ptr<TzorTimer>& timer = FTimers[kind];
  if (timer && !timer->Terminated()) {
    timer->SetInterval(intervalMs);
    return;
  }
  ended = std::move(timer);
  timer = std::make_unique<TzorTimer>(kTimerNames[kind]);
  timer->SetInterval(intervalMs);
  timer->SetNotifyEvents(NotifyEvents());
  timer->SetOnException([this](TzorTimer*, const std::exception& e) {
    DoNotifyException(e.what(), std::make_exception_ptr(Exception(e.what())));
  });
  timer->SetOnTimer([this, kind](TzorTimer*) { TimerFired(kind); });
  timer->SetEnabled(true);
}

void TzorWSComponent::StopTimer(TTimerKind kind) {
  std::unique_ptr<TzorTimer> timer;
  {
    std::lock_guard guard(FTimersLock);
    timer = std::move(FTimers[kind]);
  }
  FreeTimer(timer);
}

void TzorWSComponent::TimerFired(TTimerKind kind) {
  if (Destroying()) return;
  switch (kind) {
    case tkHeartBeat:
      return DoHeartBeat();
    case tkHeartBeatTimeout:
      return DoHeartBeatTimeout();
    case tkWatchDog:
      DoWatchDog();
      return CountWatchDogAttempt();
  }
}

void TzorWSComponent::CountWatchDogAttempt() {
  const int32_t attempts = FWatchDog.Attempts();
  if (attempts >= 1 && ++FWatchDogAttempts >= attempts) StopWatchDog();
}

}  // namespace zor
