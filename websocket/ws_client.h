#pragma once
// The WebSocket client component: one connection at a time to a WebSocket
// (or, with the tcp schemes, a plain TCP) server, read by an IO thread of
// its own; TLS, proxies, traffic log and throttle, load-balancer choice,
// four ways to authenticate, heartbeat, watchdog and redirects.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "websocket/client_authentication.h"
#include "websocket/client_options.h"
#include "websocket/client_transport.h"
#include "websocket/heartbeat.h"
#include "websocket/ws_component.h"
#include "websocket/ws_connection_client.h"

namespace zor {

// What a TLS handler is built for.
enum TwsSSLHandler : uint8_t { sslClient, sslServer, sslSession, sslProxy, sslLoadBalancer };

// The WebSocket client component: one connection with its own IO thread.
class TzorWSClient : public TzorWSComponent {
 public:
  using TClientEvent = std::function<void(TzorWSClient* Sender)>;
  using THeartBeatEvent = std::function<void(TzorWSClient* Sender, TzorWSConnection* Connection, bool& Handled)>;
  using TWatchDogEvent = std::function<void(TzorWSClient* Sender, bool& Handled)>;
  using TErrorEvent = std::function<void(TzorWSClient* Sender, const std::string& Error)>;
  using TSSLGetHandlerEvent =
      std::function<void(TzorWSClient* Sender, TwsSSLHandler aType, std::shared_ptr<const TzorTLSContext>& aSSLHandler)>;
  using TSSLAfterCreateHandlerEvent = std::function<void(TzorWSClient* Sender, TwsSSLHandler aType,
                                                         const std::shared_ptr<const TzorTLSContext>& aSSLHandler)>;
  // Runs on the connection's thread during the TLS handshake, once for each
  // certificate of the server's chain; Accept starts as AOk.
  using TSSLVerifyPeerEvent = std::function<void(TzorWSClient* Sender, const TzorTLSCertificateInfo& Certificate,
                                                 bool AOk, int ADepth, int AError, bool& Accept)>;

  // Redirects followed one after another before the client gives up.
  static constexpr int kMaxRedirects = 10;
  // Connect and close wait this long when no time-out of their own is set.
  static constexpr int kDefaultConnectTimeout = 30000;
  static constexpr int kCloseTimeout = 5000;

  TzorWSClient();
  ~TzorWSClient() override;

  // ws, wss, tcp, tcps (and any other scheme, meaning ws); raises
  // TzorWSException "Invalid URL: ..." for text that is no URL.
  void SetURL(const std::string& aURL);
  const std::string& Host() const { return FHost; }
  void SetHost(const std::string& value);
  int32_t Port() const { return FPort; }
  void SetPort(int32_t value) { FPort = value; }
  bool TLS() const { return FTLS; }
  void SetTLS(bool value) { FTLS = value; }
  TzorWSTLS_Options& TLSOptions() { return FTLSOptions; }
  void SetTLSOptions(const TPersistent& value) { FTLSOptions.Assign(value); }

  const std::string& BoundIP() const { return FBoundIP; }
  void SetBoundIP(const std::string& value) { FBoundIP = value; }
  uint16_t BoundPort() const { return FBoundPort; }
  void SetBoundPort(uint16_t value) { FBoundPort = value; }
  uint16_t BoundPortMin() const { return FBoundPortMin; }
  void SetBoundPortMin(uint16_t value) { FBoundPortMin = value; }
  uint16_t BoundPortMax() const { return FBoundPortMax; }
  void SetBoundPortMax(uint16_t value) { FBoundPortMax = value; }
  // Milliseconds; 0 means kDefaultConnectTimeout.
  int32_t ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(int32_t value) { FConnectTimeout = value; }
  int32_t ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(int32_t value) { FReadTimeout = value; }
  int32_t WriteTimeout() const { return FWriteTimeout; }
  void SetWriteTimeout(int32_t value) { FWriteTimeout = value; }
  // Milliseconds from the TCP connection to the handshake answer.
  int32_t HandshakeTimeout() const { return FHandshakeTimeout; }
  void SetHandshakeTimeout(int32_t value) { FHandshakeTimeout = value; }
  TzorIPVersion IPVersion() const { return FIPVersion; }
  void SetIPVersion(TzorIPVersion value) { FIPVersion = value; }
  bool UseNagle() const { return FUseNagle; }
  void SetUseNagle(bool value) { FUseNagle = value; }
  int32_t LingerState() const { return FLingerState; }
  void SetLingerState(int32_t value) { FLingerState = value; }

  TzorWSOptionsClient& Options() { return FOptions; }
  void SetOptions(const TPersistent& value) { FOptions.Assign(value); }
  TzorWSQueueOptions& QueueOptions() { return FQueueOptions; }
  TzorWSProxy_Options& Proxy() { return FProxy; }
  TzorWSAuthenticationClient_Options& Authentication() { return FAuthentication; }
  TzorWSLoadBalancerClient_Options& LoadBalancer() { return FLoadBalancer; }
  TzorWSThrottle& Throttle() { return FThrottle; }
  // The connection is freed at the next disconnect, not at its own, when
  // events run on the IO thread (neNoSync).
  bool FreeConnectionOnDestroy() const { return NotifyEvents() == neNoSync; }

