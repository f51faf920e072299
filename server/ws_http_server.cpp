#include "server/ws_http_server.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <unordered_map>

#include "base/format.h"
#include "base/text.h"
#include "net/openssl_engine.h"
#include "server/builtin_resources.h"
#include "server/http1_request_loop.h"
#include "server/http_answers.h"
#include "server/server_engine.h"
#include "server/server_load_balancer.h"
#include "server/server_socket.h"
#include "server/server_transport.h"

namespace zor {

namespace {

using ConnectionPtr = std::shared_ptr<TzorWSConnectionServer>;

std::string FlashPolicy(const TzorWSFallBack_Options& fallBack) {
  return "<cross-domain-policy><allow-access-from domain=\"" + fallBack.Flash.Domain + "\" to-ports=\"" +
         fallBack.Flash.Ports + "\" /></cross-domain-policy>";
}

}  // namespace

struct TzorWSHTTPServer::Impl {
  explicit Impl(TzorWSHTTPServer& server) : owner(server) {}

  TzorWSHTTPServer& owner;
  std::unique_ptr<TzorServerEngine> engine;
  uint16_t port = 0;
  mutable std::mutex lock;
  std::unordered_map<TzorWSConnectionServer*, ConnectionPtr> connections;

  std::vector<ConnectionPtr> Snapshot() const {
    std::lock_guard guard(lock);
    std::vector<ConnectionPtr> all;
    for (const auto& [raw, c] : connections) all.push_back(c);
    return all;
  }

  ConnectionPtr FindByGuid(const std::string& guid) const {
    std::lock_guard guard(lock);
    for (const auto& [raw, c] : connections)
      if (c->Enabled() && c->Guid() == guid) return c;
    return nullptr;
  }

  TzorResourceOptions ResourceOptions() const {
    TzorResourceOptions o;
    o.JavascriptFiles = owner.FOptions.JavascriptFiles;
    o.HTMLFiles = owner.FOptions.HTMLFiles;
    o.FlashFallBack = owner.FFallBack.Flash.Enabled;
    o.EventSourceFallBack = owner.FFallBack.ServerSentEvents.Enabled;
    return o;
  }

  TzorServerSocketSettings SocketSettings() const {
    TzorServerSocketSettings s;
    s.Classifier.AuthenticationEnabled = owner.FAuthentication.Enabled;
    s.Classifier.SessionEnabled = owner.FAuthentication.Session.Enabled;
    s.Classifier.HTTP2Enabled = owner.FHTTP2Enabled;
    s.Classifier.MaxReadBufferSize = static_cast<size_t>(owner.FMaxReadBufferSize);
    s.Classifier.ServesResource = [resources = ResourceOptions()](const std::string& line) {
      return ServesResource(line, resources);
    };
    s.ReadTimeOut = owner.FOptions.ReadTimeOut();
    s.HeadTimeOut = owner.FOptions.HeadTimeOut;
    s.ReadEmptySource = owner.FReadEmptySource;
    return s;
  }

  std::shared_ptr<const TzorTLSContext> TLSContext() {
    if (!owner.FSSL) return nullptr;
    TzorTLSSettings settings = owner.FSSLOptions;
    settings.Side = TzorTLSSide::tlsServer;
    settings.ALPNSelector = [this](const std::vector<std::string>& offered, std::string& chosen) {
      if (owner.FHTTP2Enabled && std::find(offered.begin(), offered.end(), "h2") != offered.end()) {
        chosen = "h2";
        return true;
      }
      if (!owner.OnSSLALPNSelect) return false;
      std::string protocol;
      owner.OnSSLALPNSelect(&owner, offered, protocol);
      if (protocol.empty()) return false;
      chosen = protocol;
      return true;
    };
    return NewOpenSSLContext(settings);
  }

  // --- accept -----------------------------------------------------------------

