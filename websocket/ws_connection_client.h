#pragma once
// The client's leaf of the connection: the opening handshake written when the
// transport is up and its answer read, bounded, before the first frame; with
// "h2" agreed by ALPN, the RFC 8441 handshake and the frames carried in DATA
// on its HTTP/2 stream.
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "websocket/client_authentication.h"
#include "websocket/client_options.h"
#include "websocket/handshake.h"
#include "websocket/ws_connection.h"

namespace zor {

class TzorWSHTTP2ClientStream;

// The header block of a handshake answer may not grow beyond this.
inline constexpr size_t kMaxHandshakeHeaderSize = 64 * 1024;

// The client's connection: it writes the upgrade request and checks the answer.
class TzorWSConnectionClient : public TzorWSConnection {
 public:
  using TClientEvent = std::function<void(TzorWSConnectionClient* Sender)>;
  using TRedirectEvent = std::function<void(TzorWSConnectionClient* Sender, const std::string& aLocation)>;

  TzorWSConnectionClient();
  ~TzorWSConnectionClient() override;

  // Copied from the client before DoInitialize.
  std::string Host;
  int Port = 80;
  TzorWSOptionsClient Options;
  TzorWSAuthenticationClient_Options Authentication;
  // False after a redirect to a host the application did not name: Basic
  // credentials stay with the host they were given for.
  bool SendBasicCredentials = true;

  // Attaches the transport and starts the handshake by transport kind: plain
  // TCP is enabled at once; RFC 8441 with "h2" agreed by ALPN sends the
  // HTTP/2 preface and SETTINGS (the CONNECT follows the server's SETTINGS),
  // without it falls back to the HTTP/1.1 request; every other kind writes
  // the request.
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
  // RFC 8441 over HTTP/2: frames go out in DATA, DATA read is unwrapped, and
  // the stream is ended before the transport closes.
  void ReadRFC8441Data(std::string_view bytes) override;
  void WriteFrame(const uint8_t* data, size_t size) override;
  bool AssembleFrame(const TzorWSFrameParts& frame) override {
    return !h2_ && TzorWSConnection::AssembleFrame(frame);
  }
  size_t HeldBytes() const override { return h2_ ? HeldInStream() : 0; }
  void DoCloseTransport() override;

 private:
  size_t HeldInStream() const;
  TzorWSHandshakeRequest HandshakeRequest() const;
  void WriteHandshakeRequest();
  void Enable();
  void StartRFC8441();
  void ReadRFC8441Handshake();
  void SendRFC8441Request(const std::vector<std::string>& lines);
  // Received bytes through the stream; its WebSocket bytes land in `data`.
  void ReadStream(std::string_view bytes, std::string& data);
  // The stream's failure closes the connection; its end without a close
  // frame is the peer hanging up.
  void CheckStreamEnd();

  std::string FKey;
  std::unique_ptr<TzorWSHandShakeClient> FHandshake;
  TzorWSHandshakeResponseReader response_;
  std::string requested_protocols_;
  // The HTTP/2 stream when "h2" was agreed; its lock orders every call.
  std::unique_ptr<TzorWSHTTP2ClientStream> h2_;
  mutable std::mutex h2_lock_;
  std::string inbound_;  // WebSocket bytes of one read, reused by the reading thread
};

}  // namespace zor
