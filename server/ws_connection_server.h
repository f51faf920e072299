#pragma once
// The server's side of one accepted socket: the WebSocket connection that
// answers the upgrade request it was given (subprotocol, origin, extensions,
// either draft), holds the authentication outcome and writes the server's
// fixed HTTP answers.
#include "server/handshake_server.h"
#include "server/server_authentication.h"
#include "websocket/ws_connection.h"

#include <memory>
#include <string>
#include <vector>

namespace zor {

// One accepted socket of the server: classified, upgraded, then read as bytes arrive.
class TzorWSConnectionServer : public TzorWSConnection {
 public:
  TzorWSConnectionServer() = default;

  const std::string& ServerOriginsAllowed() const { return FServerOriginsAllowed; }
  void SetServerOriginsAllowed(const std::string& value) { FServerOriginsAllowed = value; }
  bool ServerSSL() const { return FServerSSL; }
  void SetServerSSL(bool value) { FServerSSL = value; }
  bool CustomHeartBeat() const { return FCustomHeartBeat; }
  void SetCustomHeartBeat(bool value) { FCustomHeartBeat = value; }
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
  virtual void WriteHTTPResponseStream(std::string_view aStream, const std::string& aContentType, int aStreamId = 0,
                                       const std::vector<std::string>& aHeaders = {});
  virtual void WriteHTTPStatus(int aCode, const std::string& aText, const std::vector<std::string>& aHeaders = {});
  virtual void WriteHTTPRedirect(const std::string& aURL, const std::vector<std::string>& aHeaders = {});

 protected:
  // Reads HeadersRequest (and a draft-76 client's eight key bytes from the
  // transport), checks it and writes the answer; then the connection is
  // enabled.
  void ReadHandshakeResponse() override;
  virtual void CheckOrigin();
  virtual void DecodeExtensions();

 private:
  std::string FServerOriginsAllowed;
  bool FServerSSL = false;
  bool FCustomHeartBeat = false;
  std::unique_ptr<TzorWSHandShakeServer> FHandshake;
  TzorWSConnectionAuthState FAuth;
  std::string FAltSvc;
};

}  // namespace zor
