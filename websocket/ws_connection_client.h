#pragma once
// The client's leaf of the connection: the opening handshake written when the
// transport is up and its answer read, bounded, before the first frame.
#include <functional>
#include <memory>
#include <string>

#include "websocket/client_authentication.h"
#include "websocket/client_options.h"
#include "websocket/handshake.h"
#include "websocket/ws_connection.h"

namespace zor {

// The header block of a handshake answer may not grow beyond this.
inline constexpr size_t kMaxHandshakeHeaderSize = 64 * 1024;

// The client's connection: it writes the upgrade request and checks the answer.
class TzorWSConnectionClient : public TzorWSConnection {
 public:
  using TClientEvent = std::function<void(TzorWSConnectionClient* Sender)>;
  using TRedirectEvent = std::function<void(TzorWSConnectionClient* Sender, const std::string& aLocation)>;

  // Copied from the client before DoInitialize.
  std::string Host;
  int Port = 80;
  TzorWSOptionsClient Options;
  TzorWSAuthenticationClient_Options Authentication;
  // False after a redirect to a host the application did not name: Basic
  // credentials stay with the host they were given for.
  bool SendBasicCredentials = true;

  // Attaches the transport and starts the handshake by transport kind: plain
  // TCP is enabled at once; RFC 8441 without "h2" agreed by ALPN falls back
  // to the HTTP/1.1 request; every other kind writes the request.
  void DoInitialize(std::shared_ptr<TzorTransport> aConnection);

  const std::string& Key() const { return FKey; }
  // The parsed answer; kept until the connection is freed.
  const TzorWSHandShakeClient* Handshake() const { return FHandshake.get(); }

  TClientEvent OnEnabled;
  TClientEvent OnBeforeDisconnect;
  TRedirectEvent OnRedirect;

 protected:
  void ReadHandshakeResponse() override;
  void DoBeforeDisconnect() override;

 private:
  TzorWSHandshakeRequest HandshakeRequest() const;
  void WriteHandshakeRequest();
  void Enable();

  std::string FKey;
  std::unique_ptr<TzorWSHandShakeClient> FHandshake;
  TzorWSHandshakeResponseReader response_;
  std::string requested_protocols_;
};

}  // namespace zor
