// The client's leaf over HTTP/2 (RFC 8441): the handshake through the stream
// codec, frames wrapped in DATA on the way out and unwrapped on the way in.
// The codec's output joins the connection's output buffer under the stream
// lock, so frames leave in the order the codec made them.
#include "net/net_errors.h"
#include "websocket/rfc8441_stream.h"
#include "websocket/ws_connection_client.h"

namespace zor {

TzorWSConnectionClient::TzorWSConnectionClient() = default;
TzorWSConnectionClient::~TzorWSConnectionClient() = default;

void TzorWSConnectionClient::StartRFC8441() {
  requested_protocols_ = Protocol();
  h2_ = std::make_unique<TzorWSHTTP2ClientStream>();
  h2_->OnOutput = [this](std::span<const uint8_t> bytes) { TzorWSConnection::WriteFrame(bytes.data(), bytes.size()); };
  {
    std::lock_guard guard(h2_lock_);
    h2_->Start();
  }
  FlushOutput();
}

void TzorWSConnectionClient::ReadStream(std::string_view bytes, std::string& data) {
  std::lock_guard guard(h2_lock_);
  h2_->Read({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, data);
}

void TzorWSConnectionClient::ReadRFC8441Handshake() {
  std::string bytes, data;
  TCPConnection()->ReadFromBuffer(bytes, BufferedByteCount());
  ReadStream(bytes, data);
  std::vector<TzorWSHTTP2Frame> frames;
  {
    std::lock_guard guard(h2_lock_);
    frames = h2_->TakeHandshakeFrames();
  }
  for (const TzorWSHTTP2Frame& frame : frames) {
    const TzorWSRFC8441Step step = ReadRFC8441Frame(frame, HandshakeRequest());
    if (!step.RequestLines.empty()) SendRFC8441Request(step.RequestLines);
    if (!step.Enabled) continue;
    CheckProtocolAnswer(requested_protocols_, step.Protocol);
    CheckExtensionsOffered(step.Extensions, Extensions());
    Extensions().DecodeExtensions(step.Extensions);
    SetProtocol(step.Protocol);
    Enable();
  }
  FlushOutput();
  CheckStreamEnd();
  // Frames that came with the answer.
  if (Enabled() && !data.empty()) ReadFramesOf(data, false);
}

void TzorWSConnectionClient::SendRFC8441Request(const std::vector<std::string>& lines) {
  std::vector<std::string>& headers = HeadersResponse();
  headers = lines;
  if (OnHandshake) OnHandshake(this, headers);
  {
    std::lock_guard guard(h2_lock_);
    h2_->SendRequest(headers);
  }
  FlushOutput();
}

void TzorWSConnectionClient::ReadRFC8441Data(std::string_view bytes) {
  if (!h2_) return ReadWebSocketFrames(bytes);
  inbound_.clear();
  ReadStream(bytes, inbound_);
  if (!inbound_.empty()) ReadWebSocketFrames(inbound_);
  CheckStreamEnd();
}

void TzorWSConnectionClient::CheckStreamEnd() {
  std::string failure;
  bool ended;
  {
    std::lock_guard guard(h2_lock_);
    failure = h2_->Failure();
    ended = h2_->PeerEnded();
  }
  if (!failure.empty()) return DoDisconnect(failure, kCloseProtocolError);
  if (ended && !Disconnected()) throw EzorConnClosedGracefully();
}

void TzorWSConnectionClient::WriteFrame(const uint8_t* data, size_t size) {
  if (!h2_) return TzorWSConnection::WriteFrame(data, size);
  std::lock_guard guard(h2_lock_);
  h2_->Send({data, size});
}

size_t TzorWSConnectionClient::HeldInStream() const {
  std::lock_guard guard(h2_lock_);
  return h2_->Held();
}

void TzorWSConnectionClient::DoCloseTransport() {
  if (h2_) {
    {
      std::lock_guard guard(h2_lock_);
      h2_->Close();
    }
    try {
      FlushOutput();
    } catch (const std::exception&) {
      // The transport is closed all the same.
    }
  }
  TzorWSConnection::DoCloseTransport();
}

}  // namespace zor
