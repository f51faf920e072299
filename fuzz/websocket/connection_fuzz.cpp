// A connection fed random bytes in random segments, in every reading setting
// (client or server, fragment modes, UTF-8 checks, compression, plain TCP
// with a delimiter, Hixie-76): it must read or close without fault, never
// hand the application unchecked text or a message beyond its bound, and
// never throw without having closed.
#include "tests/websocket/ws_pair.h"

#include <cstdint>
#include <string>

namespace {

using namespace zor;
using namespace zor::test;

constexpr uint64_t kMaxMessage = 1 << 16;

void Configure(OpenConnection& c, uint8_t mode, bool server) {
  c.SetFragmentedMessages(static_cast<TwsFragmentedMessages>(mode % 3));
  c.SetValidateUTF8(mode & 4);
  c.SetMaxMessageSize(kMaxMessage);
  c.SetMaxQueuedBytes(kMaxMessage);
  if (mode & 8) {
    c.Extensions().SetMode(server ? appServer : appClient);
    c.Extensions().PerMessage_Deflate().SetEnabled(true);
    c.Extensions().DeflateFrame().SetEnabled(true);
    c.Extensions().DecodeExtensions(mode & 16 ? "x-webkit-deflate-frame"
                                              : "permessage-deflate; client_max_window_bits=9; server_no_context_takeover");
  }
  if (mode & 32) {
    c.SetTransport(trpTCP);
    c.SetTCPEndOfFrameScanBuffer(mode & 64 ? eofScanAllBytes : eofScanLatestBytes);
    c.AddTCPEndOfFrame('\r');
    c.AddTCPEndOfFrame('\n');
  } else if (mode & 64) {
    c.SetSpecification(spHixie76);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  const bool server = data[1] & 1;
  const uint8_t segmenting = data[1] >> 1;
  data += 2;
  size -= 2;
  WSPair p;
  OpenConnection& c = server ? *p.server : *p.client;
  MemoryTransport& t = server ? *p.serverTransport : *p.clientTransport;
  Configure(c, mode, server);
  size_t messages = 0;
  c.OnMessage = [&](TzorWSConnection* conn, const std::string& text) {
    ++messages;
    if (!IsWellFormedUTF8(text)) std::abort();  // no text reaches the application unchecked
    if (text.size() > kMaxMessage) std::abort();
    if (messages % 7 == 0) conn->WriteData(text);  // answers from within the read loop
  };
  c.OnBinary = [&](TzorWSConnection*, const TzorStringStream& d) {
    if (d.Size() > kMaxMessage) std::abort();
  };
  // Segments of 1 to 64 bytes whose lengths come from the segmenting seed.
  uint32_t seed = segmenting * 2654435761u + 1;
  for (size_t at = 0; at < size && !c.Disconnected();) {
    seed = seed * 1103515245u + 12345u;
    const size_t n = std::min<size_t>(size - at, 1 + (seed >> 16) % 64);
    t.Inject(std::string(reinterpret_cast<const char*>(data + at), n));
    at += n;
    try {
      c.ReadFrames(server);
    } catch (const TzorWSException&) {
      // A protocol failure: the connection closed itself.
      if (!c.Disconnected()) std::abort();
    }
  }
  c.Disconnect();
  return 0;
}
