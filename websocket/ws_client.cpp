#include "websocket/ws_client.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

#include "base/format.h"
#include "base/text.h"
#include "base/url.h"
#include "http/http_client.h"
#include "net/deadline.h"
#include "net/net_errors.h"
#include "websocket/client_url.h"
#include "websocket/load_balancer_choice.h"

namespace zor {

// One activation's TCP connection, WebSocket connection and IO thread.
struct TzorWSClient::Session {
  std::shared_ptr<TzorConnection> tcp;
  std::shared_ptr<TzorWSConnectionClient> ws;
  std::thread io;
  std::atomic<bool> stop{false};
  std::atomic<bool> ended{false};    // the disconnect was dispatched
  TzorDeadline handshake;            // by when the answer must have come
};

namespace {

// The peer closed the connection.
bool IsSilentClose(const std::exception& e) { return dynamic_cast<const EzorSilentException*>(&e) != nullptr; }

std::string Trimmed(std::string text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

TzorWSClient::TzorWSClient() { Extensions().SetMode(appClient); }

TzorWSClient::~TzorWSClient() { EndThreads(); }

void TzorWSClient::EndThreads() {
  BeginDestroy();
  {
    // Waits in Connect and Disconnect on other threads end now.
    std::lock_guard lock(session_lock_);
    state_changed_.notify_all();
  }
  SetWatchDogEnabled(false);
  MainThreadDispatcher()->Cancel(this);  // an activation the watchdog posted
  if (auto session = CurrentSession()) {
    session->stop = true;
    session->tcp->Disconnect(false);
  }
  JoinEnded(true);
  // Destroyed from one of its own threads (an event handler): that thread
  // ends by itself once the handler returns.
  for (auto& s : ended_)
    if (s->io.joinable()) s->io.detach();
  for (auto& h : helpers_)
    if (h.first.joinable()) h.first.detach();
}

// ---- where to connect ---------------------------------------------------------

void TzorWSClient::SetURL(const std::string& aURL) { ApplyURL(aURL, false); }

void TzorWSClient::ApplyURL(const std::string& aURL, bool fromRedirect) {
  const TzorWSClientAddress address = ParseWSClientURL(aURL);
  FHost = address.Host;
  FTLS = address.TLS;
  FPort = address.Port;
  Specifications().SetRFC6455(address.RFC6455);
  FOptions.SetParameters(address.Parameters);
  if (fromRedirect) {
    basic_allowed_ = SameText(FHost, FAuthorizedHost);
  } else {
    FAuthorizedHost = FHost;
    basic_allowed_ = true;
    redirects_ = 0;
  }
}

void TzorWSClient::SetHost(const std::string& value) {
  FHost = FAuthorizedHost = value;
  basic_allowed_ = true;
}

TzorSocketOptions TzorWSClient::SocketOptions() {
  TzorSocketOptions s;
  s.Host = FHost;
  s.Port = static_cast<uint16_t>(FPort);
  s.IPVersion = FIPVersion;
  s.ConnectTimeout = FConnectTimeout > 0 ? FConnectTimeout : kDefaultConnectTimeout;
  s.ReadTimeout = FReadTimeout;
  s.WriteTimeout = FWriteTimeout;
  s.BoundIP = FBoundIP;
  s.BoundPort = FBoundPort;
  s.BoundPortMin = FBoundPortMin;
  s.BoundPortMax = FBoundPortMax;
  s.UseNagle = FUseNagle;
  s.LingerSeconds = FLingerState;
  s.KeepAlive = TCPKeepAlive().Enabled();
  s.KeepAliveTime = TCPKeepAlive().Time();
  s.KeepAliveInterval = TCPKeepAlive().Interval();
  return s;
}

// ---- activation ----------------------------------------------------------------

bool TzorWSClient::Active() const {
  auto session = CurrentSession();
  return session && session->ws;
}

bool TzorWSClient::Connected() const {
  auto session = CurrentSession();
  return session && session->tcp->Connected();
}

std::shared_ptr<TzorWSConnectionClient> TzorWSClient::Connection() const {
  auto session = CurrentSession();
  return session ? session->ws : nullptr;
}

std::shared_ptr<TzorWSClient::Session> TzorWSClient::CurrentSession() const {
  std::lock_guard lock(session_lock_);
  return session_;
}

void TzorWSClient::SetActive(bool value) {
  if (Destroying()) return;
  // Threads of ended connections are joined before the lock is taken: one
  // of them may be waiting for it inside an event handler.
  JoinEnded();
  if (value)
    Activate();
  else
    Deactivate();
  JoinEnded();
}

void TzorWSClient::Activate() {
  std::lock_guard lock(activation_lock_);
  if (Connected()) return;
  try {
    StopHeartBeatTimeout();
    StopHeartBeat();
    if (OnBeforeConnect) OnBeforeConnect(this);
    if (FLoadBalancer.Enabled()) ChooseServer();
    std::shared_ptr<const TzorTLSContext> own;
    TzorTLSVerifyPeer verify_peer;
    if (OnSSLVerifyPeer)
      verify_peer = [this](const TzorTLSCertificateInfo& certificate, bool ok, int depth, int error) {
        bool accept = ok;
        OnSSLVerifyPeer(this, certificate, ok, depth, error, accept);
        return accept;
      };
    transport_.PrepareTLS(
        FTLS, FTLSOptions, Specifications().RFC8441(),
        [this] {
          std::shared_ptr<const TzorTLSContext> context;
          if (OnSSLGetHandler) OnSSLGetHandler(this, sslClient, context);
          return context;
        },
        std::move(verify_peer));
    if (FTLS && OnSSLAfterCreateHandler) OnSSLAfterCreateHandler(this, sslClient, transport_.TLSContext());
    transport_.PrepareIntercepts({LogFile().Enabled(), LogFile().FileName(), LogFile().UnMaskFrames()}, FThrottle);
    SetWatchDogEnabled(WatchDog().Enabled());
    if (FAuthentication.Enabled()) {
      if (FAuthentication.Token().Enabled()) {
        if (StartTokenSource()) return;  // connects when the token arrives
      } else if (FAuthentication.Session().Enabled()) {
        RequestSession();
      } else if (FAuthentication.URL().Enabled()) {
        FOptions.SetParameters(URLAuthenticationPath(FAuthentication.User(), FAuthentication.Password()));
      }
    }
    ConnectTCP();
  } catch (...) {
    ReportActivationFailure(std::current_exception());
  }
}

void TzorWSClient::ReportActivationFailure(std::exception_ptr error) {
  if (Destroying()) return;
  FConnecting = false;
  state_changed_.notify_all();
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    ReportException(Connection().get(), e.what(), error);
  } catch (...) {
    ReportException(Connection().get(), "Unknown exception", error);
  }
  if (WatchDogEnabled()) StartWatchDog();
}

std::string TzorWSClient::HTTPGet(const std::string& aURL) {
  TzorIdHTTP http;
  if (FProxy.Enabled()) http.Proxy().Assign(FProxy);
  http.TLSOptions().Assign(FTLSOptions);
  http.SetReadTimeout(10000);
  http.Request().UserAgent = kClientUserAgent;
  return http.Get(aURL);
}

void TzorWSClient::ChooseServer() {
  try {
    const std::string body = HTTPGet(LoadBalancerBindingURL(FTLS, FLoadBalancer.Host(), FLoadBalancer.Port()));
    if (!body.empty()) {
      const TzorWSServerChoice choice = ReadBindingAnswer(body);
      FHost = choice.Host;
      FPort = choice.Port;
      FTLS = choice.TLS;
      return;
    }
  } catch (const std::exception& e) {
    if (OnLoadBalancerError) OnLoadBalancerError(this, e.what());
  }
  TzorWSServerChoice choice;
  if (PickListedServer(FLoadBalancer.Servers(), choice)) {
    FHost = choice.Host;
    FPort = choice.Port;
    FTLS = choice.TLS;
  }
}

void TzorWSClient::RequestSession() {
  auto& session = FAuthentication.Session();
  const std::string body =
      HTTPGet(SessionRequestURL(FTLS, FHost, FPort, FAuthentication.User(), FAuthentication.Password()));
  if (ReadSessionAnswer(body, session))
    FOptions.SetParameters(kSessionConnectPath + PercentEncode(session.ID(), false));
}

bool TzorWSClient::StartTokenSource() {
  TzorWSAuthenticationClient_Token& token = FAuthentication.Token();
  TzorHTTPComponentClientAuthToken_Base* source = token.OAuth() ? token.OAuth() : token.JWT();
  if (!source) return false;
  source->OnAuthToken = [this](TzorComponent_Base*, const std::string& aTokenType, const std::string& aToken,
                               const std::string&) {
    if (Destroying()) return;
    if (aToken.empty()) {
      ReportException(nullptr, Trimmed(std::string("OAuth Error") + " " + "Token is empty"), nullptr);
      return;
    }
    std::lock_guard lock(activation_lock_);
    FAuthentication.Token().SetAuthName(aTokenType);
    FAuthentication.Token().SetAuthToken(aToken);
    if (Connected()) return;
    try {
      ConnectTCP();
    } catch (...) {
      ReportActivationFailure(std::current_exception());
    }
  };
  source->OnAuthTokenError = [this](TzorComponent_Base*, const std::string& aError, const std::string& aDescription,
                                    const std::string&) {
    if (!Destroying()) ReportException(nullptr, Trimmed(aError + " " + aDescription), nullptr);
  };
  source->Start();
  return true;
}

void TzorWSClient::ConnectTCP() {
  FConnecting = true;
  auto session = std::make_shared<Session>();
  session->tcp = transport_.NewConnection(SocketOptions(), FProxy);
  session->tcp->Connect();
  TCPConnected(session);
}

void TzorWSClient::TCPConnected(const std::shared_ptr<Session>& session) {
  FConnecting = false;
  auto ws = std::make_shared<TzorWSConnectionClient>();
  session->ws = ws;
  session->handshake = TzorDeadline::After(FHandshakeTimeout);
  ws->SetSpecification(spRFC6455);
  ws->SetTransport(Specifications().RFC8441()   ? trpRFC8441
                   : Specifications().RFC6455() ? trpRFC6455
                                                : trpTCP);
  ws->SetExtensions(Extensions());
  ws->SetMasked(true);
  // Between frames the read pass waits as the IO thread would: until bytes
  // arrive (a deactivation's shutdown wakes it), or, with queues to serve
  // every 10 ms, it only looks and leaves the waiting to the IO thread. One
  // wait per message instead of a look and then a wait.
  ws->SetReadTimeOut(FQueueOptions.AnyLevel() ? 0 : -1);
  ws->SetProtocol(RegisteredProtocols());
  ws->Host = FHost;
  ws->Port = FPort;
  ws->Options.Assign(FOptions);
  ws->Authentication.Assign(FAuthentication);
  ws->SendBasicCredentials = basic_allowed_;
  ws->SetValidateUTF8(FOptions.ValidateUTF8());
  ws->SetCleanDisconnect(FOptions.CleanDisconnect());
  ws->SetRaiseDisconnectExceptions(FOptions.RaiseDisconnectExceptions());
  ws->SetFragmentedMessages(FOptions.FragmentedMessages());
  ws->SetQueueOptions(FQueueOptions);
  if (transport_.LogActive() && transport_.LogIntercept()->UnMaskFrames())
    ws->SetFrameLog(transport_.LogIntercept(), false);

  ws->OnHandshake = [this](TzorWSConnection* c, std::vector<std::string>&) { DoHandshake(c); };
  ws->OnMessage = [this](TzorWSConnection* c, const std::string& text) { OnClientMessageEvent(c, text); };
  ws->OnBinary = [this](TzorWSConnection* c, const TzorStringStream& data) { OnClientBinaryEvent(c, data); };
  ws->SetKeepBinaryReceived(true);
  ws->OnFragmented = [this](TzorWSConnection* c, const TzorStringStream& data, TOpcode op, bool continuation) {
    OnClientFragmentedEvent(c, data, op, continuation);
  };
  ws->OnEnabled = [this](TzorWSConnectionClient* c) {
    if (Destroying()) return;
    redirects_ = 0;
    state_changed_.notify_all();
    DoNotifyConnect(c);
  };
  // The IO thread ends by itself once the connection is marked disconnected.
  ws->OnBeforeDisconnect = [this](TzorWSConnectionClient*) {
    if (Destroying()) return;
    StopHeartBeatTimeout();
    StopHeartBeat();
  };
  ws->OnRedirect = [this](TzorWSConnectionClient*, const std::string& location) { Redirect(location); };
  ws->OnAwaitCloseAnswer = [this, weak = std::weak_ptr(session)](TzorWSConnection*) { BoundCloseAnswer(weak); };

  {
    std::lock_guard lock(session_lock_);
    session_ = session;
    ended_.push_back(session);
  }
  try {
    ws->DoInitialize(session->tcp);
    {
      std::lock_guard heartbeat(heartbeat_lock_);
      heartbeat_.Clear();
      last_pong_seen_ = {};
    }
    StartHeartBeat();
  } catch (const std::exception& e) {
    ReportError(ws.get(), e.what());
  }
  session->io = std::thread(&TzorWSClient::ReadLoop, this, session);
}

// ---- the IO thread --------------------------------------------------------------

void TzorWSClient::ReadLoop(std::shared_ptr<Session> session) {
  TzorWSConnectionClient& ws = *session->ws;
  // After our close the loop reads on for the server's answer.
  while (!session->stop && !Destroying() && (!ws.Disconnected() || ws.AwaitingCloseAnswer())) {
    if (FQueueOptions.AnyLevel() && ws.Enabled()) {
      try {
        ws.ProcessQueues();
      } catch (const std::exception& e) {
        ReportError(&ws, e.what());
      }
    }
    try {
      ReadPass(*session);
    } catch (const std::exception& e) {
      // A connection closed on purpose (ours, or dropped after a report)
      // ends the loop without a report of its own.
      const bool dropped = ws.Disconnected() && (IsSilentClose(e) || dynamic_cast<const EzorClosedSocket*>(&e));
      if (!Destroying() && !session->stop && !dropped && (!IsSilentClose(e) || FOptions.RaiseDisconnectExceptions()))
        ReportException(&ws, e.what(), std::current_exception());
      break;
    } catch (...) {
      // Nothing leaves the IO thread: that would end the program.
      if (!Destroying()) ReportException(&ws, "Unknown exception", std::current_exception());
      break;
    }
    if (!session->tcp->Connected()) break;
  }
  TCPDisconnected(session);
}

void TzorWSClient::ReadPass(Session& session) {
  TzorConnection& tcp = *session.tcp;
  TzorWSConnectionClient& ws = *session.ws;
  std::optional<int> wait;
  if (tcp.InputBufferSize() == 0) {
    // Queued messages go out every 10 ms; otherwise only arriving bytes, a
    // shutdown (deactivation) or the handshake's deadline end the wait.
    wait = FQueueOptions.AnyLevel() ? 10 : -1;
    if (!ws.Enabled()) wait = session.handshake.PollMilliseconds();
    if (ws.AwaitingCloseAnswer()) wait = std::max(ws.CloseAnswerTimeLeft(), 1);
  }
  if (!ws.Disconnected() || ws.AwaitingCloseAnswer()) ws.ReadFrames(false, wait);
  ws.CheckCloseAnswer();
  // A peer that hangs up without a close frame.
  if (!ws.Disconnected() && !tcp.Connected()) tcp.CheckForDisconnect();
  if (!ws.Enabled() && !ws.Disconnected() && session.handshake.Limited() &&
      session.handshake.PollMilliseconds() == 0)
    throw TzorWSException("Handshake Timeout");
}

void TzorWSClient::TCPDisconnected(const std::shared_ptr<Session>& session) {
  if (session->ended.exchange(true) || Destroying()) return;
  try {
    if (session->tcp->Connected()) session->tcp->Disconnect(false);
    FDisconnecting = true;
    {
      std::lock_guard lock(session_lock_);
      if (session_ == session) session_.reset();
    }
    state_changed_.notify_all();
    DoNotifyDisconnect(session->ws.get());
    FDisconnecting = false;
  } catch (const std::exception& e) {
    FDisconnecting = false;
    ReportError(nullptr, e.what());
  }
}

void TzorWSClient::BoundCloseAnswer(std::weak_ptr<Session> weak) {
  // The IO thread bounds its own wait for the answer, but a close made on
  // another thread may find it waiting for bytes without end: a helper
  // ends an unanswered wait on time (closing the socket wakes the IO thread).
  RunOnClientThread([this, weak] {
    auto session = weak.lock();
    if (!session) return;
    {
      std::unique_lock lock(session_lock_);
      state_changed_.wait_for(lock, std::chrono::milliseconds(session->ws->CloseAnswerTimeLeft()),
                              [&] { return session->ended || Destroying(); });
    }
    if (!Destroying()) session->ws->CheckCloseAnswer();
  });
}

void TzorWSClient::Redirect(const std::string& aLocation) {
  if (++redirects_ > kMaxRedirects)
    throw TzorWSException(Format("Too many redirects (more than %d)", kMaxRedirects));
  // The IO thread that read the answer is the one the reconnection replaces:
  // the reconnection runs on a thread of its own.
  RunOnClientThread([this, aLocation] {
    Disconnect(10000);
    try {
      ApplyURL(aLocation, true);
    } catch (const std::exception& e) {
      ReportException(nullptr, e.what(), std::current_exception());
      return;
    }
    Connect(10000);
  });
}

// ---- deactivation ---------------------------------------------------------------

void TzorWSClient::Deactivate() {
  std::lock_guard lock(activation_lock_);
  SetWatchDogEnabled(false);
  auto session = CurrentSession();
  if (!session || FDisconnecting) {
    StopWatchDog();
    return;
  }
  if (FOptions.CleanDisconnect()) {
    CloseBounded(*session);
    AwaitCloseAnswer(*session);
  }
  StopHeartBeatTimeout();
  StopHeartBeat();
  session->ws->SetMustDisconnect(true);
  session->stop = true;
  session->tcp->ClearInput();
  session->tcp->Disconnect(false);  // wakes the IO thread, which dispatches the disconnect
}

void TzorWSClient::AwaitCloseAnswer(Session& session) {
  // The IO thread reads the server's answer and ends the connection; it
  // cannot do so while it is the caller (a handler deactivating).
  if (session.io.get_id() == std::this_thread::get_id()) return;
  std::unique_lock lock(session_lock_);
  state_changed_.wait_for(lock, std::chrono::milliseconds(session.ws->CloseAnswerTimeLeft()),
                          [&] { return session.ended || Destroying(); });
}

void TzorWSClient::CloseBounded(Session& session) {
  // A peer that stopped reading must not hold the closing thread: after the
  // close time-out the socket is shut, which ends the blocked write.
  std::mutex lock;
  std::condition_variable done_changed;
  bool done = false;
  std::thread guard([&] {
    std::unique_lock l(lock);
    if (!done_changed.wait_for(l, std::chrono::milliseconds(kCloseTimeout), [&] { return done; }))
      session.tcp->Disconnect(false);
  });
  try {
    session.ws->Close(kCloseNormal);
  } catch (const std::exception&) {
    // The connection is going anyway.
  }
  {
    std::lock_guard l(lock);
    done = true;
  }
  done_changed.notify_all();
  guard.join();
}

void TzorWSClient::JoinEnded(bool everything) {
  std::vector<std::shared_ptr<Session>> joinable;
  {
    std::lock_guard lock(session_lock_);
    for (auto it = ended_.begin(); it != ended_.end();) {
      // A live connection's thread runs on; a stopped or ended one is joined.
      const bool live = !everything && *it == session_ && !(*it)->stop && !(*it)->ended;
      if (!live && (*it)->io.joinable() && (*it)->io.get_id() != std::this_thread::get_id()) {
        joinable.push_back(*it);
        it = ended_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& s : joinable) s->io.join();
  std::vector<std::thread> helpers;
  {
    std::lock_guard lock(helpers_lock_);
    for (auto it = helpers_.begin(); it != helpers_.end();) {
      if ((everything || *it->second) && it->first.get_id() != std::this_thread::get_id()) {
        helpers.push_back(std::move(it->first));
        it = helpers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& t : helpers) t.join();
}

void TzorWSClient::RunOnClientThread(std::function<void()> work) {
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard lock(helpers_lock_);
  helpers_.emplace_back(std::thread([work = std::move(work), done] {
                          work();
                          *done = true;
                        }),
                        done);
}

// ---- waiting operations ---------------------------------------------------------

bool TzorWSClient::Connect(int aTimeout) {
  SetActive(true);
  if (aTimeout <= 0) return false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeout);
  std::unique_lock lock(session_lock_);
  return state_changed_.wait_until(lock, until, [this] {
    if (session_ && session_->ws && session_->ws->Enabled()) return true;
    return (!FConnecting && !session_) || Destroying();
  }) && session_ && session_->ws->Enabled();
}

bool TzorWSClient::Disconnect(int aTimeout) {
  SetActive(false);
  if (aTimeout <= 0) return false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(aTimeout);
  std::unique_lock lock(session_lock_);
  return state_changed_.wait_until(lock, until, [this] { return !session_ || Destroying(); }) && !session_;
}

void TzorWSClient::Start() {
  if (Destroying()) return;
  FThreadStart = true;
  RunOnClientThread([this] { SetActive(true); });
}

void TzorWSClient::Stop() {
  if (Destroying()) return;
  RunOnClientThread([this] { SetActive(false); });
}

// ---- writing -------------------------------------------------------------------

void TzorWSClient::WriteData(const std::string& aText, int aSize, TwsStreaming aStreaming) {
  auto ws = Connection();
  if (!ws) return;
  try {
    ws->WriteData(aText, aSize, aStreaming);
  } catch (const std::exception& e) {
    ReportError(ws.get(), e.what());
  }
}

void TzorWSClient::WriteData(const TzorStringStream& aStream, int aSize, TwsStreaming aStreaming) {
  auto ws = Connection();
  if (!ws) return;
  try {
    ws->WriteData(aStream, aSize, aStreaming);
  } catch (const std::exception& e) {
    ReportError(ws.get(), e.what());
  }
}

std::string TzorWSClient::WriteAndWaitData(const std::string& aText, int aTimeout) {
  auto ws = Connection();
  if (!ws) return {};
  try {
    return ws->WriteAndWaitData(aText, aTimeout);
  } catch (const std::exception& e) {
    ReportError(ws.get(), e.what());
    return {};
  }
}

void TzorWSClient::Ping(const std::string& aText) {
  auto ws = Connection();
  if (!ws) return;
  try {
    ws->Ping(aText.empty() ? PingTimestampText() : aText);
  } catch (const std::exception& e) {
    ReportError(ws.get(), e.what());
  }
}

bool TzorWSClient::Ping(int aTimeout, const std::string& aText) {
  auto ws = Connection();
  if (!ws) return false;
  try {
    return ws->Ping(aText.empty() ? PingTimestampText() : aText, aTimeout);
  } catch (const std::exception& e) {
    ReportError(ws.get(), e.what());
    return false;
  }
}

// ---- events ---------------------------------------------------------------------

void TzorWSClient::OnClientMessageEvent(TzorWSConnection* aConnection, const std::string& aText) {
  if (Destroying()) return;
  try {
    // The connection has set MsgReceived before raising the event.
    DoNotifyMessage(aConnection, aText);
  } catch (const std::exception& e) {
    ReportError(aConnection, e.what());
  }
}

void TzorWSClient::OnClientBinaryEvent(TzorWSConnection* aConnection, const TzorStringStream& aStream) {
  if (Destroying()) return;
  try {
    // The connection has kept the message in MsgBinaryReceived.
    DoNotifyBinary(aConnection, aStream);
  } catch (const std::exception& e) {
    ReportError(aConnection, e.what());
  }
}

void TzorWSClient::OnClientFragmentedEvent(TzorWSConnection* aConnection, const TzorStringStream& aData,
                                           TOpcode aOpCode, bool aContinuation) {
  if (Destroying()) return;
  try {
    DoNotifyFragmented(aConnection, aData, aOpCode, aContinuation);
  } catch (const std::exception& e) {
    ReportError(aConnection, e.what());
  }
}

void TzorWSClient::DoEventConnect(TzorWSConnection* aConnection) {
  StopWatchDog();
  TzorWSComponent::DoEventConnect(aConnection);
  ResetWatchDogAttempts();
}

void TzorWSClient::DoEventDisconnect(TzorWSConnection* aConnection, int aCloseCode) {
  StopHeartBeatTimeout();
  StopHeartBeat();
  TzorWSComponent::DoEventDisconnect(aConnection, aCloseCode);
  if (WatchDogEnabled()) StartWatchDog();
}

// ---- heartbeat and watchdog -------------------------------------------------------

void TzorWSClient::DoHeartBeat() {
  auto ws = Connection();
  if (Destroying() || !ws || ws->Disconnected()) return;
  bool handled = false;
  if (OnBeforeHeartBeat) OnBeforeHeartBeat(this, ws.get(), handled);
  if (handled) return;
  {
    std::lock_guard lock(heartbeat_lock_);
    heartbeat_.PingSent(TzorHeartBeatState::Clock::now());
  }
  try {
    ws->Ping(PingTimestampText());
  } catch (const std::exception&) {
    // The time-out may drop the connection while this ping is on its way:
    // that end is reported once, by the time-out, not again as a failed write.
    if (ws->Disconnected()) return;
    throw;
  }
  StartHeartBeatTimeout();
}

void TzorWSClient::DoHeartBeatTimeout() {
  auto ws = Connection();
  if (Destroying() || !ws) return;
  bool timed_out;
  {
    std::lock_guard lock(heartbeat_lock_);
    const auto now = TzorHeartBeatState::Clock::now();
    // The pong's own stamp is wall-clock time: only whether it changed counts.
    const TzorDateTime last_pong = ws->LastPong();
    if (last_pong != last_pong_seen_ || ws->PingsOutstanding() == 0) {
      last_pong_seen_ = last_pong;
      heartbeat_.PongReceived(now);
    }
    timed_out = heartbeat_.TimedOut(now, std::chrono::seconds(HeartBeat().Timeout()));
  }
  if (!timed_out) return;
  StopHeartBeatTimeout();
  ReportException(ws.get(), "HeartBeat Timeout exceeded.", nullptr);
}

void TzorWSClient::DoWatchDog() {
  if (Destroying() || FConnecting) return;
  const int32_t attempts = WatchDog().Attempts();
  if (attempts >= 1 && WatchDogAttempts() >= attempts) return;
  bool handled = false;
  if (OnBeforeWatchDog) OnBeforeWatchDog(this, handled);
  if (!handled) {
    if (NotifyEvents() != neNoSync && !FThreadStart) {
      if (!Active())
        QueueToMainThread(
            [this] {
              try {
                SetActive(true);
              } catch (const std::exception& e) {
                ReportException(nullptr, e.what(), std::current_exception());
              }
            },
            this);
    } else if (!Connection()) {
      Start();
    }
  }
}

}  // namespace zor
