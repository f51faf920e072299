#include "net/socket_transport.h"

#include "net/socket_state.h"

namespace zor {

size_t TzorSocketTransport::InputBufferSize() const { return State().input.Size(); }
size_t TzorSocketTransport::ReadFromBuffer(std::string& out, size_t max) { return State().input.Take(out, max); }
void TzorSocketTransport::ClearInput() { State().input.Clear(); }

void TzorSocketTransport::Write(std::string_view bytes) { State().writes.Write(bytes); }
void TzorSocketTransport::BeginWrite() { State().writes.Begin(); }
void TzorSocketTransport::FlushWrite() { State().writes.Flush(); }
void TzorSocketTransport::EndWrite() { State().writes.End(); }
void TzorSocketTransport::CancelWrite() { State().writes.Cancel(); }

std::string TzorSocketTransport::PeerIP() const { return State().ends.PeerIP; }
uint16_t TzorSocketTransport::PeerPort() const { return State().ends.PeerPort; }
std::string TzorSocketTransport::LocalIP() const { return State().ends.LocalIP; }
uint16_t TzorSocketTransport::LocalPort() const { return State().ends.LocalPort; }

uint64_t TzorSocketTransport::BytesReceived() const { return State().received; }
uint64_t TzorSocketTransport::BytesSent() const { return State().sent; }

}  // namespace zor
