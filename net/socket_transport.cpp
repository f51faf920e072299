#include "net/socket_transport.h"

#include "net/socket_state.h"

namespace zor {

void TzorSocketTransport::Bind(TzorSocketState& state) {
  state_ = &state;
  TzorBufferedTransport::Bind(state.input, state.writes);
}

std::string TzorSocketTransport::PeerIP() const { return State().ends.PeerIP; }
uint16_t TzorSocketTransport::PeerPort() const { return State().ends.PeerPort; }
std::string TzorSocketTransport::LocalIP() const { return State().ends.LocalIP; }
uint16_t TzorSocketTransport::LocalPort() const { return State().ends.LocalPort; }

uint64_t TzorSocketTransport::BytesReceived() const { return State().received.Get(); }
uint64_t TzorSocketTransport::BytesSent() const { return State().sent.Get(); }

}  // namespace zor
