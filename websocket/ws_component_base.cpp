// Event dispatch of the WebSocket components: the thread events run on, held
// message events, and reporting failures.
#include "websocket/ws_component.h"

namespace zor {

namespace {

// Calls `raise` with the exception `e` holds, or with a plain exception
// carrying `message` when there is none or it says nothing.
template <class Raise>
void WithException(std::exception_ptr e, const std::string& message, Raise raise) {
  if (e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      if (*ex.what() != '\0') return raise(ex);
    } catch (...) {
      // Not a std::exception: the message stands in for it.
    }
  }
  raise(Exception(message));
}

}  // namespace

TzorWSComponent_Base::~TzorWSComponent_Base() { BeginDestroy(); }

void TzorWSComponent_Base::BeginDestroy() {
  std::shared_ptr<TzorMainThreadDispatcher> dispatcher;
  {
    std::lock_guard guard(FDispatcherLock);
    if (FDestroying.exchange(true)) return;
    dispatcher = FDispatcher;
  }
  // Queued events are dropped; one running on the main thread is waited for.
  if (dispatcher) dispatcher->Cancel(this);
}

TzorWSConnectionPtr TzorWSComponent_Base::Share(TzorWSConnection* Connection) {
  return Connection ? Connection->shared_from_this() : nullptr;
}

void TzorWSComponent_Base::DispatchAs(TwsNotifyEvent mode, std::function<void()> raise) {
  if (mode == neNoSync) return raise();
  std::shared_ptr<TzorMainThreadCall> call;
  {
    // Queued under the lock that BeginDestroy takes, so that nothing is
    // queued after the component cancelled its events.
    std::lock_guard guard(FDispatcherLock);
    if (FDestroying) return;
    if (!FDispatcher) FDispatcher = MainThreadDispatcher();
    if (mode == neAsynchronous) return FDispatcher->Post(std::move(raise), this);
    if (!FDispatcher->IsMainThread()) call = FDispatcher->Submit(std::move(raise), this);
  }
  if (call)
    call->Wait();
  else
    raise();  // already on the main thread
}

// --- notifications ------------------------------------------------------------------

void TzorWSComponent_Base::DoNotifyConnect(TzorWSConnection* Connection) {
  if (FDestroying || !Connection || Connection->IsInternal() || !Connection->NotifyConnection()) return;
  if (Route(Connection, [&](TzorWSNotifyTarget& t) { t.DoNotifyConnect(Connection); }, false)) return;
  Dispatch([this, keep = Share(Connection)] { DoEventConnect(keep.get()); });
}

void TzorWSComponent_Base::DoNotifyDisconnect(TzorWSConnection* Connection) {
  if (FDestroying || !Connection) return;
  const int code = Connection->CloseCode();
  if (Connection->IsInternal() || !Connection->NotifyDisconnection() ||
      Route(Connection, [&](TzorWSNotifyTarget& t) { t.DoNotifyDisconnect(Connection, code); }, true))
    return DoDestroyConnection(Connection);
  Dispatch([this, keep = Share(Connection), code] {
    // A failing handler does not keep the connection from being freed.
    auto destroy = [&] {
      if (keep->Freed()) return;
      try {
        DoDestroyConnection(keep.get());
      } catch (...) {
        // The disconnect is done with; nothing is left to report to.
      }
    };
    try {
      DoEventDisconnect(keep.get(), code);
    } catch (...) {
      destroy();
      throw;
    }
    destroy();
  });
}

void TzorWSComponent_Base::DoNotifyMessage(TzorWSConnection* Connection, const std::string& Text) {
  if (FDestroying || !Connection || Connection->IsInternal()) return;
  if (Route(Connection, [&](TzorWSNotifyTarget& t) { t.DoNotifyMessage(Connection, Text); }, false)) return;
  if (NotifyEvents() == neNoSync) return DoEventMessage(Connection, Text);
  Dispatch([this, keep = Share(Connection), Text] { DoEventMessage(keep.get(), Text); });
}

void TzorWSComponent_Base::NotifyBinaryElsewhere(TzorWSConnection* Connection, const TzorStringStream& Data) {
  if (Route(Connection, [&](TzorWSNotifyTarget& t) { t.DoNotifyBinary(Connection, Data); }, false)) return;
  if (NotifyEvents() == neNoSync) return DoEventBinary(Connection, Data);
  Dispatch([this, keep = Share(Connection), Data] { DoEventBinary(keep.get(), Data); });
}

void TzorWSComponent_Base::DoNotifyFragmented(TzorWSConnection* Connection, const TzorStringStream& Data,
                                              TOpcode OpCode, bool Continuation) {
  if (FDestroying || !Connection || Connection->IsInternal()) return;
  if (Route(Connection, [&](TzorWSNotifyTarget& t) { t.DoNotifyFragmented(Connection, Data, OpCode, Continuation); },
            false))
    return;
  if (NotifyEvents() == neNoSync) return DoEventFragmented(Connection, Data, OpCode, Continuation);
  Dispatch([this, keep = Share(Connection), Data, OpCode, Continuation] {
    DoEventFragmented(keep.get(), Data, OpCode, Continuation);
  });
}

void TzorWSComponent_Base::DoNotifyError(TzorWSConnection* Connection) {
  if (FDestroying || !Connection || Connection->IsInternal()) return;
  const std::string error = Connection->MsgError();
  if (Route(Connection, [&](TzorWSNotifyTarget& t) { t.DoNotifyError(Connection, error); }, false)) return;
  Dispatch([this, keep = Share(Connection), error] { DoEventError(keep.get(), error); });
}

