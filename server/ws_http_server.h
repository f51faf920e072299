#pragma once
// The WebSocket and HTTP server component: it listens, gives every accepted
// socket a server connection, decides from the first bytes what the socket
// is (WebSocket upgrade of either draft, HTTP/2, session request, posted
// message, built-in file, Flash policy, server-sent events, plain HTTP or
// another protocol), authenticates upgrades and answers them, and then reads
// every open connection as its bytes arrive, on a pool of worker threads.
#include "net/tls_engine.h"
#include "server/http_server_request.h"
#include "server/http_forward.h"
#include "server/http_request_reader.h"
#include "server/http_session_list.h"
#include "server/http_uploads.h"
#include "server/server_authentication.h"
#include "server/server_options.h"
#include "server/ws_connection_server.h"
#include "server/ws_server_groups.h"
#include "websocket/lb_server_link.h"
#include "websocket/ws_component.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zor {

class TzorDocumentRootFiles;
class TzorWSServerLoadBalancer;
class TzorWSLoadBalancerClient;

// The WebSocket and HTTP server component.
class TzorWSHTTPServer : public TzorWSComponent {
 public:
  using TzorWSOnTCPConnect = std::function<void(TzorWSConnection* Connection, bool& Accept)>;
  using TzorWSUnknownProtocolEvent = std::function<void(TzorWSConnection* Connection, bool& Accept)>;
  using TzorWSOnSSLALPNSelect = std::function<void(TzorComponent_Base* Sender,
                                                   const std::vector<std::string>& aProtocols, std::string& aProtocol)>;
  using TSenderEvent = std::function<void(TzorComponent_Base* Sender)>;
  using TSenderErrorEvent = std::function<void(TzorComponent_Base* Sender, const std::string& Error)>;
  // An HTTP request for the application (HTTP/1.x or HTTP/2): the handler
  // fills the response, which the server then writes.
  // Before every application request when assigned: setting aForward's
  // Enabled passes the request on to aForward's URL + Document.
  using TzorWSOnBeforeForwardHTTP = std::function<void(
      TzorWSConnectionServer* Connection, TzorHTTPServerRequest& ARequestInfo, TzorWSServerForwardHTTP& aForward)>;
  // After a forwarded request: E is the failure, or null.
  using TzorWSOnAfterForwardHTTP =
      std::function<void(TzorWSConnectionServer* Connection, TzorHTTPServerRequest& ARequestInfo,
                         TzorHTTPServerResponse& AResponseInfo, std::exception_ptr E)>;
  // A plain HTTP/1.x request handed over whole: the head's lines and the
  // body. When assigned it takes every such request in place of the request
  // steps and OnCommandGet/OnCommandOther; the handler answers through the
  // connection's writers and the socket is closed afterwards.
  using THTTPRequestEvent = std::function<void(TzorWSConnectionServer* Connection,
                                               const std::vector<std::string>& aLines, const std::string& aBody)>;
  using TzorHTTPCommandEvent = std::function<void(TzorWSConnectionServer* Connection, TzorHTTPServerRequest& ARequestInfo,
                                                  TzorHTTPServerResponse& AResponseInfo)>;

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
  TzorWSHTTP2Server_Options& HTTP2Options() { return FHTTP2Options; }
  bool HTTP2Enabled() const { return FHTTP2Options.Enabled; }
  void SetHTTP2Enabled(bool value) { FHTTP2Options.Enabled = value; }

  // Application HTTP requests. Bounds of a request's head and body.
  TzorHTTPRequestLimits& HTTPLimits() { return FHTTPLimits; }
  // Files under this folder answer GET, HEAD and POST before OnCommandGet;
  // one trailing "/" or "\" is dropped when it is set, so that reading it
  // from the workers never writes.
  const std::string& DocumentRoot() const { return FDocumentRoot; }
  void SetDocumentRoot(const std::string& value);
  // The character set named with the document root's files.
  const std::string& Charset() const { return FCharset; }
  void SetCharset(const std::string& value) { FCharset = value; }
  // Whether an HTTP/1.x connection serves more than one request.
  bool KeepAlive() const { return FKeepAlive; }
  void SetKeepAlive(bool value) { FKeepAlive = value; }
  // ms without bytes after which an idle HTTP/1.x connection is closed; 0: never.
  int KeepAliveTimeOut() const { return FKeepAliveTimeOut; }
  void SetKeepAliveTimeOut(int value) { FKeepAliveTimeOut = value; }
  // Sessions of application requests, carried by the "ZORSESSIONID" cookie
  // (off by default). With AutoStartSession a request without one gets one.
  bool SessionState() const { return FSessionState; }
  void SetSessionState(bool value) { FSessionState = value; }
  bool AutoStartSession() const { return FAutoStartSession; }
  void SetAutoStartSession(bool value) { FAutoStartSession = value; }
  // ms a session lives unused; 20 minutes by default.
  void SetSessionTimeOut(int value) { FSessionList.SetTimeOut(std::chrono::milliseconds(value)); }
  TzorHTTPSessionList& SessionList() { return FSessionList; }
  // Starts a session for the request and sets its cookie on the response.
  void StartSession(TzorHTTPServerRequest& ARequestInfo, TzorHTTPServerResponse& AResponseInfo);
  // Multipart bodies saved as files.
  TzorHTTPUploadFilesServer& HTTPUploadFiles() { return FHTTPUploadFiles; }
  // Runs an application request through the server's steps in order
  // (forwarding, sessions, access checks, uploads, document root, OnCommandGet or OnCommandOther, the Alt-Svc line),
  // whichever protocol carried it; the response says what to answer.
  void DoCommandHTTP(TzorWSConnectionServer& Connection, TzorHTTPServerRequest& ARequestInfo,
                     TzorHTTPServerResponse& AResponseInfo);

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
  // Links pushed (HTTP/2 server push) with the answer to a GET of the path
  // (equal letter for letter), when the client takes pushes.
  void PushPromiseAddPreLoadLinks(const std::string& aPathMatch, const std::vector<std::string>& aLinks);
  void PushPromiseRemovePreLoadLinks(const std::string& aPathMatch);
  // Named groups of connections (made on first use); a connection leaves
  // them all when it goes.
  TzorWSServerGroups& Groups();