  void Accept(TzorAsyncConnection& socket, TzorAsyncConnection::Handlers& handlers) {
    auto connection = std::make_shared<TzorWSConnectionServer>();
    auto transport = std::make_shared<TzorServerTransport>(socket.shared_from_this(), std::string());
    connection->AttachTransport(transport);
    Configure(*connection);
    {
      std::lock_guard guard(lock);
      connections.emplace(connection.get(), connection);
    }
    std::weak_ptr<TzorWSConnectionServer> weak = connection;
    // Weak: the socket's handlers hold this front, and the transport holds the
    // socket; a strong reference here would keep all three alive for ever.
    std::weak_ptr<TzorServerTransport> weakTransport = transport;
    auto front = TzorServerSocket::Create(
        socket, SocketSettings(),
        [this, weak, weakTransport](TzorServerSocket& s, TzorRequestClassification& c, std::string& bytes) {
          auto conn = weak.lock();
          auto transport = weakTransport.lock();
          if (!conn || !transport) return s.Connection().Abort();
          // The HTTP/1.x request reader parses the head itself; a raw
          // OnHTTPRequest handler gets the lines and only what followed them.
          transport->PutBack(c.Kind == rkHTTP && !owner.OnHTTPRequest ? bytes : bytes.substr(c.HeadSize));
          conn->HeadersRequest() = std::move(c.Lines);
          Dispatch(s, *conn, c.Kind);
        },
        [this, weak](TzorServerSocket&, const std::string& reason) {
          if (auto conn = weak.lock()) owner.ReportError(conn.get(), reason);
        });
    front->SetClosedHandler([this, weak](std::exception_ptr) {
      if (auto conn = weak.lock()) Disconnected(conn);
    });
    front->Install(handlers);

    bool accept = true;
    try {
      if (owner.OnTCPConnect) owner.OnTCPConnect(connection.get(), accept);
      if (!accept) throw TzorWSException("Connection rejected by server.");
    } catch (const std::exception& e) {
      owner.ReportError(connection.get(), e.what());
      socket.Abort();
    }
  }

  void Configure(TzorWSConnectionServer& c) {
    c.SetServerSSL(owner.FSSL);
    c.SetServerOriginsAllowed(owner.FSecurityOptions.OriginsAllowed);
    c.SetValidateUTF8(owner.FOptions.ValidateUTF8);
    c.SetCleanDisconnect(owner.FOptions.CleanDisconnect);
    c.SetRaiseDisconnectExceptions(owner.FOptions.RaiseDisconnectExceptions);
    c.SetReadTimeOut(owner.FOptions.ReadTimeOut());
    c.SetExtensions(owner.Extensions());
    c.Extensions().SetMode(appServer);
    c.SetMasked(false);
    c.SetProtocol(owner.RegisteredProtocols());
    TzorWSHTTPServer* server = &owner;
    c.OnMessage = [server](TzorWSConnection* conn, const std::string& text) { server->DoNotifyMessage(conn, text); };
    c.OnBinary = [server](TzorWSConnection* conn, const TzorStringStream& data) { server->DoNotifyBinary(conn, data); };
    c.OnFragmented = [server](TzorWSConnection* conn, const TzorStringStream& data, TOpcode op, bool continuation) {
      server->DoNotifyFragmented(conn, data, op, continuation);
    };
    c.OnUpdate = [this](TzorWSConnection* conn, int value) { DoConnectionUpdate(conn, value); };
    c.OnHandshake = [server](TzorWSConnection* conn, std::vector<std::string>& headers) {
      if (server->OnHandshake) server->OnHandshake(conn, headers);
    };
    if (owner.FAuthentication.Enabled) {
      TzorWSConnectionServer* self = &c;
      c.OnAuthentication() = [server, self](TzorWSConnection* conn, const std::string& user,
                                            const std::string& password, bool& authenticated) {
        server->FAuthenticator.OnServerAuthenticationEvent(conn, self->AuthState(), user, password, authenticated);
      };
    }
  }

  // --- after classification -----------------------------------------------------

