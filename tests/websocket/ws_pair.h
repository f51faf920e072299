#pragma once
// A client and a server connection joined by in-memory transports, with the
// events of each side recorded. Single-threaded tests call Pump; threaded
// tests run each side's read loop on a thread of their own.
#include "tests/websocket/memory_transport.h"
#include "websocket/ws_connection.h"

#include <memory>
#include <string>
#include <vector>

namespace zor::test {

// A connection whose handshake is taken as done: the opening handshake
// belongs to the client and server leaves.
class OpenConnection : public TzorWSConnection {
 public:
  using TzorWSConnection::SetEnabled;

 protected:
  void ReadHandshakeResponse() override {}
};

struct Received {
  std::vector<std::string> texts;
  std::vector<std::string> binaries;
  struct Fragment {
    std::string data;
    TOpcode op;
    bool continuation;
    bool operator==(const Fragment&) const = default;
  };
  std::vector<Fragment> fragments;
  std::vector<std::string> errors;  // what the read loop threw

  void Attach(TzorWSConnection& c) {
    c.OnMessage = [this](TzorWSConnection*, const std::string& text) { texts.push_back(text); };
    c.OnBinary = [this](TzorWSConnection*, const TzorStringStream& data) { binaries.push_back(data.DataString()); };
    c.OnFragmented = [this](TzorWSConnection*, const TzorStringStream& data, TOpcode op, bool continuation) {
      fragments.push_back({data.DataString(), op, continuation});
    };
  }
};

struct WSPair {
  WSPair() {
    auto [c, s] = MemoryTransport::Pair();
    clientTransport = c;
    serverTransport = s;
    for (auto* side : {&client, &server}) {
      *side = std::make_shared<OpenConnection>();
      (*side)->SetTransport(trpRFC6455);
      (*side)->SetReadTimeOut(0);  // Pump reads again as long as bytes are there
      (*side)->SetEnabled(true);
    }
    client->AttachTransport(clientTransport);
    server->AttachTransport(serverTransport);
    client->SetMasked(true);
    clientGot.Attach(*client);
    serverGot.Attach(*server);
  }

  // Both read loops, until neither side has bytes to read. A read loop that
  // throws is recorded, as the owner of a connection would report it.
  void Pump() {
    for (bool more = true; more;) {
      more = false;
      more |= ReadSide(*server, true, serverGot);
      more |= ReadSide(*client, false, clientGot);
    }
  }

  // Negotiates permessage-deflate on both sides (client offer, server answer).
  void EnableCompression() {
    client->Extensions().SetMode(appClient);
    server->Extensions().SetMode(appServer);
    for (auto* side : {&client, &server}) {
      (*side)->Extensions().PerMessage_Deflate().SetEnabled(true);
      (*side)->Extensions().DecodeExtensions("permessage-deflate; client_max_window_bits");
    }
  }

  std::shared_ptr<OpenConnection> client, server;
  std::shared_ptr<MemoryTransport> clientTransport, serverTransport;
  Received clientGot, serverGot;

 private:
  static bool ReadSide(OpenConnection& c, bool requireMask, Received& got) {
    if (c.BufferedByteCount() == 0 || (c.Disconnected() && !c.AwaitingCloseAnswer())) return false;
    try {
      c.ReadFrames(requireMask);
    } catch (const std::exception& e) {
      got.errors.push_back(e.what());
    }
    return true;
  }
};

// The frames in `wire`, as (first byte, unmasked payload); a frame cut off
// at the end is left out.
struct WireFrame {
  uint8_t first;
  std::string payload;
};

inline std::vector<WireFrame> SplitFrames(const std::string& wire) {
  std::vector<WireFrame> frames;
  const auto* p = reinterpret_cast<const uint8_t*>(wire.data());
  size_t at = 0;
  while (at + 2 <= wire.size()) {
    const bool masked = p[at + 1] & 0x80;
    uint64_t length = p[at + 1] & 0x7F;
    size_t header = 2;
    if (length == 126 || length == 127) {
      const size_t bytes = length == 126 ? 2 : 8;
      if (at + 2 + bytes > wire.size()) break;
      length = 0;
      for (size_t i = 0; i < bytes; ++i) length = length << 8 | p[at + 2 + i];
      header += bytes;
    }
    const size_t keyAt = at + header;
    if (masked) header += 4;
    if (at + header + length > wire.size()) break;
    std::string payload = wire.substr(at + header, length);
    if (masked)
      for (size_t i = 0; i < payload.size(); ++i) payload[i] ^= wire[keyAt + i % 4];
    frames.push_back({p[at], payload});
    at += header + length;
  }
  return frames;
}

// Everything buffered on a transport, taken out.
inline std::string TakeInput(TzorTransport& t) {
  std::string bytes;
  t.ReadFromBuffer(bytes, t.InputBufferSize());
  return bytes;
}

}  // namespace zor::test
