#pragma once
// The server's side of one accepted socket: the WebSocket connection that
// answers the upgrade request it was given (subprotocol, origin, extensions,
// either draft, or an extended CONNECT of HTTP/2), holds the authentication
// outcome and writes the server's fixed HTTP answers. On an HTTP/2
// connection it carries the HTTP/2 session, and the WebSocket streams of the
// session are connections of their own.
#include "server/handshake_server.h"
#include "server/server_authentication.h"
#include "websocket/ws_connection.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zor {

class TzorHTTP2Session;
class TzorHTTP2StreamTransport;
class TzorWSHTTP2Server_Options;

// One accepted socket of the server: classified, upgraded, then read as bytes arrive.
class TzorWSConnectionServer : public TzorWSConnection {
 public:
  TzorWSConnectionServer();
  ~TzorWSConnectionServer() override;

  const std::string& ServerOriginsAllowed() const { return FServerOriginsAllowed; }
  void SetServerOriginsAllowed(const std::string& value) { FServerOriginsAllowed = value; }
  bool ServerSSL() const { return FServerSSL; }
  void SetServerSSL(bool value) { FServerSSL = value; }
  bool CustomHeartBeat() const { return FCustomHeartBeat; }
  void SetCustomHeartBeat(bool value) { FCustomHeartBeat = value; }
  // When the server's heartbeat began to wait for a pong (the first ping
  // after the last pong).
  TzorDateTime HeartBeatWaitingSince() const { return FHeartBeatWaitingSince; }
  void SetHeartBeatWaitingSince(TzorDateTime value) { FHeartBeatWaitingSince = value; }
  // The upgrade request as read; null before it.
  const TzorWSHandShakeServer* HandShake() const { return FHandshake.get(); }

  TzorWSConnectionAuthState& AuthState() { return FAuth; }
  TzorWSConnectionAuthentication& Authentication() { return FAuth.Authentication(); }
  TzorWSAuthenticationEvent& OnAuthentication() { return FAuth.OnAuthentication; }
  void SetAuthenticationCloseCode(int aCloseCode) { FAuth.SetAuthenticationCloseCode(aCloseCode); }

  // The server's Alt-Svc line ("Alt-Svc: h2=...") when it announces HTTP/2.
  const std::string& AltSvc() const { return FAltSvc; }
  void SetAltSvc(const std::string& value) { FAltSvc = value; }

  // Opens the connection without a handshake (another protocol the
  // application accepted, an event stream).
  void EnableRaw() { SetEnabled(true); }

  // A 200 answer with the text as body.
  void SendResponseHTTP(const std::string& aContent, const std::string& aContentType);
  // The fixed answers. On HTTP/2 they answer the stream given, or with 0 the
  // request being handled (HTTP2RequestStream).
  virtual void WriteHTTPResponseStream(std::string_view aStream, const std::string& aContentType, int aStreamId = 0,
                                       const std::vector<std::string>& aHeaders = {});
  virtual void WriteHTTPStatus(int aCode, const std::string& aText, const std::vector<std::string>& aHeaders = {},
                               int aStreamId = 0);
  virtual void WriteHTTPRedirect(const std::string& aURL, const std::vector<std::string>& aHeaders = {},
                                 int aStreamId = 0);

  // --- HTTP/2 ------------------------------------------------------------------
  // Makes this an HTTP/2 connection (the preface is already read): a session
  // announcing the options' settings, whose bytes go to this connection's
  // transport and whose GOAWAY closes it. This side's SETTINGS go out and the
  // connection is enabled. The caller sets the session's request event.
  TzorHTTP2Session& StartHTTP2(const TzorWSHTTP2Server_Options& options);
  // Null until StartHTTP2.
  TzorHTTP2Session* HTTP2Session() const;
  // The request being handled on the reading thread: the answer writers
  // use its stream when given none, and a 200 answer to it pushes its links.
  struct THTTP2Request {
    int32_t Stream = 0;
    std::string Authority;
    std::vector<std::string> PushLinks;
  };
  const THTTP2Request& HTTP2Request() const;
  void SetHTTP2Request(THTTP2Request request);
  // The transport of a WebSocket on one of this connection's extended
  // CONNECT streams; the stream's DATA goes to it until it ends.
  std::shared_ptr<TzorHTTP2StreamTransport> OpenHTTP2Tunnel(int32_t stream);
  void RemoveHTTP2Tunnel(int32_t stream);
  // Ends every tunnel: this connection is gone.
  void CloseHTTP2Tunnels();

 protected:
  // Reads HeadersRequest (and a draft-76 client's eight key bytes from the
  // transport), checks it and writes the answer; then the connection is
  // enabled.
  void ReadHandshakeResponse() override;
  virtual void CheckOrigin();
  virtual void DecodeExtensions();
  void ReadHTTP2Data(std::string_view bytes) override;
  void WriteHTTP2Ping(const std::string& aText) override;
  void CloseHTTP2(int aCloseCode) override;

 private:
  struct HTTP2Side;
  // The answer to an upgrade that came as an extended CONNECT stream.
  void AcceptTunnel(const std::vector<std::string>& extensionLines);
  // Enabled; the authentication's close code, when set, closes it at once.
  void HandshakeAnswered();
  // The session's stream for an answer writer's stream argument.
  int32_t AnswerStream(int aStreamId) const;
  // WriteHTTPResponseStream on HTTP/2, with the request's push links.
  void SendHTTP2Answer(std::string_view aStream, const std::string& aContentType, int aStreamId,
                       const std::vector<std::string>& aHeaders);

  std::string FServerOriginsAllowed;
  bool FServerSSL = false;
  std::atomic<bool> FCustomHeartBeat = false;
  std::atomic<TzorDateTime> FHeartBeatWaitingSince{};
  std::unique_ptr<TzorWSHandShakeServer> FHandshake;
  TzorWSConnectionAuthState FAuth;
  std::string FAltSvc;
  std::unique_ptr<HTTP2Side> FHTTP2;  // made by StartHTTP2
};

}  // namespace zor