  void Dispatch(TzorServerSocket& s, TzorWSConnectionServer& c, TwsRequestKind kind) {
    try {
      switch (kind) {
        case rkWebSocket:
          return Upgrade(s, c);
        case rkSessionRequest:
          return AnswerSession(c);
        case rkBuiltInResource:
          ServeResource(c, c.HeadersRequest().front(), 0, false);
          return CloseHTTPConnection(c);
        case rkFlashPolicy:
          c.SetTransport(trpFlash);
          if (owner.FFallBack.Flash.Enabled) c.TCPConnection()->Write(FlashPolicy(owner.FFallBack) + "\r\n");
          return CloseHTTPConnection(c);
        case rkXHRPost:
          return PostMessage(s, c);
        case rkHTTP:
          if (!owner.OnHTTPRequest) return ServeHTTP1(s, c);
          c.SetTransport(trpHTTP);
          // The handler gets the whole body, however it was split in transit.
          return WhenBodyBuffered(s, c, [this](TzorWSConnectionServer& conn, const std::string& body) {
            owner.OnHTTPRequest(&conn, conn.HeadersRequest(), body);
          });
        case rkUnknown:
          return UnknownProtocol(s, c);
        default:
          // Protocol posts for unregistered protocols, and what this server
          // does not serve (HTTP/2 without its session, event streams): closed.
          return CloseHTTPConnection(c);
      }
    } catch (const std::exception& e) {
      c.HeadersRequest().clear();
      owner.ReportError(&c, e.what());
    }
  }

  // Application requests on an HTTP/1.x connection, as long as it is kept alive.
  void ServeHTTP1(TzorServerSocket& s, TzorWSConnectionServer& c) {
    c.SetTransport(trpHTTP);
    TzorWSConnectionServer* conn = &c;
    auto loop = std::make_shared<TzorHTTP1RequestLoop>(
        owner.FHTTPLimits, owner.FKeepAlive,
        [this, conn](TzorHTTPServerRequest& request, TzorHTTPServerResponse& response) {
          owner.DoCommandHTTP(*conn, request, response);
        },
        [this, conn](const std::string& message) { ReportKeepingConnection(conn, message); });
    if (owner.FKeepAliveTimeOut > 0)
      s.Connection().SetIdleTimeout(owner.FKeepAliveTimeOut, [](TzorAsyncConnection& socket) { socket.Disconnect(); });
    std::weak_ptr<TzorWSConnectionServer> weak = std::static_pointer_cast<TzorWSConnectionServer>(c.shared_from_this());
    s.SetDataHandler([this, weak, loop](TzorAsyncConnection&) {
      if (auto alive = weak.lock()) ReadHTTP1(*alive, *loop);
    });
    ReadHTTP1(c, *loop);
  }

  void ReadHTTP1(TzorWSConnectionServer& c, TzorHTTP1RequestLoop& loop) {
    try {
      loop.OnBytes(*c.TCPConnection());
    } catch (const std::exception& e) {
      // The answers cannot be written: a client that sends and never reads.
      owner.ReportError(&c, e.what());
    }
  }

  // OnError for a failure the connection outlives (a handler's exception
  // answered 500) or that is answered before the close (a refused request).
  void ReportKeepingConnection(TzorWSConnectionServer* c, const std::string& message) {
    if (!owner.OnError) return;
    try {
      c->SetMsgError(message);
      owner.DoNotifyError(c);
    } catch (...) {
      // Reporting never fails the request.
    }
  }

