#include "server/http2_stream_transport.h"

#include <span>

#include "http2/session.h"
#include "net/net_errors.h"
#include "server/ws_connection_server.h"

namespace zor {

namespace {

std::span<const uint8_t> Octets(std::string_view bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace

std::shared_ptr<TzorWSConnectionServer> TzorHTTP2StreamTransport::Carrier() const {
  auto carrier = carrier_.lock();
  if (!carrier || !carrier->HTTP2Session()) throw EzorClosedSocket();
  return carrier;
}

void TzorHTTP2StreamTransport::Accept(const std::vector<std::string>& headerLines) {
  if (!Carrier()->HTTP2Session()->SendHTTP2TunnelResponse(stream_, 200, headerLines)) throw EzorClosedSocket();
  accepted_ = true;
}

void TzorHTTP2StreamTransport::Receive(std::string_view bytes) {
  if (ended_) return;
  input_.Append(bytes);
  if (OnData) OnData();
}

void TzorHTTP2StreamTransport::End(bool sendEndStream) {
  if (ended_.exchange(true)) return;
  if (auto carrier = carrier_.lock()) {
    if (TzorHTTP2Session* session = carrier->HTTP2Session()) {
      // A tunnel never accepted has no answer to end: it is refused.
      if (!accepted_) session->ResetHTTP2Stream(stream_, h2erCANCEL);
      else if (sendEndStream) session->SendHTTP2TunnelData(stream_, {}, true);
    }
    carrier->RemoveHTTP2Tunnel(stream_);
  }
  if (auto onClosed = std::move(OnClosed)) onClosed();
}

bool TzorHTTP2StreamTransport::WaitForData(int) { return InputBufferSize() > 0; }

void TzorHTTP2StreamTransport::Send(std::string_view bytes) {
  if (ended_) throw EzorClosedSocket();
  const auto carrier = Carrier();
  TzorHTTP2Session& session = *carrier->HTTP2Session();
  if (session.PendingData(stream_) + bytes.size() > kMaxPendingBytes)
    throw EzorSocketError("The peer does not read the stream: its send queue is full.");
  if (!session.SendHTTP2TunnelData(stream_, Octets(bytes), false)) throw EzorClosedSocket();
}

bool TzorHTTP2StreamTransport::Connected() const {
  if (ended_) return false;
  const auto carrier = carrier_.lock();
  return carrier && carrier->Active();
}

void TzorHTTP2StreamTransport::Disconnect(bool) { End(true); }

// The carrier's socket answers for the stream; once the carrier is gone the
// answers are empty, as a closed socket's are.
template <class T>
T TzorHTTP2StreamTransport::FromSocket(T (TzorTransport::*get)() const) const {
  const auto carrier = carrier_.lock();
  return carrier && carrier->TCPConnection() ? ((*carrier->TCPConnection()).*get)() : T{};
}

std::string TzorHTTP2StreamTransport::PeerIP() const { return FromSocket(&TzorTransport::PeerIP); }
uint16_t TzorHTTP2StreamTransport::PeerPort() const { return FromSocket(&TzorTransport::PeerPort); }
std::string TzorHTTP2StreamTransport::LocalIP() const { return FromSocket(&TzorTransport::LocalIP); }
uint16_t TzorHTTP2StreamTransport::LocalPort() const { return FromSocket(&TzorTransport::LocalPort); }
std::string TzorHTTP2StreamTransport::NegotiatedALPN() const { return FromSocket(&TzorTransport::NegotiatedALPN); }

}  // namespace zor
