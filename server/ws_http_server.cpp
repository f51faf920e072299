#include "server/ws_http_server.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <unordered_map>

#include "base/format.h"
#include "base/text.h"
#include "http2/session.h"
#include "net/openssl_engine.h"
#include "server/builtin_resources.h"
#include "server/document_root.h"
#include "server/http2_request_lines.h"
#include "server/http2_server_request.h"
#include "server/http2_stream_transport.h"
#include "server/http1_request_loop.h"
#include "server/http_answers.h"
#include "server/server_engine.h"
#include "server/server_load_balancer.h"
#include "server/server_socket.h"
#include "server/server_transport.h"
#include "websocket/server_sent_event.h"

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
  std::mutex pushLock;
  // Held by a heartbeat tick for its whole run: the connections it holds go
  // before the event loop they live on (stopping the timer does not wait).
  std::mutex heartBeatLock;
  bool heartBeats = false;
  TzorHTTP2PushPromiseList pushPromises;

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
    s.Classifier.HTTP2Enabled = owner.FHTTP2Options.Enabled;
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
      if (owner.FHTTP2Options.Enabled && std::find(offered.begin(), offered.end(), "h2") != offered.end()) {
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
    const TzorWSHTTP2Server_Options& http2 = owner.FHTTP2Options;
    if (owner.FSSL && http2.Enabled && http2.AltSvc.Enabled)
      // The port this connection came in on: the listening port is stored
      // only after the engine has begun to accept.
      c.SetAltSvc("Alt-Svc: h2=\":" + std::to_string(c.LocalPort()) + "\"");
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
        case rkProtocolPost:
          return Post(s, c);
        case rkServerSentEvents:
          return ServerSentEvents(s, c);
        case rkHTTP2:
          return StartHTTP2(s, c);
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

  // Authenticates the upgrade request in HeadersRequest and answers it.
  void Handshake(TzorWSConnectionServer& c) {
    try {
      owner.FAuthenticator.AuthenticateUpgrade(&c, c.AuthState(), c.HeadersRequest());
    } catch (...) {
      c.ClearInput();
      throw;
    }
    if (c.AuthState().Internal) c.SetIsInternal(true);
    c.ReadFrames(true);  // the handshake answer
  }

  // A close of ours (a refused login's among them) waits for the peer's
  // answer; a timer of the socket that carries the connection ends a wait
  // that stays unanswered.
  static void BoundCloseAnswers(TzorWSConnectionServer& c, TzorAsyncConnection& socket) {
    std::weak_ptr<TzorWSConnectionServer> weak = std::static_pointer_cast<TzorWSConnectionServer>(c.shared_from_this());
    c.OnAwaitCloseAnswer = [weak, socket = std::weak_ptr(socket.shared_from_this())](TzorWSConnection* self) {
      if (auto carrier = socket.lock())
        carrier->RunAfter(self->CloseTimeOut(), [weak] {
          if (auto conn = weak.lock()) conn->CheckCloseAnswer();
        });
    };
  }

  void Upgrade(TzorServerSocket& s, TzorWSConnectionServer& c) {
    std::weak_ptr<TzorWSConnectionServer> weak = std::static_pointer_cast<TzorWSConnectionServer>(c.shared_from_this());
    BoundCloseAnswers(c, s.Connection());
    Handshake(c);
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

  // An HTTP/2 request for the application: the server's steps, as for
  // HTTP/1.x, and the answer on its stream with the request's push links.
  void HandOverHTTP2Request(TzorWSConnectionServer& c, const TzorHTTP2_HeaderList& headers,
                            std::span<const uint8_t> body) {
    TzorHTTPServerRequest request = HTTP2ServerRequest(headers, body);
    TzorHTTPServerResponse response;
    try {
      owner.DoCommandHTTP(c, request, response);
    } catch (const std::exception& e) {
      response = HandlerFailed(c, e.what());
    } catch (...) {
      // Not a std::exception: it would otherwise end the worker thread.
      response = HandlerFailed(c, "Unknown exception");
    }
    TzorHTTP2ResponseInfo answer = HTTP2ResponseInfo(std::move(response));
    const auto& current = c.HTTP2Request();
    c.HTTP2Session()->SendHTTP2Response(current.Authority, answer, 0, current.Stream,
                                        current.PushLinks.empty() ? nullptr : &current.PushLinks);
  }

  // A handler's failure ends its request with a 500, not the connection.
  TzorHTTPServerResponse HandlerFailed(TzorWSConnectionServer& c, const std::string& message) {
    ReportKeepingConnection(&c, message);
    TzorHTTPServerResponse failed;
    failed.SetStatus(500);
    failed.ContentType = "text/plain";
    failed.ContentText = "Internal Server Error";
    return failed;
  }

  // --- HTTP/2 -------------------------------------------------------------------

  void StartHTTP2(TzorServerSocket& s, TzorWSConnectionServer& c) {
    const TzorWSHTTP2Server_Options& options = owner.FHTTP2Options;
    c.SetNotifyConnection(options.Events.OnConnect);
    c.SetNotifyDisconnection(options.Events.OnDisconnect);
    TzorHTTP2Session& session = c.StartHTTP2(options);
    session.OnHTTP2Request = [this, &c](TzorHTTP2Session&, const TzorHTTP2_HeaderList& headers,
                                        std::span<const uint8_t> body, int32_t request, int32_t push,
                                        TzorStringStream*) { HandleHTTP2Request(c, headers, body, request, push); };
    std::weak_ptr<TzorWSConnectionServer> weak = std::static_pointer_cast<TzorWSConnectionServer>(c.shared_from_this());
    s.SetDataHandler([this, weak](TzorAsyncConnection&) {
      if (auto conn = weak.lock()) Read(*conn, true);
    });
    if (c.BufferedByteCount() > 0) Read(c, true);
  }

  // One request of an HTTP/2 connection: a WebSocket stream, a built-in
  // file, a posted message or a request for the application.
  void HandleHTTP2Request(TzorWSConnectionServer& c, const TzorHTTP2_HeaderList& headers,
                          std::span<const uint8_t> body, int32_t request, int32_t push) {
    if (IsWebSocketConnect(headers)) return OpenTunnel(c, request, headers);
    const int32_t stream = push > 0 ? push : request;
    const std::string path(headers.Find(":path").value_or(""));
    TzorWSConnectionServer::THTTP2Request answering{stream, std::string(headers.Find(":authority").value_or("")), {}};
    if (headers.Find(":method") == "GET" && push == 0) answering.PushLinks = PushLinks(path);
    c.SetHTTP2Request(std::move(answering));
    struct Done {
      TzorWSConnectionServer& c;
      ~Done() { c.SetHTTP2Request({}); }
    } done{c};
    const std::string_view method = headers.Find(":method").value_or("");
    if (method == "CONNECT")
      c.WriteHTTPStatus(501, "Not Implemented");
    else if (method == "POST" && (MatchMask(path, "*/zor/xhr/*") || MatchMask(path, "*/zor/protocol/*")))
      PostOnStream(c, HTTP2RequestLines(headers), path, std::string(reinterpret_cast<const char*>(body.data()), body.size()));
    else if (!ServeResource(c, HTTP2RequestLine(headers), stream, false))
      HandOverHTTP2Request(c, headers, body);
    // Nothing else answers it: the stream must not hang.
    TzorHTTP2Session& session = *c.HTTP2Session();
    if (session.AwaitsAnswer(stream)) session.ResetHTTP2Stream(stream, h2erINTERNAL_ERROR);
  }

  std::vector<std::string> PushLinks(const std::string& path) {
    std::lock_guard guard(pushLock);
    const std::vector<std::string>* links = pushPromises.GetPushPromiseLinks(path);
    return links ? *links : std::vector<std::string>();
  }

  // A posted message on an HTTP/2 stream, authenticated by its own fields:
  // a refusal answers 401 on the stream and the connection goes on.
  void PostOnStream(TzorWSConnectionServer& c, const std::vector<std::string>& lines, const std::string& path,
                    const std::string& body) {
    TzorWSConnectionAuthState state;
    state.OnAuthentication = c.AuthState().OnAuthentication;
    try {
      owner.FAuthenticator.AuthenticateUpgrade(&c, state, lines);
    } catch (const TzorWSException&) {
      return c.WriteHTTPStatus(401, "Unauthorized");
    }
    AnswerPost(c, path, body);
  }

  // An extended CONNECT: the stream becomes a WebSocket connection of its own.
  void OpenTunnel(TzorWSConnectionServer& carrier, int32_t stream, const TzorHTTP2_HeaderList& headers) {
    auto transport = carrier.OpenHTTP2Tunnel(stream);
    auto tunnel = std::make_shared<TzorWSConnectionServer>();
    tunnel->AttachTransport(transport);
    Configure(*tunnel);
    tunnel->SetTransport(trpRFC8441);
    tunnel->HeadersRequest() = WebSocketConnectLines(headers);
    {
      std::lock_guard guard(lock);
      connections.emplace(tunnel.get(), tunnel);
    }
    std::weak_ptr<TzorWSConnectionServer> weak = tunnel;
    transport->OnData = [this, weak] {
      if (auto conn = weak.lock()) Read(*conn, true);
    };
    transport->OnClosed = [this, weak] {
      if (auto conn = weak.lock()) Disconnected(conn);
    };
    if (auto socket = std::dynamic_pointer_cast<TzorServerTransport>(carrier.TCPConnection()))
      BoundCloseAnswers(*tunnel, socket->Socket());
    try {
      Handshake(*tunnel);
    } catch (const std::exception& e) {
      tunnel->HeadersRequest().clear();
      owner.ReportError(tunnel.get(), e.what());
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

  // A POST under /zor/xhr/ or /zor/protocol/: authenticated like an
  // upgrade, its body (Content-Length bytes, bounded) read, then answered.
  void Post(TzorServerSocket& s, TzorWSConnectionServer& c) {
    c.SetTransport(trpHTTP);
    owner.FAuthenticator.AuthenticateUpgrade(&c, c.AuthState(), c.HeadersRequest());
    WhenBodyBuffered(s, c, [this](TzorWSConnectionServer& poster, const std::string& body) {
      AnswerPost(poster, RequestPath(poster.HeadersRequest().front()), body);
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

  // A posted message, from HTTP/1.x or an HTTP/2 stream: for the connection
  // whose Guid the path names (XHR), or for the subprotocol component it
  // names. An unknown target gets no answer.
  void AnswerPost(TzorWSConnectionServer& c, const std::string& path, const std::string& body) {
    if (ContainsText(path, "/zor/xhr/")) {
      const ConnectionPtr target = FindByGuid(ReplaceText(path, "/zor/xhr/", ""));
      if (!target) return;
      owner.DoNotifyMessage(target.get(), body);
      return c.WriteHTTPResponseStream("", "text/html");
    }
    const std::string rest = ReplaceText(path, "/zor/protocol/", "");
    const size_t slash = rest.find('/');
    TzorWSProtocol* protocol = owner.FindProtocol(rest.substr(0, slash));
    if (!protocol) return;
    std::string answer;
    protocol->DoHTTPRequest(&c, slash == std::string::npos ? std::string() : rest.substr(slash + 1), answer, body);
    c.WriteHTTPResponseStream(answer, "text/html");
  }

  // A subscription to server-sent events: the connection stays open and
  // every message written to it goes out as an event.
  void ServerSentEvents(TzorServerSocket& s, TzorWSConnectionServer& c) {
    c.SetTransport(trpSSE);
    const auto& options = owner.FFallBack.ServerSentEvents;
    if (!options.Enabled) return CloseHTTPConnection(c);
    owner.FAuthenticator.AuthenticateUpgrade(&c, c.AuthState(), c.HeadersRequest());
    c.SetProtocol(SelectProtocolFromURL(RequestPath(c.HeadersRequest().front())));
    c.ClearInput();
    std::weak_ptr<TzorWSConnectionServer> weak = std::static_pointer_cast<TzorWSConnectionServer>(c.shared_from_this());
    // The subscriber sends nothing more that means anything.
    s.SetDataHandler([weak](TzorAsyncConnection&) {
      if (auto conn = weak.lock()) conn->ClearInput();
    });
    // The answer's head opens the stream; the first events give the reconnect
    // delay and name the connection for its posts. It is open (found by its
    // guid) before the guid leaves, and other writers wait for the head.
    const std::string guid = c.Guid();
    TzorWriteBufferScope scope(*c.TCPConnection());
    c.TCPConnection()->Write(HTTPResponseStreamHead("text/event-stream", c.AltSvc(), {}) + "retry: " +
                             std::to_string(static_cast<int64_t>(options.Retry) * 1000) + "\n\n" + "id: " + guid +
                             "\n\n" + ServerSentEvent(guid));
    c.EnableRaw();
    scope.End();
    DoConnectionUpdate(&c, 1);
  }

  // The first registered subprotocol name found in the path, else empty.
  std::string SelectProtocolFromURL(const std::string& path) const {
    for (const std::string& name : SplitText(owner.RegisteredProtocols(), ','))
      if (!name.empty() && ContainsText(path, name)) return name;
    return {};
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
    c->CloseHTTP2Tunnels();
    if (TzorWSServerGroups* groups = owner.ExistingGroups()) groups->Remove(c.get());
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
    : FDocumentRootFiles(std::make_unique<TzorDocumentRootFiles>()),
      FImpl(std::make_unique<Impl>(*this)),
      FLoadBalancer(std::make_unique<TzorWSServerLoadBalancer>(*this)) {
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
    {
      std::lock_guard guard(FImpl->heartBeatLock);
      FImpl->heartBeats = true;
    }
    StartHeartBeat();
    if (OnStartup) OnStartup(this);
  } else {
    FLoadBalancer->Stop();
    {
      std::lock_guard guard(FImpl->heartBeatLock);
      FImpl->heartBeats = false;
    }
    StopHeartBeat();
    StopHeartBeatTimeout();
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

void TzorWSHTTPServer::DoHeartBeat() {
  std::lock_guard guard(FImpl->heartBeatLock);
  if (Destroying() || !FImpl->heartBeats) return;
  const auto now = std::chrono::system_clock::now();
  for (const auto& c : FImpl->Snapshot()) {
    if (!c->Enabled() || c->Disconnected() || c->IsInternal() || c->CustomHeartBeat()) continue;
    bool handled = false;
    if (OnBeforeHeartBeat) OnBeforeHeartBeat(this, c.get(), handled);
    if (handled) {
      c->SetCustomHeartBeat(true);
      continue;
    }
    if (c->LastPong() >= c->LastPing()) c->SetHeartBeatWaitingSince(now);
    try {
      c->Ping("");
    } catch (const std::exception&) {
      // A connection that cannot be written to ends by its own path.
    }
  }
  StartHeartBeatTimeout();
}

void TzorWSHTTPServer::DoHeartBeatTimeout() {
  std::lock_guard guard(FImpl->heartBeatLock);
  if (Destroying() || !FImpl->heartBeats) return;
  const auto now = std::chrono::system_clock::now();
  const auto timeout = std::chrono::seconds(HeartBeat().Timeout());
  for (const auto& c : FImpl->Snapshot()) {
    // Only WebSocket framing carries pongs back; event streams, raw TCP and
    // the HTTP/2 connection itself have none to wait for.
    const bool answers = c->Transport() == trpRFC6455 || c->Transport() == trpRFC8441;
    if (!answers || !c->Enabled() || c->Disconnected() || c->CustomHeartBeat() || c->LastPong() >= c->LastPing())
      continue;
    if (now - c->HeartBeatWaitingSince() >= timeout) ReportException(c.get(), "HeartBeat Timeout exceeded.", nullptr);
  }
}

void TzorWSHTTPServer::PushPromiseAddPreLoadLinks(const std::string& aPathMatch, const std::vector<std::string>& aLinks) {
  std::lock_guard guard(FImpl->pushLock);
  FImpl->pushPromises.AddPushPromise(aPathMatch, aLinks);
}

void TzorWSHTTPServer::PushPromiseRemovePreLoadLinks(const std::string& aPathMatch) {
  std::lock_guard guard(FImpl->pushLock);
  FImpl->pushPromises.RemovePushPromise(aPathMatch);
}

TzorWSServerGroups& TzorWSHTTPServer::Groups() {
  std::lock_guard guard(FGroupsLock);
  if (!FGroups) FGroups = std::make_unique<TzorWSServerGroups>();
  return *FGroups;
}

TzorWSServerGroups* TzorWSHTTPServer::ExistingGroups() {
  std::lock_guard guard(FGroupsLock);
  return FGroups.get();
}

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