  void Upgrade(TzorServerSocket& s, TzorWSConnectionServer& c) {
    try {
      owner.FAuthenticator.AuthenticateUpgrade(&c, c.AuthState(), c.HeadersRequest());
    } catch (...) {
      c.ClearInput();
      throw;
    }
    if (c.AuthState().Internal) c.SetIsInternal(true);
    std::weak_ptr<TzorWSConnectionServer> weak = std::static_pointer_cast<TzorWSConnectionServer>(c.shared_from_this());
    // A close of ours (a refused login's among them) waits for the peer's
    // answer; the socket's idle timer ends a wait that stays unanswered.
    c.OnAwaitCloseAnswer = [weak, socket = std::weak_ptr(s.Connection().shared_from_this())](TzorWSConnection* self) {
      if (auto connection = socket.lock())
        connection->SetIdleTimeout(self->CloseTimeOut(), [weak](TzorAsyncConnection&) {
          if (auto conn = weak.lock()) conn->CheckCloseAnswer();
        });
    };
    c.ReadFrames(true);  // the handshake answer
    s.SetDataHandler([this, weak](TzorAsyncConnection&) {
      if (auto conn = weak.lock()) Read(*conn, true);
    });
    if (c.BufferedByteCount() > 0) Read(c, true);
  }

  void Read(TzorWSConnectionServer& c, bool requireMask) {
    try {
      c.ReadFrames(requireMask);
    } catch (const std::exception& e) {
      owner.ReportError(&c, e.what());
    }
  }

  void AnswerSession(TzorWSConnectionServer& c) {
    std::string body;
    const auto extensions = c.Extensions().List();
    std::string extensionText;
    for (const auto& name : extensions) extensionText += name + "\r\n";
    switch (owner.FAuthenticator.AnswerSessionRequest(&c, c.AuthState(), c.HeadersRequest().front(), extensionText,
                                                      c.Protocol(), body)) {
      case TzorSessionAnswer::Granted:
        c.SendResponseHTTP(body, "text/plain");
        break;
      case TzorSessionAnswer::NotFound:
        c.WriteHTTPStatus(404, "Not Found");
        break;
      case TzorSessionAnswer::Nothing:
        break;
    }
    CloseHTTPConnection(c);
  }

  // A message posted for a connection that reads server-sent events.
  void PostMessage(TzorServerSocket& s, TzorWSConnectionServer& c) {
    c.SetTransport(trpHTTP);
    const std::string path = RequestPath(c.HeadersRequest().front());
    const ConnectionPtr target = FindByGuid(ReplaceText(path, "/zor/xhr/", ""));
    if (!target) return CloseHTTPConnection(c);
    WhenBodyBuffered(s, c, [this, weakTarget = std::weak_ptr<TzorWSConnectionServer>(target)](
                               TzorWSConnectionServer& poster, const std::string& body) {
      if (auto t = weakTarget.lock()) owner.DoNotifyMessage(t.get(), body);
      poster.WriteHTTPResponseStream("", "text/html");
    });
  }

  // Runs `action` with the body that "Content-Length" announces once all of
  // it is buffered, then closes. A bad length closes at once; one above
  // MaxReadBufferSize is answered 413.
  void WhenBodyBuffered(TzorServerSocket& s, TzorWSConnectionServer& c,
                        std::function<void(TzorWSConnectionServer&, const std::string&)> action) {
    std::string length = HeaderValue(c.HeadersRequest(), "Content-Length");
    uint64_t size = 0;
    try {
      size = length.empty() ? 0 : std::stoull(length);
    } catch (const std::exception&) {
      return CloseHTTPConnection(c);
    }
    if (size > owner.FMaxReadBufferSize) {
      c.WriteHTTPStatus(413, "Payload Too Large");
      return CloseHTTPConnection(c);
    }
    auto deliver = [this, size, action = std::move(action)](TzorWSConnectionServer& conn) {
      if (conn.BufferedByteCount() < size) return false;
      std::string body;
      conn.TCPConnection()->ReadFromBuffer(body, static_cast<size_t>(size));
      try {
        action(conn, body);
      } catch (const std::exception& e) {
        owner.ReportError(&conn, e.what());
      }
      CloseHTTPConnection(conn);
      return true;
    };
    if (deliver(c)) return;
    std::weak_ptr<TzorWSConnectionServer> weak = std::static_pointer_cast<TzorWSConnectionServer>(c.shared_from_this());
    s.SetDataHandler([weak, deliver](TzorAsyncConnection&) {
      if (auto conn = weak.lock()) deliver(*conn);
    });
  }

