#pragma once
// The WebSocket and HTTP server component: it listens, gives every accepted
// socket a server connection, decides from the first bytes what the socket
// is (WebSocket upgrade of either draft, HTTP/2, session request, posted
// message, built-in file, Flash policy, server-sent events, plain HTTP or
// another protocol), authenticates upgrades and answers them, and then reads
// every open connection as its bytes arrive, on a pool of worker threads.
#include "net/tls_engine.h"
#include "server/server_authentication.h"
#include "server/server_options.h"
#include "server/ws_connection_server.h"
#include "websocket/lb_server_link.h"
#include "websocket/ws_component.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zor {

class TzorWSServerLoadBalancer;
class TzorWSLoadBalancerClient;

class TzorWSHTTPServer : public TzorWSComponent {
 public:
  using TzorWSOnTCPConnect = std::function<void(TzorWSConnection* Connection, bool& Accept)>;
  using TzorWSUnknownProtocolEvent = std::function<void(TzorWSConnection* Connection, bool& Accept)>;
  using TzorWSOnSSLALPNSelect = std::function<void(TzorComponent_Base* Sender,
                                                   const std::vector<std::string>& aProtocols, std::string& aProtocol)>;
  using TSenderEvent = std::function<void(TzorComponent_Base* Sender)>;
  using TSenderErrorEvent = std::function<void(TzorComponent_Base* Sender, const std::string& Error)>;
  // A plain HTTP/1.x request for the application: the head's lines and the
  // bytes that followed it. The handler answers through the connection's
  // writers; the socket is closed afterwards.
  using THTTPRequestEvent = std::function<void(TzorWSConnectionServer* Connection,
                                               const std::vector<std::string>& aLines, const std::string& aBody)>;

  TzorWSHTTPServer();
  ~TzorWSHTTPServer() override;

  TzorWSOptionsServer& Options() { return FOptions; }
  TzorWSSecurity_Options& SecurityOptions() { return FSecurityOptions; }
  TzorWSAuthenticationServer_Options& Authentication() { return FAuthentication; }
  TzorWSFallBack_Options& FallBack() { return FFallBack; }
  // The server's TLS settings (certificate and key); used when SSL is set.
  TzorTLSSettings& SSLOptions() { return FSSLOptions; }

  uint16_t Port() const { return FPort; }
  void SetPort(uint16_t value) { FPort = value; }
  // The address to listen on ("0.0.0.0", "::", "127.0.0.1").
  const std::string& Address() const { return FAddress; }
  void SetAddress(const std::string& value) { FAddress = value; }
  uint64_t MaxReadBufferSize() const { return FMaxReadBufferSize; }
  void SetMaxReadBufferSize(uint64_t value) { FMaxReadBufferSize = value; }
  bool SSL() const { return FSSL; }
  void SetSSL(bool value) { FSSL = value; }
  int ReadEmptySource() const { return FReadEmptySource; }
  void SetReadEmptySource(int value) { FReadEmptySource = value; }
  // Worker threads of the engine; 0: one per processor.
  unsigned ThreadPoolSize() const { return FThreadPoolSize; }
  void SetThreadPoolSize(unsigned value) { FThreadPoolSize = value; }
  bool HTTP2Enabled() const { return FHTTP2Enabled; }
  void SetHTTP2Enabled(bool value) { FHTTP2Enabled = value; }

  // Starts listening (raising OnStartup) or stops (closing every connection,
  // then OnShutdown).
  bool Active() const;
  void SetActive(bool value);
  // The port actually listened on (Port 0 picks a free one).
  uint16_t ListeningPort() const;
  size_t ConnectionCount() const;

  // Sessions (one login each) and the authentication of upgrades.
  TzorWSServerAuthenticator& Authenticator() { return FAuthenticator; }
  bool AddSession(const std::string& aID, const std::string& aUser, const std::string& aPassword);
  bool SessionExists(const std::string& aID) const;
  void RemoveSession(const std::string& aID);

  // Sends the text to every open WebSocket connection; failures of single
  // connections are ignored.
  void BroadCast(const std::string& aMessage);

  // Every connection held, and the open one with that guid (or none).
  std::vector<std::shared_ptr<TzorWSConnectionServer>> Connections() const;
  std::shared_ptr<TzorWSConnectionServer> ConnectionByGuid(const std::string& aGuid) const;

  // The link to a load balancer, kept while the server is active and
  // LoadBalancer().Enabled() (server/server_load_balancer.h).
  TzorWSLoadBalancerServer_Options& LoadBalancer();
  // The link client, made on first use.
  TzorWSLoadBalancerClient& ClientLoadBalancer();
  // To the connection with that guid: this server's own, or, with the link
  // enabled, over the link. False (and OnLoadBalancerError) when it went
  // nowhere.
  bool WriteData(const std::string& aGuid, const std::string& aText);
  bool WriteData(const std::string& aGuid, TzorStringStream& aStream);
  // With the link enabled, over the link only (the balancer sends it back to
  // every server, this one included); otherwise to this server's own
  // connections. Channel: the subscribed connections only; protocol: those
  // speaking it; include and exclude: comma-separated guids.
  bool Broadcast(const std::string& aText, const std::string& aChannel, const std::string& aProtocol,
                 const std::string& Exclude, const std::string& Include);
  bool Broadcast(TzorStringStream& aStream, const std::string& aChannel, const std::string& aProtocol,
                 const std::string& Exclude, const std::string& Include);

  TzorWSOnTCPConnect OnTCPConnect;
  TzorWSUnknownProtocolEvent OnUnknownProtocol;
  TzorWSOnSSLALPNSelect OnSSLALPNSelect;
  TSenderEvent OnStartup;
  TSenderEvent OnShutdown;
  TzorWSAuthenticationEvent OnAuthentication;
  TzorWSUnknownAuthenticationEvent OnUnknownAuthentication;
  THTTPRequestEvent OnHTTPRequest;
  TSenderEvent OnLoadBalancerConnect;
  TSenderEvent OnLoadBalancerDisconnect;
  TSenderErrorEvent OnLoadBalancerError;

 private:
  struct Impl;
  friend struct Impl;

  TzorWSOptionsServer FOptions;
  TzorWSSecurity_Options FSecurityOptions;
  TzorWSAuthenticationServer_Options FAuthentication;
  TzorWSFallBack_Options FFallBack;
  TzorTLSSettings FSSLOptions;
  uint16_t FPort = 80;
  std::string FAddress = "0.0.0.0";
  uint64_t FMaxReadBufferSize = 1024000;
  bool FSSL = false;
  int FReadEmptySource = 0;
  unsigned FThreadPoolSize = 0;
  bool FHTTP2Enabled = false;
  TzorWSServerAuthenticator FAuthenticator{FAuthentication};
  std::unique_ptr<Impl> FImpl;
  // After FImpl: the link's read thread delivers to the connections.
  std::unique_ptr<TzorWSServerLoadBalancer> FLoadBalancer;
};

}  // namespace zor