  // Connects (true) or disconnects (false). Failures are reported through
  // OnException and never leave this call.
  bool Active() const;
  void SetActive(bool value);
  // Activates and waits up to aTimeout ms for the handshake to succeed.
  bool Connect(int aTimeout);
  // Deactivates and waits up to aTimeout ms for the connection to be gone.
  bool Disconnect(int aTimeout);
  bool Connected() const;
  // Activate / deactivate from a thread of their own.
  void Start();
  void Stop();
  // The current connection, or none.
  std::shared_ptr<TzorWSConnectionClient> Connection() const;

  void WriteData(const std::string& aText, int aSize = 0, TwsStreaming aStreaming = stmNone);
  void WriteData(const TzorStringStream& aStream, int aSize = 0, TwsStreaming aStreaming = stmNone);
  std::string WriteAndWaitData(const std::string& aText, int aTimeout);
  // An empty text sends the local time as "yyyymmddhhnnsszzz".
  void Ping(const std::string& aText = {});
  bool Ping(int aTimeout, const std::string& aText = {});

  TClientEvent OnBeforeConnect;
  THeartBeatEvent OnBeforeHeartBeat;
  TWatchDogEvent OnBeforeWatchDog;
  TErrorEvent OnLoadBalancerError;
  TSSLGetHandlerEvent OnSSLGetHandler;
  TSSLAfterCreateHandlerEvent OnSSLAfterCreateHandler;
  TSSLVerifyPeerEvent OnSSLVerifyPeer;

 protected:
  // The connection's received data, taken over by subclasses (load-balancer link).
  virtual void OnClientMessageEvent(TzorWSConnection* aConnection, const std::string& aText);
  virtual void OnClientBinaryEvent(TzorWSConnection* aConnection, const TzorStringStream& aStream);
  virtual void OnClientFragmentedEvent(TzorWSConnection* aConnection, const TzorStringStream& aData, TOpcode aOpCode,
                                       bool aContinuation);
  // Stops the IO and helper threads (the destructor does): first thing in
  // the destructor of a subclass whose overrides those threads call, so
  // that none runs while the object is taken apart.
  void EndThreads();
  void DoEventConnect(TzorWSConnection* aConnection) override;
  void DoEventDisconnect(TzorWSConnection* aConnection, int aCloseCode) override;

  void DoHeartBeat() override;
  void DoHeartBeatTimeout() override;
  void DoWatchDog() override;

 private:
  struct Session;

  void ApplyURL(const std::string& aURL, bool fromRedirect);
  void Activate();
  void Deactivate();
  void CloseBounded(Session& session);
  // Waits, at most for the close time-out, for the server's answer to our close.
  void AwaitCloseAnswer(Session& session);
  std::string HTTPGet(const std::string& aURL);
  void ChooseServer();
  void RequestSession();
  bool StartTokenSource();
  void ConnectTCP();
  void TCPConnected(const std::shared_ptr<Session>& session);
  void ReadLoop(std::shared_ptr<Session> session);
  void ReadPass(Session& session);
  void TCPDisconnected(const std::shared_ptr<Session>& session);
  // Ends our close's wait for the server's answer when its time is up.
  void BoundCloseAnswer(std::weak_ptr<Session> weak);
  void Redirect(const std::string& aLocation);
  TzorSocketOptions SocketOptions();
  std::shared_ptr<Session> CurrentSession() const;
  void ReportActivationFailure(std::exception_ptr error);
  // Joins the IO threads of ended connections and the helper threads that
  // are done (`everything`: all of them), except the calling thread itself:
  // a thread never joins itself.
  void JoinEnded(bool everything = false);
  // Work that must not run on the calling thread (a reconnection asked for
  // by the IO thread, Start and Stop).
  void RunOnClientThread(std::function<void()> work);

  std::string FHost;
  std::string FAuthorizedHost;  // the host the application named: Basic credentials go only there
  int32_t FPort = 80;
  bool FTLS = false;
  TzorWSTLS_Options FTLSOptions;
  std::string FBoundIP;
  uint16_t FBoundPort = 0, FBoundPortMin = 0, FBoundPortMax = 0;
  int32_t FConnectTimeout = 0;
  int32_t FReadTimeout = -1;
  int32_t FWriteTimeout = 0;
  int32_t FHandshakeTimeout = 10000;
  TzorIPVersion FIPVersion = TzorIPVersion::ipV4;
  bool FUseNagle = false;
  int32_t FLingerState = -1;
  TzorWSOptionsClient FOptions;
  TzorWSQueueOptions FQueueOptions;
  TzorWSProxy_Options FProxy;
  TzorWSAuthenticationClient_Options FAuthentication;
  TzorWSLoadBalancerClient_Options FLoadBalancer;
  TzorWSThrottle FThrottle;

  bool basic_allowed_ = true;  // false after a redirect to another host than FAuthorizedHost

  TzorWSClientTransport transport_;
  mutable std::recursive_mutex activation_lock_;  // the component lock: one activation at a time
  mutable std::mutex session_lock_;               // session_, ended_, and waits on state_changed_
  std::condition_variable state_changed_;         // enabled, disconnected, activation failed
  std::shared_ptr<Session> session_;
  std::vector<std::shared_ptr<Session>> ended_;  // sessions whose IO thread is still to be joined
  std::mutex helpers_lock_;
  std::vector<std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>> helpers_;

  std::atomic<bool> FConnecting{false};
  std::atomic<bool> FDisconnecting{false};
  std::atomic<bool> FThreadStart{false};
  std::atomic<int> redirects_{0};

  std::mutex heartbeat_lock_;
  TzorHeartBeatState heartbeat_;
  TzorDateTime last_pong_seen_{};
};

}  // namespace zor