  void UnknownProtocol(TzorServerSocket& s, TzorWSConnectionServer& c) {
    bool accept = false;
    if (owner.OnUnknownProtocol) owner.OnUnknownProtocol(&c, accept);
    if (!accept) return CloseHTTPConnection(c);
    c.SetTransport(trpTCP);
    c.EnableRaw();
    DoConnectionUpdate(&c, 1);
    std::weak_ptr<TzorWSConnectionServer> weak = std::static_pointer_cast<TzorWSConnectionServer>(c.shared_from_this());
    s.SetDataHandler([this, weak](TzorAsyncConnection&) {
      if (auto conn = weak.lock()) Read(*conn, false);
    });
    Read(c, false);
  }

  bool ServeResource(TzorWSConnectionServer& c, const std::string& requestLine, int streamId, bool notFound) {
    const TzorResourceMatch match = MatchResource(requestLine, ResourceOptions(), notFound);
    if (match.Kind == TzorResourceKind::rsNone) return false;
    if (c.Transport() == trpUndefined) c.SetTransport(trpHTTP);
    if (match.Kind == TzorResourceKind::rsFavicon) return true;
    if (match.Kind == TzorResourceKind::rsFlashMovie) {
      // There is no Flash movie to serve any more.
      c.WriteHTTPStatus(404, "Not Found");
      return true;
    }
    const std::string text = TzorWSHTTPResponse::GetResponseMessage(match.Names);
    if (text.empty()) {
      if (!notFound) return false;
      c.WriteHTTPStatus(404, "Not Found");
      return true;
    }
    const TzorPlaceholderValues values{c.LocalIP(), static_cast<uint16_t>(c.LocalPort()), c.ServerSSL(),
                                       c.IPVersion() == ipV6};
    c.WriteHTTPResponseStream(FillPlaceholders(text, values, match.ContentType == "text/html"), match.ContentType,
                              streamId);
    return true;
  }

  void CloseHTTPConnection(TzorWSConnectionServer& c) {
    if (c.TCPConnection()) c.TCPConnection()->Disconnect();
  }

  // --- connection state -----------------------------------------------------------

  void DoConnectionUpdate(TzorWSConnection* c, int value) {
    if (value != 1) return;
    const auto& specs = owner.Specifications();
    if ((c->Specification() == spRFC6455 && !specs.RFC6455()) ||
        (c->Specification() == spHixie76 && !specs.Drafts().Hixie76())) {
      c->DropConnection();
      return;
    }
    if (!c->Enabled() || c->IsInternal()) return;
    owner.DoNotifyConnect(c);
    owner.FLoadBalancer->ConnectionChanged(*c, true);
  }

  void Disconnected(const ConnectionPtr& c) {
    {
      std::lock_guard guard(lock);
      connections.erase(c.get());
    }
    if (!c->Enabled() || c->IsInternal()) return;
    owner.FLoadBalancer->ConnectionChanged(*c, false);
    owner.DoNotifyDisconnect(c.get());
  }
};

TzorWSHTTPServer::TzorWSHTTPServer()
    : FImpl(std::make_unique<Impl>(*this)), FLoadBalancer(std::make_unique<TzorWSServerLoadBalancer>(*this)) {
  FSessionList.OnSessionStart = [this](TzorHTTPSession& session) {
    if (OnSessionStart) OnSessionStart(session);
  };
  FSessionList.OnSessionEnd = [this](TzorHTTPSession& session) {
    if (OnSessionEnd) OnSessionEnd(session);
  };
  // The application sets the component's events; the authenticator raises them.
  FAuthenticator.OnAuthentication = [this](TzorWSConnection* c, const std::string& user, const std::string& password,
                                           bool& authenticated) {
    if (OnAuthentication) OnAuthentication(c, user, password, authenticated);
  };
  FAuthenticator.OnUnknownAuthentication = [this](TzorWSConnection* c, const std::string& type,
                                                  const std::string& data, std::string& user, std::string& password,
                                                  bool& authenticated) {
    if (OnUnknownAuthentication) OnUnknownAuthentication(c, type, data, user, password, authenticated);
  };
}

TzorWSHTTPServer::~TzorWSHTTPServer() {
  BeginDestroy();
  SetActive(false);
}

bool TzorWSHTTPServer::Active() const { return FImpl->engine != nullptr; }

void TzorWSHTTPServer::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    auto engine = std::make_unique<TzorServerEngine>(FThreadPoolSize);
    FImpl->port = engine->Listen(FAddress, FPort, FImpl->TLSContext(),
                                 [impl = FImpl.get()](TzorAsyncConnection& socket, TzorAsyncConnection::Handlers& h) {
                                   impl->Accept(socket, h);
                                 });
    FImpl->engine = std::move(engine);
    FLoadBalancer->Start();
    if (OnStartup) OnStartup(this);
  } else {
    FLoadBalancer->Stop();
    FImpl->engine->Stop();
    // Connections hold sockets and timers of the engine's event loop: they
    // go before the loop does.
    decltype(FImpl->connections) ended;
    {
      std::lock_guard guard(FImpl->lock);
      ended.swap(FImpl->connections);
    }
    ended.clear();
    FImpl->engine.reset();
    if (OnShutdown) OnShutdown(this);
  }
}