  // Before a heartbeat ping to a connection: Handled hands that
  // connection's heartbeat to the application for good (CustomHeartBeat).
  using TBeforeHeartBeatEvent =
      std::function<void(TzorComponent_Base* Sender, TzorWSConnection* Connection, bool& Handled)>;
  TBeforeHeartBeatEvent OnBeforeHeartBeat;
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
  TzorWSOnBeforeForwardHTTP OnBeforeForwardHTTP;
  TzorWSOnAfterForwardHTTP OnAfterForwardHTTP;
  // GET, HEAD and POST requests no earlier step answered.
  TzorHTTPCommandEvent OnCommandGet;
  // The other methods.
  TzorHTTPCommandEvent OnCommandOther;
  // A session is about to be started automatically; Create false prevents it.
  std::function<void(TzorWSConnectionServer* Connection, TzorHTTPServerRequest& ARequestInfo, bool& Create)>
      OnCreateSession;
  // The request's session cookie names no live session; ContinueProcessing
  // false ends the request with the response as the handler left it.
  std::function<void(TzorWSConnectionServer* Connection, TzorHTTPServerRequest& ARequestInfo,
                     TzorHTTPServerResponse& AResponseInfo, bool& ContinueProcessing,
                     const std::string& InvalidSessionID)>
      OnInvalidSession;
  TzorHTTPSessionList::TSessionEvent OnSessionStart;
  TzorHTTPSessionList::TSessionEvent OnSessionEnd;
  std::function<void(TzorComponent_Base* Sender, std::string& aFileName, std::string& aFilePath)>
      OnHTTPUploadBeforeSaveFile;
  std::function<void(TzorComponent_Base* Sender, const std::string& aFileName, const std::string& aFilePath)>
      OnHTTPUploadAfterSaveFile;
  std::function<void(TzorComponent_Base* Sender, const std::string& aName, const std::string& aValue)>
      OnHTTPUploadReadInput;

 protected:
  // Every HeartBeat.Interval: a ping to each open connection whose heartbeat
  // the application has not taken; every HeartBeat.Timeout: a connection
  // whose pings went unanswered that long is reported and dropped.
  void DoHeartBeat() override;
  void DoHeartBeatTimeout() override;

 private:
  struct Impl;
  friend struct Impl;
  // The groups when they were made, else null.
  TzorWSServerGroups* ExistingGroups();
  // The access check of an application request; false when it was refused
  // (the response holds the 401).
  bool CheckHTTPAccess(TzorWSConnectionServer& Connection, const TzorHTTPServerRequest& ARequestInfo,
                       TzorHTTPServerResponse& AResponseInfo);
  // True when the request was forwarded (the response holds the answer).
  bool ForwardHTTP(TzorWSConnectionServer& Connection, TzorHTTPServerRequest& ARequestInfo,
                   TzorHTTPServerResponse& AResponseInfo);
  // False when an invalid session ended the request.
  bool ApplySession(TzorWSConnectionServer& Connection, TzorHTTPServerRequest& ARequestInfo,
                    TzorHTTPServerResponse& AResponseInfo);
  void SaveUploads(TzorHTTPServerRequest& ARequestInfo);
  bool ServeDocumentRoot(const TzorHTTPServerRequest& ARequestInfo, TzorHTTPServerResponse& AResponseInfo);

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
  TzorWSHTTP2Server_Options FHTTP2Options;
  TzorHTTPRequestLimits FHTTPLimits;
  std::string FDocumentRoot;
  std::unique_ptr<TzorDocumentRootFiles> FDocumentRootFiles;
  std::string FCharset;
  bool FKeepAlive = true;
  int FKeepAliveTimeOut = 60000;
  bool FSessionState = false;
  bool FAutoStartSession = false;
  TzorHTTPSessionList FSessionList;
  TzorHTTPUploadFilesServer FHTTPUploadFiles;
  TzorWSServerAuthenticator FAuthenticator{FAuthentication};
  std::mutex FGroupsLock;
  std::unique_ptr<TzorWSServerGroups> FGroups;
  std::unique_ptr<Impl> FImpl;
  // After FImpl: the link's read thread delivers to the connections.
  std::unique_ptr<TzorWSServerLoadBalancer> FLoadBalancer;
};

}  // namespace zor
