#include "websocket/ws_connection_client.h"

#include "base/format.h"

namespace zor {

void TzorWSConnectionClient::DoInitialize(std::shared_ptr<TzorTransport> aConnection) {
  AttachTransport(std::move(aConnection));
  response_.SetMaxHeaderSize(kMaxHandshakeHeaderSize);
  if (Transport() == trpTCP) return Enable();
  if (Transport() == trpRFC8441) {
    if (TCPConnection()->NegotiatedALPN() == "h2") return StartRFC8441();
    SetTransport(trpRFC6455);
  }
  WriteHandshakeRequest();
}

TzorWSHandshakeRequest TzorWSConnectionClient::HandshakeRequest() const {
  TzorWSHandshakeRequest r;
  r.Path = Options.Parameters();
  r.Host = Host;
  r.Port = Port;
  r.Origin = Options.Origin();
  r.Protocols = requested_protocols_;
  if (Authentication.Enabled()) {
    r.BasicAuthentication = Authentication.Basic().Enabled() && SendBasicCredentials;
    r.User = Authentication.User();
    r.Password = Authentication.Password();
    r.TokenAuthentication = Authentication.Token().Enabled();
    r.AuthName = Authentication.Token().AuthName();
    r.AuthToken = Authentication.Token().AuthToken();
  }
  r.Extensions = &const_cast<TzorWSConnectionClient*>(this)->Extensions();
  r.Key = FKey;
  return r;
}

void TzorWSConnectionClient::WriteHandshakeRequest() {
  FKey = GenerateHandshakeKey();
  requested_protocols_ = Protocol();
  std::vector<std::string>& lines = HeadersResponse();
  lines = BuildHandshakeRequestLines(HandshakeRequest());
  if (OnHandshake) OnHandshake(this, lines);
  TzorWriteBufferScope buffer(*TCPConnection());
  TCPConnection()->Write(HandshakeRequestText(lines));
  buffer.End();
}

void TzorWSConnectionClient::ReadHandshakeResponse() {
  if (h2_) return ReadRFC8441Handshake();
  // Byte by byte from the buffer: frames right behind the header block stay
  // there for the frame reader.
  std::string byte;
  while (!response_.Complete() && BufferedByteCount() > 0) {
    byte.clear();
    TCPConnection()->ReadFromBuffer(byte, 1);
    response_.Read(reinterpret_cast<const uint8_t*>(byte.data()), byte.size());
  }
  if (!response_.Complete()) return;
  HeadersRequest() = response_.Lines();
  FHandshake = std::make_unique<TzorWSHandShakeClient>(response_.Lines());
  std::function<void(const std::string&)> redirect;
  if (OnRedirect) redirect = [this](const std::string& location) { OnRedirect(this, location); };
  const TzorWSHandshakeOutcome outcome =
      CheckHandshakeResponse(*FHandshake, FKey, requested_protocols_, &Extensions(), redirect);
  if (outcome.Redirected) return;
  CheckExtensionsOffered(FHandshake->Extensions(), Extensions());
  SetProtocol(outcome.Protocol);
  Enable();
}

void TzorWSConnectionClient::Enable() {
  SetEnabled(true);
  if (OnEnabled) OnEnabled(this);
}

void TzorWSConnectionClient::DoBeforeDisconnect() {
  if (OnBeforeDisconnect) OnBeforeDisconnect(this);
}

}  // namespace zor