uint16_t TzorWSHTTPServer::ListeningPort() const { return FImpl->port; }

size_t TzorWSHTTPServer::ConnectionCount() const {
  std::lock_guard guard(FImpl->lock);
  return FImpl->connections.size();
}

bool TzorWSHTTPServer::AddSession(const std::string& aID, const std::string& aUser, const std::string& aPassword) {
  return FAuthenticator.Sessions().AddSession(aID, aUser, aPassword);
}

bool TzorWSHTTPServer::SessionExists(const std::string& aID) const {
  return const_cast<TzorWSServerAuthenticator&>(FAuthenticator).Sessions().SessionExists(aID);
}

void TzorWSHTTPServer::RemoveSession(const std::string& aID) { FAuthenticator.Sessions().RemoveSession(aID); }

void TzorWSHTTPServer::BroadCast(const std::string& aMessage) {
  for (const auto& c : FImpl->Snapshot()) {
    if (!c->Enabled() || c->Disconnected()) continue;
    try {
      c->WriteData(aMessage);
    } catch (const std::exception&) {
      // one client's failure does not stop the others
    }
  }
}

std::vector<std::shared_ptr<TzorWSConnectionServer>> TzorWSHTTPServer::Connections() const {
  return FImpl->Snapshot();
}

std::shared_ptr<TzorWSConnectionServer> TzorWSHTTPServer::ConnectionByGuid(const std::string& aGuid) const {
  return FImpl->FindByGuid(aGuid);
}

TzorWSLoadBalancerServer_Options& TzorWSHTTPServer::LoadBalancer() { return FLoadBalancer->Options(); }

TzorWSLoadBalancerClient& TzorWSHTTPServer::ClientLoadBalancer() { return FLoadBalancer->Client(); }

bool TzorWSHTTPServer::WriteData(const std::string& aGuid, const std::string& aText) {
  return FLoadBalancer->WriteData(aGuid, aText);
}

bool TzorWSHTTPServer::WriteData(const std::string& aGuid, TzorStringStream& aStream) {
  return FLoadBalancer->WriteData(aGuid, aStream);
}

bool TzorWSHTTPServer::Broadcast(const std::string& aText, const std::string& aChannel, const std::string& aProtocol,
                                 const std::string& Exclude, const std::string& Include) {
  return FLoadBalancer->Broadcast(aText, BroadcastFilter(aChannel, aProtocol, Exclude, Include));
}

bool TzorWSHTTPServer::Broadcast(TzorStringStream& aStream, const std::string& aChannel,
                                 const std::string& aProtocol, const std::string& Exclude, const std::string& Include) {
  return FLoadBalancer->Broadcast(aStream, BroadcastFilter(aChannel, aProtocol, Exclude, Include));
}

}  // namespace zor