void TzorWSComponent_Base::DoNotifyException(TzorWSConnection* Connection) {
  if (FDestroying || !Connection || Connection->IsInternal()) return;
  const std::string message = Connection->MsgException();
  const std::exception_ptr e = Connection->RawException();
  if (Route(
          Connection,
          [&](TzorWSNotifyTarget& t) {
            WithException(e, message, [&](const std::exception& ex) { t.DoNotifyException(Connection, ex); });
          },
          false))
    return;
  Dispatch([this, keep = Share(Connection), message, e] { DoEventException(keep.get(), message, e); });
}

void TzorWSComponent_Base::DoNotifyException(const std::string& Message, std::exception_ptr E) {
  if (FDestroying) return;
  Dispatch([this, Message, E] { DoEventException(nullptr, Message, E); });
}

// --- event raisers ---------------------------------------------------------------------

void TzorWSComponent_Base::DoEventConnect(TzorWSConnection* Connection) {
  if (OnConnect) OnConnect(Connection);
}

void TzorWSComponent_Base::DoEventDisconnect(TzorWSConnection* Connection, int Code) {
  if (OnDisconnect) OnDisconnect(Connection, Code);
}

void TzorWSComponent_Base::DoEventMessage(TzorWSConnection* Connection, const std::string& Text) {
  if (!OnMessage) return;
  if (FQueueMessages) {
    std::lock_guard guard(FHeldLock);
    FQueueMessage.push_back({Share(Connection), 0, nullptr, {}, Text, {}});
    return;
  }
  OnMessage(Connection, Text);
}

void TzorWSComponent_Base::HoldBinary(TzorWSConnection* Connection, const TzorStringStream& Data) {
  std::lock_guard guard(FHeldLock);
  FQueueBinary.push_back({Share(Connection), 0, nullptr, Data, {}, {}});
}

void TzorWSComponent_Base::DoEventFragmented(TzorWSConnection* Connection, const TzorStringStream& Data,
                                             TOpcode OpCode, bool Continuation) {
  if (!OnFragmented) return;
  if (FQueueMessages) {
    std::lock_guard guard(FHeldLock);
    FQueueFragmented.push_back({Share(Connection), OpCode, nullptr, Data, {}, Continuation ? "1" : "0"});
    return;
  }
  OnFragmented(Connection, Data, OpCode, Continuation);
}

void TzorWSComponent_Base::DoEventError(TzorWSConnection* Connection, const std::string& Error) {
  if (OnError) OnError(Connection, Error);
}

void TzorWSComponent_Base::DoEventException(TzorWSConnection* Connection, const std::string& Message,
                                            std::exception_ptr E) {
  if (!OnException) return;
  WithException(E, Message, [&](const std::exception& ex) { OnException(Connection, ex); });
}

void TzorWSComponent_Base::DoDestroyConnection(TzorWSConnection* Connection) { Connection->SetFreed(); }

// --- held events --------------------------------------------------------------------------

void TzorWSComponent_Base::SetQueueMessages(bool value) {
  if (FQueueProcessing) return;
  FQueueMessages = value;
  if (value) return;
  FQueueProcessing = true;
  struct Done {
    std::atomic<bool>& flag;
    ~Done() { flag = false; }
  } done{FQueueProcessing};
  Release(FQueueMessage, [this](TzorWSNotifyObject& o) { DoEventMessage(o.FConnection.get(), o.FText); });
  Release(FQueueBinary, [this](TzorWSNotifyObject& o) { DoEventBinary(o.FConnection.get(), o.FStream); });
  Release(FQueueFragmented, [this](TzorWSNotifyObject& o) {
    DoEventFragmented(o.FConnection.get(), o.FStream, static_cast<TOpcode>(o.FInt), o.FText1 == "1");
  });
}

void TzorWSComponent_Base::Release(std::deque<TzorWSNotifyObject>& held,
                                   const std::function<void(TzorWSNotifyObject&)>& raise) {
  std::lock_guard guard(FHeldLock);
  while (!held.empty()) {
    TzorWSNotifyObject entry = std::move(held.front());
    held.pop_front();
    raise(entry);
  }
}

void TzorWSComponent_Base::QueueClear() {
  std::lock_guard guard(FHeldLock);
  FQueueMessage.clear();
  FQueueBinary.clear();
  FQueueFragmented.clear();
}

// --- reporting --------------------------------------------------------------------------------

void TzorWSComponent_Base::ReportError(TzorWSConnection* Connection, const std::string& Message) {
  if (FDestroying) return;
  try {
    if (OnError && Connection) {
      Connection->SetMsgError(Message);
      DoNotifyError(Connection);
    } else if (OnError) {
      DoEventError(nullptr, Message);
    }
  } catch (...) {
    // Reporting never fails the operation that reports.
  }
  DropQuietly(Connection);
}

void TzorWSComponent_Base::ReportException(TzorWSConnection* Connection, const std::string& Message,
                                           std::exception_ptr E) {
  if (FDestroying) return;
  try {
    if (OnException && Connection) {
      Connection->SetMsgException(Message);
      Connection->SetRawException(E);
      DoNotifyException(Connection);
    } else if (OnException) {
      DoNotifyException(Message, E);
    }
  } catch (...) {
    // Reporting never fails the operation that reports.
  }
  DropQuietly(Connection);
}

void TzorWSComponent_Base::DropQuietly(TzorWSConnection* Connection) {
  if (!Connection) return;
  try {
    Connection->DropConnection();
  } catch (...) {
    // The connection is gone either way.
  }
}

}  // namespace zor
